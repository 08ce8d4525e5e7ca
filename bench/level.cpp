// A whole first level of a new player, played by the game executable itself: headless, fixed step,
// seeded, against the local game server. The start tap and the prompt to bind an account, the play
// scene, the tutorial's pages and the alert after them, then the largest group popped every 70 frames
// until no pair is left, and the level's end. The game records every frame's main-thread CPU time
// and what it went on (STARGRID_FRAME_COSTS); the benchmark reports the worst frame after the first
// one (whose time counts the start-up from the director's making: bench_startup measures that) with
// its steps, the median, and the frames over 16.7 ms. Run once with the driver's shader cache empty (a first launch)
// and once with it filled by that run (every launch after).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Classes/BoardRules.h"
#include "app-shell/StargridRun.h"
#include "bench/LocalGameServer.h"

namespace {

namespace fs = std::filesystem;

// The iphone5 window: design points (480 x 852) to pixels from the top left.
std::string at(float x, float y) {
    using stargrid::test::kDesignHeight, stargrid::test::kScale;
    return std::to_string(static_cast<int>(x * kScale)) + " " +
           std::to_string(static_cast<int>((kDesignHeight - y) * kScale));
}

std::string cellTap(int index) {
    const auto [x, y] = stargrid::test::cellPixel(index);
    return std::to_string(x) + " " + std::to_string(y);
}

// Start, "not now" on the bind prompt, the tutorial's three pages by their props and the alert after them.
std::string firstPlaySteps() {
    constexpr float kWidth = 480.0f, kHeight = stargrid::test::kDesignHeight;
    return stargrid::test::kStartFromMenu + "tap 342 " + at(kWidth / 2 - 85, kHeight - 155) + "\ntap 362 " +
           at(kWidth / 2, kHeight - 155) + "\ntap 382 " + at(kWidth / 2 + 85, kHeight - 155) + "\ntap 391 320 681\n";
}
constexpr int kFirstMove = 450;
constexpr int kFramesPerMove = 70;
constexpr int kFramesAfterLastMove = 500;

struct Folders {
    fs::path root;
    fs::path cache;  // XDG_CACHE_HOME, with the driver's shader cache in it
};

// Runs the game on the script in a fresh store; frame costs to the file when one is named. True when it
// ended cleanly.
bool play(const Folders& folders, const std::string& url, const std::string& script, const fs::path& costs) {
    const fs::path home = folders.root / "home";
    fs::remove_all(home);
    fs::create_directories(home / "runtime");
    fs::permissions(home / "runtime", fs::perms::owner_all);
    const fs::path scriptFile = folders.root / "level.script";
    std::ofstream(scriptFile) << script;
    const pid_t child = fork();
    if (child == 0) {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        setenv("ALSOFT_DRIVERS", "null", 1);
        setenv("STARGRID_SEED", "7", 1);
        setenv("STARGRID_NETWORK", "up", 1);
        setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (home / "runtime").c_str(), 1);
        setenv("XDG_CACHE_HOME", folders.cache.c_str(), 1);
        setenv("STARGRID_BOOTSTRAP_URL", (url + "/bus_ser_ios.html").c_str(), 1);
        setenv("STARGRID_STAT_URL", (url + "/mstat/report").c_str(), 1);
        if (!costs.empty()) setenv("STARGRID_FRAME_COSTS", costs.c_str(), 1);
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, STDOUT_FILENO);
        dup2(devnull, STDERR_FILENO);
        execl(STARGRID_EXECUTABLE, STARGRID_EXECUTABLE, "--fixed-step", "--script", scriptFile.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The board the game dealt, as it stored it.
std::optional<board::Cells> storedBoard(const Folders& folders) {
    const std::optional<stargrid::test::Saved> saved =
        stargrid::test::readStore(folders.root / "home" / "config" / "stargrid" / "UserDefaults.plist");
    if (!saved || !std::all_of(saved->cells.begin(), saved->cells.end(), board::isColour)) return std::nullopt;
    return saved->cells;
}

// The largest group popped each time until no pair is left: the taps, from the first move's frame.
std::string movesFor(board::Cells cells, int& lastFrame) {
    std::string steps;
    int frame = kFirstMove;
    while (!board::noPairLeft(cells)) {
        std::vector<int> best;
        for (int index = 0; index < board::kCellCount; ++index) {
            std::vector<int> group = board::collectGroup(cells, index);
            if (group.size() > best.size()) best = std::move(group);
        }
        steps += "tap " + std::to_string(frame) + " " + cellTap(best.front()) + "\n";
        for (int cell : best) cells[cell] = board::kEmpty;
        board::settle(cells);
        frame += kFramesPerMove;
    }
    lastFrame = frame;
    return steps;
}

struct FrameCost {
    int frame = 0;
    double ms = 0.0;
    std::string line;
};

std::vector<FrameCost> readCosts(const fs::path& file) {
    std::vector<FrameCost> frames;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        FrameCost cost;
        if (std::sscanf(line.c_str(), "frame %d: %lf ms", &cost.frame, &cost.ms) == 2) {
            cost.line = line;
            frames.push_back(cost);
        }
    }
    return frames;
}

void replayLevel(benchmark::State& state, bool warmShaderCache) {
    std::unique_ptr<stargrid_server::GameServer> server = bench::startLocalGameServer(state);
    if (!server) return;
    char pattern[] = "/tmp/stargrid-level-XXXXXX";
    if (!mkdtemp(pattern)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const Folders folders{pattern, fs::path(pattern) / "cache"};
    const std::string url = server->url("");
    // The tutorial done, the dealt board is stored: the moves are planned on it.
    std::optional<board::Cells> dealt;
    if (play(folders, url, firstPlaySteps() + "quit 420\n", {})) dealt = storedBoard(folders);
    if (!dealt) {
        state.SkipWithError("the game did not deal a board");
        return;
    }
    int lastMove = 0;
    const std::string moves = movesFor(*dealt, lastMove);
    const std::string script =
        firstPlaySteps() + moves + "quit " + std::to_string(lastMove + kFramesAfterLastMove) + "\n";
    const fs::path costsFile = folders.root / "costs.txt";
    // A later launch finds every shader the level draws with compiled by the launch before.
    if (warmShaderCache && !play(folders, url, script, {})) {
        state.SkipWithError("the level did not play to its end");
        return;
    }
    if (!warmShaderCache) fs::remove_all(folders.cache);
    std::vector<FrameCost> frames;
    for (auto _ : state) {
        if (!play(folders, url, script, costsFile)) {
            state.SkipWithError("the level did not play to its end");
            break;
        }
        frames = readCosts(costsFile);
    }
    fs::remove_all(folders.root);
    if (frames.size() < 2) return;
    std::vector<FrameCost> played(frames.begin() + 1, frames.end());  // after the start-up's frame
    const auto worst = std::max_element(played.begin(), played.end(),
                                        [](const FrameCost& a, const FrameCost& b) { return a.ms < b.ms; });
    std::vector<double> ms;
    for (const FrameCost& f : played) ms.push_back(f.ms);
    std::nth_element(ms.begin(), ms.begin() + static_cast<long>(ms.size() / 2), ms.end());
    state.counters["frames"] = static_cast<double>(frames.size());
    state.counters["first_frame_ms"] = frames.front().ms;
    state.counters["worst_frame_ms"] = worst->ms;
    state.counters["worst_frame"] = worst->frame;
    state.counters["median_frame_ms"] = ms[ms.size() / 2];
    state.counters["frames_over_16.7ms"] = static_cast<double>(
        std::count_if(played.begin(), played.end(), [](const FrameCost& f) { return f.ms > 16.7; }));
    state.SetLabel(worst->line);
}

void BM_FirstLevelFirstLaunch(benchmark::State& state) { replayLevel(state, false); }
BENCHMARK(BM_FirstLevelFirstLaunch)->Unit(benchmark::kSecond)->Iterations(1);

void BM_FirstLevelLaterLaunch(benchmark::State& state) { replayLevel(state, true); }
BENCHMARK(BM_FirstLevelLaterLaunch)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
