// Saving the board's 100 keys at the end of a frame: what the main thread pays for handing them to
// the writer thread, against writing, syncing and renaming the file itself.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "kite/foundation/UserDefault.h"
#include "support/TemporaryFolder.h"

namespace {

using kite::UserDefault;

constexpr int kBoardKeys = 100;

UserDefault* freshStore(const kite::test::TemporaryFolder& folder) {
    setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
    setenv("XDG_CACHE_HOME", folder.path().c_str(), 1);
    UserDefault::destroyInstance();
    return UserDefault::getInstance();
}

// A frame's moves change every cell of the board.
void changeBoard(UserDefault* store, int frame) {
    for (int cell = 0; cell < kBoardKeys; ++cell)
        store->setIntegerForKey(("cell" + std::to_string(cell)).c_str(), (frame + cell) % 5);
}

void BM_EndOfFrameSave(benchmark::State& state) {
    kite::test::TemporaryFolder folder("bench-preferences");
    UserDefault* store = freshStore(folder);
    int frame = 0;
    for (auto _ : state) {
        state.PauseTiming();
        changeBoard(store, ++frame);  // waits for the previous frame's write, off the clock
        state.ResumeTiming();
        UserDefault::saveIfDirty();
    }
    UserDefault::destroyInstance();
}
BENCHMARK(BM_EndOfFrameSave)->Unit(benchmark::kMicrosecond);

void BM_FlushOnTheMainThread(benchmark::State& state) {
    kite::test::TemporaryFolder folder("bench-preferences");
    UserDefault* store = freshStore(folder);
    int frame = 0;
    for (auto _ : state) {
        state.PauseTiming();
        changeBoard(store, ++frame);
        state.ResumeTiming();
        store->flush();
    }
    UserDefault::destroyInstance();
}
BENCHMARK(BM_FlushOnTheMainThread)->Unit(benchmark::kMicrosecond);

}  // namespace
