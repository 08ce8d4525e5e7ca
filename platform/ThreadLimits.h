// The game under limits on threads and address space (ulimit -u, ulimit -v): what it starts is fitted to them
// before the GL driver loads.
#pragma once

namespace platform {

// Threads the game itself starts while it starts up (the start-up watch, the answers to launches, the texture
// loader, the fonts' preparation): they come before the GL driver's.
constexpr int kStartupThreads = 4;

// Call early, on the main thread, before any other thread starts and before the GL driver loads.
// - Under a limit on address space, each thread's own memory arena (64 MiB kept for it) would use it up:
//   two arenas serve every thread.
// - Mesa's software rasterizer starts a thread per processor (or LP_NUM_THREADS) and stops drawing when
//   some of them cannot start: when fewer threads can be started than it and the start-up threads want,
//   it is given what is left (none: it draws on the calling thread), with one line.
// Once a process.
void fitThreadsToLimits();

}  // namespace platform
