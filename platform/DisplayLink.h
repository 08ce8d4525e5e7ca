// A frame signal on the host loop: the loop ticks 60 times a second and the link fires every n-th tick.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

class HostLoop;

class DisplayLink : public std::enable_shared_from_this<DisplayLink> {
public:
    static constexpr int kTicksPerSecond = 60;

    static std::shared_ptr<DisplayLink> create(std::function<void()> callback);
    ~DisplayLink();
    DisplayLink(const DisplayLink&) = delete;
    DisplayLink& operator=(const DisplayLink&) = delete;

    // Fires on every n-th tick; values below 1 mean 1.
    void setFrameInterval(int ticks);
    int getFrameInterval() const { return frameInterval_; }

    // Starts firing from the loop's current tick: the first firing comes n ticks later.
    void addToLoop(HostLoop& loop);
    // Makes the loop's next pass fire the link without waiting for the next tick (a first
    // frame right after launch); later firings keep the grid of every n-th tick.
    void fireOnNextPass() { nextTick_ = startTick_; }
    // Stops firing and leaves the loop. A link may invalidate itself from its callback.
    void invalidate();
    bool isValid() const { return loop_ != nullptr; }

    // Called by the loop. Fires once when the tick is due; ticks that were missed
    // (a slow frame) are skipped, not made up, and the phase of the grid is kept.
    void poll(std::uint64_t tick);
    std::uint64_t nextTick() const { return nextTick_; }

private:
    explicit DisplayLink(std::function<void()> callback) : callback_(std::move(callback)) {}

    std::function<void()> callback_;
    HostLoop* loop_ = nullptr;
    int frameInterval_ = 1;
    std::uint64_t startTick_ = 0;
    std::uint64_t nextTick_ = 0;
};

}  // namespace platform
