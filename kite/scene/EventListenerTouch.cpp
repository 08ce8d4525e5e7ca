#include "kite/scene/EventListenerTouch.h"

#include "kite/foundation/Create.h"

namespace kite {

const EventListener::ListenerID EventListenerTouchOneByOne::LISTENER_ID = "__kt_touch_one_by_one";
const EventListener::ListenerID EventListenerTouchAllAtOnce::LISTENER_ID = "__kt_touch_all_at_once";

EventListenerTouchOneByOne* EventListenerTouchOneByOne::create() {
    return createAutoreleased<EventListenerTouchOneByOne>();
}

// The dispatcher calls the touch callbacks itself, so the base callback stays empty.
bool EventListenerTouchOneByOne::init() { return EventListener::init(Type::TOUCH_ONE_BY_ONE, LISTENER_ID, nullptr); }

bool EventListenerTouchOneByOne::checkAvailable() { return static_cast<bool>(onTouchBegan); }

EventListenerTouchOneByOne* EventListenerTouchOneByOne::clone() {
    EventListenerTouchOneByOne* copy = create();
    if (!copy) return nullptr;
    copy->onTouchBegan = onTouchBegan;
    copy->onTouchMoved = onTouchMoved;
    copy->onTouchEnded = onTouchEnded;
    copy->onTouchCancelled = onTouchCancelled;
    copy->claimedTouches_ = claimedTouches_;
    copy->needSwallow_ = needSwallow_;
    return copy;
}

EventListenerTouchAllAtOnce* EventListenerTouchAllAtOnce::create() {
    return createAutoreleased<EventListenerTouchAllAtOnce>();
}

bool EventListenerTouchAllAtOnce::init() { return EventListener::init(Type::TOUCH_ALL_AT_ONCE, LISTENER_ID, nullptr); }

bool EventListenerTouchAllAtOnce::checkAvailable() {
    return onTouchesBegan || onTouchesMoved || onTouchesEnded || onTouchesCancelled;
}

EventListenerTouchAllAtOnce* EventListenerTouchAllAtOnce::clone() {
    EventListenerTouchAllAtOnce* copy = create();
    if (!copy) return nullptr;
    copy->onTouchesBegan = onTouchesBegan;
    copy->onTouchesMoved = onTouchesMoved;
    copy->onTouchesEnded = onTouchesEnded;
    copy->onTouchesCancelled = onTouchesCancelled;
    return copy;
}

}  // namespace kite
