// Lifecycle requests arriving as POSIX signals, taken on the main loop.
#pragma once

namespace platform {

enum class LifecycleSignal {
    None,
    Background,  // SIGUSR1
    Foreground,  // SIGUSR2
    Quit,        // SIGTERM, SIGINT
};

// Blocks the lifecycle signals in the calling thread and reads them from a
// signal descriptor instead, so no handler runs on whatever thread the kernel
// picks. Call it from the main thread before any other thread starts: threads
// inherit the mask. Programs started later must unblock them. Idempotent.
void watchLifecycleSignals();
// The next pending request, or None. Signals of different kinds pending at
// the same moment come in signal-number order.
LifecycleSignal takeLifecycleSignal();

}  // namespace platform
