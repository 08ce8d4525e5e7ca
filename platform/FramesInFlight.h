// Bounds the frames a driver has been handed but not finished drawing: a renderer that queues frames
// (Mesa's llvmpipe does, on threads of its own) would otherwise hold every frame made faster than it
// draws them, and their memory, when nothing waits for the display.
#pragma once
#include <deque>

struct __GLsync;

namespace platform {

class FramesInFlight {
public:
    static constexpr int kDefaultLimit = 2;

    // With the GL context current.
    explicit FramesInFlight(int limit = kDefaultLimit);
    // With the same context current: the fences still pending are deleted.
    ~FramesInFlight();
    FramesInFlight(const FramesInFlight&) = delete;
    FramesInFlight& operator=(const FramesInFlight&) = delete;

    // After a frame was handed to the driver: fences it, then waits until no more than the limit of
    // frames are unfinished. A driver without fences finishes each frame here instead.
    void framePresented();
    // Fences of frames not yet known to be finished.
    int pending() const { return static_cast<int>(fences_.size()); }

private:
    void waitForOldest();

    int limit_;
    std::deque<__GLsync*> fences_;
};

}  // namespace platform
