#include "tests/support/TouchRecorder.h"

#include "kite/scene/Director.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventListenerTouch.h"
#include "kite/scene/Touch.h"

namespace kite {
namespace test {

TouchRecorder::TouchRecorder(int priority) {
    listener_ = EventListenerTouchAllAtOnce::create();
    auto record = [this](const char* phase) {
        return [this, phase](const std::vector<Touch*>& touches, Event*) {
            for (Touch* t : touches) {
                log.push_back(std::string(phase) + std::to_string(t->getId()));
                last = t->getLocationInView();
            }
        };
    };
    listener_->onTouchesBegan = record("began");
    listener_->onTouchesMoved = record("moved");
    listener_->onTouchesEnded = record("ended");
    listener_->onTouchesCancelled = record("cancelled");
    listener_->retain();
    // Kept: the director may be shut down (and let its dispatcher go) before the recorder goes.
    dispatcher_ = Director::getInstance()->getEventDispatcher();
    dispatcher_->retain();
    dispatcher_->addEventListenerWithFixedPriority(listener_, priority);
}

TouchRecorder::~TouchRecorder() {
    dispatcher_->removeEventListener(listener_);
    dispatcher_->release();
    listener_->release();
}

}  // namespace test
}  // namespace kite
