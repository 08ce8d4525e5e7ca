#include "platform/DisplayLink.h"

#include "platform/HostLoop.h"

namespace platform {

std::shared_ptr<DisplayLink> DisplayLink::create(std::function<void()> callback) {
    return std::shared_ptr<DisplayLink>(new DisplayLink(std::move(callback)));
}

DisplayLink::~DisplayLink() {
    if (loop_) loop_->remove(this);
}

void DisplayLink::setFrameInterval(int ticks) {
    frameInterval_ = ticks < 1 ? 1 : ticks;
    nextTick_ = startTick_ + static_cast<std::uint64_t>(frameInterval_);
}

void DisplayLink::addToLoop(HostLoop& loop) {
    if (loop_) loop_->remove(this);
    loop_ = &loop;
    startTick_ = loop.currentTick();
    nextTick_ = startTick_ + static_cast<std::uint64_t>(frameInterval_);
    loop.add(shared_from_this());
}

void DisplayLink::invalidate() {
    if (!loop_) return;
    HostLoop* loop = loop_;
    loop_ = nullptr;
    loop->remove(this);
}

void DisplayLink::poll(std::uint64_t tick) {
    if (!loop_ || tick < nextTick_) return;
    const auto n = static_cast<std::uint64_t>(frameInterval_);
    nextTick_ = startTick_ + n * ((tick - startTick_) / n + 1);
    // The loop holds a reference for the duration of the poll, so the callback
    // may invalidate or drop this link.
    callback_();
}

}  // namespace platform
