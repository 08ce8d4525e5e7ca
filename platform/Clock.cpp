#include "platform/Clock.h"

#include <time.h>

#include <atomic>
#include <chrono>

namespace platform {

namespace {
std::atomic<bool> fixed{false};
std::atomic<double> fixedNow{0.0};
}  // namespace

double Clock::now() {
    if (fixed.load(std::memory_order_acquire)) return fixedNow.load(std::memory_order_acquire);
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void Clock::setFixed(double seconds) {
    fixedNow.store(seconds, std::memory_order_release);
    fixed.store(true, std::memory_order_release);
}

void Clock::advance(double seconds) {
    if (!fixed.load(std::memory_order_acquire)) return;
    double current = fixedNow.load(std::memory_order_acquire);
    fixedNow.store(current + seconds, std::memory_order_release);
}

void Clock::useRealTime() { fixed.store(false, std::memory_order_release); }

bool Clock::isFixed() { return fixed.load(std::memory_order_acquire); }

double threadCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

}  // namespace platform
