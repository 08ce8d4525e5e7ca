// Lifecycle requests arriving as POSIX signals, taken on the main loop.
#pragma once

namespace platform {

enum class LifecycleSignal {
    None,
    Background,  // SIGUSR1
    Foreground,  // SIGUSR2
    Quit,        // SIGTERM, SIGINT, SIGHUP (unless it was ignored at start, as nohup does)
};

// Blocks the lifecycle signals in the calling thread and reads them from a
// signal descriptor instead, so no handler runs on whatever thread the kernel
// picks. Call it from the main thread before any other thread starts: threads
// inherit the mask. Programs started later must unblock them. Idempotent.
// It also sets JSC_SIGNAL_FOR_GC, the signal WebKit's script engine takes for
// its collector (SIGUSR1 unless named), to a real-time signal; a value the user
// gave is kept only when it names a free real-time signal (SIGRTMIN+1 to SIGRTMAX).
void watchLifecycleSignals();
// For after a library was loaded or started: a lifecycle signal it gave a
// handler of its own gets the watching one back, and the watching thread, when
// it is the caller, blocks them again; each with a log line. Does nothing
// before watchLifecycleSignals.
void reclaimLifecycleSignals();
// The next pending request, or None. Signals of different kinds pending at
// the same moment come in signal-number order.
LifecycleSignal takeLifecycleSignal();

}  // namespace platform
