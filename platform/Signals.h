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
// Past the player's file-size limit (`ulimit -f`) a write ends the process with SIGXFSZ at its default.
// Taken by a handler that does nothing, the write fails instead (EFBIG), as on a full disk, and the save
// says so. Unlike SIG_IGN, the handler is not passed on to the programs the game starts; one the game was
// started with ignoring SIGXFSZ is left as it is. Call it first, before anything writes.
void keepFileSizeLimitFromEndingTheProcess();
// The next pending request, or None. Signals of different kinds pending at
// the same moment come in signal-number order.
LifecycleSignal takeLifecycleSignal();

// Until the main loop runs, nothing takes the signals: a start-up stuck on a lock, a file or a GL driver
// would never see a quit request. From watchStartup (on the main thread, after watchLifecycleSignals) to
// startupReachedLoop, a watching thread sees SIGTERM, SIGINT or SIGHUP arrive; when start-up does not
// reach the loop within kStartupQuitGraceSeconds after it, the process ends with status 1 and a line
// naming the signal and the step start-up was at. A start-up that reaches the loop in time quits there
// as usual.
constexpr int kStartupQuitGraceSeconds = 3;
void watchStartup();
// The step start-up is at now (a string that lives as long as the program). For tests,
// STARGRID_STARTUP_HOLD naming a step holds start-up there for good, as a stuck one would be.
void startupStep(const char* name);
void startupReachedLoop();

}  // namespace platform
