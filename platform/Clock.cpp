#include "platform/Clock.h"

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

}  // namespace platform
