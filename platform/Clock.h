// The one clock of frames and timers: monotonic seconds, or a fixed time that tests and fixed-step runs move.
#pragma once

namespace platform {

class Clock {
public:
    // Seconds on a monotonic time line (its origin is arbitrary).
    static double now();

    // Freezes the clock at the given time; it then moves only through advance.
    static void setFixed(double seconds);
    // Moves a fixed clock forwards (or backwards, for a negative step). Ignored on real time.
    static void advance(double seconds);
    // Back to the monotonic system clock.
    static void useRealTime();
    static bool isFixed();
};

// CPU time the calling thread has used, in seconds (what a frame costs on the main thread, whatever
// else the machine runs).
double threadCpuSeconds();

}  // namespace platform
