// Parse time of input scripts whose steps arrive out of frame order (descending drags).
#include <benchmark/benchmark.h>

#include <string>

#include "platform/InputScript.h"

namespace {

// N drags of 100 steps, each starting 2 frames before the one above it.
std::string descendingDrags(int count) {
    std::string text;
    for (int i = count; i >= 1; --i) text += "drag " + std::to_string(2 * i) + " 0 0 100 100 100\n";
    return text;
}

void BM_ParseDescendingDrags(benchmark::State& state) {
    const std::string text = descendingDrags(static_cast<int>(state.range(0)));
    std::string error;
    for (auto _ : state) {
        auto script = platform::InputScript::parse(text, &error);
        if (!script) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(script);
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0) * 102);  // steps
    state.counters["script_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_ParseDescendingDrags)->Arg(50)->Arg(500)->Unit(benchmark::kMillisecond);

}  // namespace
