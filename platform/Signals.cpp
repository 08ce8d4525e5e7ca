#include "platform/Signals.h"

#include <SDL2/SDL_hints.h>

#include <atomic>
#include <csignal>
#include <initializer_list>

namespace platform {

namespace {

// A small ring written by the handler (any thread) and read by the main loop.
// A slot holds 0 until its request is stored, so a reader never takes a half-written one.
constexpr unsigned kSlots = 64;
std::atomic<int> slots[kSlots];
std::atomic<unsigned> writeIndex{0};
unsigned readIndex = 0;  // main thread only
bool emptySeen = false;  // the slot at readIndex was empty on the previous pass
std::atomic<bool> installed{false};

void onSignal(int number) {
    LifecycleSignal request = LifecycleSignal::None;
    switch (number) {
        case SIGUSR1: request = LifecycleSignal::Background; break;
        case SIGUSR2: request = LifecycleSignal::Foreground; break;
        case SIGTERM:
        case SIGINT: request = LifecycleSignal::Quit; break;
        default: return;
    }
    unsigned index = writeIndex.fetch_add(1, std::memory_order_acq_rel);
    // A full ring drops the request rather than overwrite one not yet taken.
    int expected = 0;
    slots[index % kSlots].compare_exchange_strong(expected, static_cast<int>(request), std::memory_order_acq_rel);
}

}  // namespace

static_assert(std::atomic<int>::is_always_lock_free, "signal handlers need lock-free atomics");
static_assert(std::atomic<unsigned>::is_always_lock_free, "signal handlers need lock-free atomics");

void installLifecycleSignalHandlers() {
    if (installed.exchange(true)) return;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGUSR1, SIGUSR2, SIGTERM, SIGINT}) sigaction(number, &action, nullptr);
}

LifecycleSignal takeLifecycleSignal() {
    while (readIndex != writeIndex.load(std::memory_order_acquire)) {
        int value = slots[readIndex % kSlots].exchange(0, std::memory_order_acq_rel);
        if (value == 0) {
            // Still being written: try again on the next pass. Still empty then: the
            // request was dropped because the ring was full, so skip it.
            if (!emptySeen) {
                emptySeen = true;
                return LifecycleSignal::None;
            }
            ++readIndex;
            emptySeen = false;
            continue;
        }
        ++readIndex;
        emptySeen = false;
        return static_cast<LifecycleSignal>(value);
    }
    return LifecycleSignal::None;
}

}  // namespace platform
