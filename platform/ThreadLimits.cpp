// Fitting the game's threads and memory arenas to the limits it runs under.
#include "platform/ThreadLimits.h"

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace platform {
namespace {

// The rasterizer's own cap on its threads.
constexpr int kRasterizerMaxThreads = 32;

// The threads the software rasterizer will start: LP_NUM_THREADS when given, else one per processor.
int rasterizerThreads() {
    if (const char* given = std::getenv("LP_NUM_THREADS"); given && *given) {
        char* end = nullptr;
        errno = 0;
        const long number = std::strtol(given, &end, 10);
        if (*end == '\0' && errno == 0 && number >= 0)
            return static_cast<int>(std::min<long>(number, kRasterizerMaxThreads));
    }
    const int processors = static_cast<int>(std::thread::hardware_concurrency());
    return processors > 1 ? std::min(processors, kRasterizerMaxThreads) : 0;
}

// How many threads can be started now, up to wanted; why the next one could not, when one could not.
int startableThreads(int wanted, std::string& why) {
    std::mutex mutex;
    std::condition_variable released;
    bool release = false;
    std::vector<std::thread> started;
    for (int i = 0; i < wanted; ++i) {
        try {
            started.emplace_back([&] {
                std::unique_lock<std::mutex> lock(mutex);
                released.wait(lock, [&] { return release; });
            });
        } catch (const std::system_error& error) {
            why = error.what();
            break;
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        release = true;
    }
    released.notify_all();
    for (std::thread& thread : started) thread.join();
    return static_cast<int>(started.size());
}

}  // namespace

void fitThreadsToLimits() {
    static bool fitted = false;
    if (fitted) return;
    fitted = true;
    struct rlimit space;
    if (getrlimit(RLIMIT_AS, &space) == 0 && space.rlim_cur != RLIM_INFINITY) mallopt(M_ARENA_MAX, 2);
    const int rasterizer = rasterizerThreads();
    if (rasterizer == 0) return;
    std::string why;
    const int startable = startableThreads(rasterizer + kStartupThreads, why);
    if (startable == rasterizer + kStartupThreads) return;
    const int left = std::max(0, startable - kStartupThreads);
    setenv("LP_NUM_THREADS", std::to_string(left).c_str(), 1);
    std::fprintf(stderr, "platform: only %d more threads can be started (%s); the GL driver draws with %d of its %d\n",
                 startable, why.c_str(), left, rasterizer);
}

}  // namespace platform
