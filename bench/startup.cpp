// Start-up of the game to its first menu frame: cold (a new player's empty folders), headless, with the
// local game server running. Wall time per launch and the launch's peak resident memory.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "bench/LocalGameServer.h"

namespace {

// Runs the game for one frame in fresh per-user folders; the peak resident set in kilobytes, or -1.
long launchToFirstFrame(const std::string& bootstrap) {
    char pattern[] = "/tmp/stargrid-startup-XXXXXX";
    if (!mkdtemp(pattern)) return -1;
    const std::string root = pattern;
    const pid_t child = fork();
    if (child == 0) {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        setenv("ALSOFT_DRIVERS", "null", 1);
        setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
        setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
        setenv("XDG_CACHE_HOME", (root + "/cache").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", root.c_str(), 1);
        setenv("STARGRID_BOOTSTRAP_URL", bootstrap.c_str(), 1);
        const int devnull = open("/dev/null", O_WRONLY);
        dup2(devnull, STDOUT_FILENO);
        dup2(devnull, STDERR_FILENO);
        execl(STARGRID_EXECUTABLE, STARGRID_EXECUTABLE, "--frames", "1", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    const bool ended = child > 0 && wait4(child, &status, 0, &usage) == child;
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    if (!ended || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return usage.ru_maxrss;
}

void BM_StartupToFirstMenuFrame(benchmark::State& state) {
    std::unique_ptr<stargrid_server::GameServer> server = bench::startLocalGameServer(state);
    if (!server) return;
    long peak = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const long rss = launchToFirstFrame(server->url("/bus_ser_ios.html"));
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (rss < 0) {
            state.SkipWithError("the game did not start and end cleanly");
            return;
        }
        peak = std::max(peak, rss);
    }
    state.counters["peak_rss_MiB"] = static_cast<double>(peak) / 1024.0;
}
BENCHMARK(BM_StartupToFirstMenuFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
