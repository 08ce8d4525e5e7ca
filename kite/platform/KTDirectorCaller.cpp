#include "kite/platform/KTDirectorCaller.h"

#include "kite/scene/Director.h"
#include "kite/scene/GLView.h"
#include "platform/DisplayLink.h"
#include "platform/HostLoop.h"

namespace kite {

namespace {
std::unique_ptr<KTDirectorCaller> sharedCaller;
}

KTDirectorCaller* KTDirectorCaller::sharedDirectorCaller() {
    if (!sharedCaller) sharedCaller.reset(new KTDirectorCaller());
    return sharedCaller.get();
}

void KTDirectorCaller::destroy() {
    if (!sharedCaller) return;
    sharedCaller->stopMainLoop();
    // The host loop keeps a link alive while it fires, so a caller destroyed
    // from inside its own frame returns safely.
    sharedCaller.reset();
}

KTDirectorCaller::~KTDirectorCaller() { stopMainLoop(); }

int KTDirectorCaller::frameIntervalFor(double seconds) {
    const double ticks = seconds * platform::DisplayLink::kTicksPerSecond;
    // Zero, negative or not-a-number intervals (a frame rate of 0 in the
    // configuration, say) would stop the frames; such links fire every tick.
    if (!(ticks >= 1.0)) return 1;
    if (ticks > 3600.0 * platform::DisplayLink::kTicksPerSecond) return 3600 * platform::DisplayLink::kTicksPerSecond;
    return static_cast<int>(ticks);
}

void KTDirectorCaller::startMainLoop() {
    stopMainLoop();
    createDisplayLink();
    // The window and the first scene exist now: their first frame need not wait for a tick.
    displayLink_->fireOnNextPass();
}

void KTDirectorCaller::stopMainLoop() {
    if (displayLink_) {
        displayLink_->invalidate();
        displayLink_.reset();
    }
}

void KTDirectorCaller::setAnimationInterval(double seconds) {
    stopMainLoop();
    interval_ = frameIntervalFor(seconds);
    createDisplayLink();
}

void KTDirectorCaller::createDisplayLink() {
    displayLink_ = platform::DisplayLink::create([this] { doCaller(); });
    displayLink_->setFrameInterval(interval_);
    displayLink_->addToLoop(platform::HostLoop::main());
}

void KTDirectorCaller::doCaller() {
    Director* director = Director::getInstance();
    if (!director) return;
    if (GLView* view = director->getOpenGLView()) view->makeCurrent();
    director->mainLoop();  // may destroy this caller: nothing follows
}

}  // namespace kite
