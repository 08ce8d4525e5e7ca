// The display-link caller: runs the director's main loop every n-th 1/60 s tick of the host loop.
#pragma once
#include <memory>

namespace platform {
class DisplayLink;
}

namespace kite {

class KTDirectorCaller {
public:
    static KTDirectorCaller* sharedDirectorCaller();
    // Stops the link and deletes the shared caller. Safe from inside a frame.
    static void destroy();

    // Replaces any link by a new one firing every getInterval() ticks.
    void startMainLoop();
    void stopMainLoop();
    // Rebuilds the link for the new interval.
    void setAnimationInterval(double seconds);

    int getInterval() const { return interval_; }
    void setInterval(int ticks) { interval_ = ticks; }
    bool hasDisplayLink() const { return displayLink_ != nullptr; }

    // One firing: the view's context becomes current, then the director's main loop runs.
    void doCaller();

    // Ticks between firings: seconds x 60, truncated, at least 1.
    static int frameIntervalFor(double seconds);

    ~KTDirectorCaller();

private:
    KTDirectorCaller() = default;
    void createDisplayLink();

    std::shared_ptr<platform::DisplayLink> displayLink_;
    int interval_ = 1;
};

}  // namespace kite
