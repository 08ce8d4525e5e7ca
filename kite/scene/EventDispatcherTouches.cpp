// The event dispatcher's touch delivery, in named steps.
#include <algorithm>

#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventListenerTouch.h"
#include "kite/scene/EventTouch.h"
#include "kite/scene/Touch.h"

namespace kite {

namespace {

EventListenerTouchAllAtOnce::TouchesCallback touchesCallback(const EventListenerTouchAllAtOnce& listener,
                                                             EventTouch::EventCode code) {
    switch (code) {
        case EventTouch::EventCode::BEGAN: return listener.onTouchesBegan;
        case EventTouch::EventCode::MOVED: return listener.onTouchesMoved;
        case EventTouch::EventCode::ENDED: return listener.onTouchesEnded;
        case EventTouch::EventCode::CANCELLED: return listener.onTouchesCancelled;
    }
    return nullptr;
}

// The callback of a touch the listener claimed, for a code after BEGAN.
EventListenerTouchOneByOne::TouchCallback touchCallback(const EventListenerTouchOneByOne& listener,
                                                        EventTouch::EventCode code) {
    if (code == EventTouch::EventCode::MOVED) return listener.onTouchMoved;
    if (code == EventTouch::EventCode::ENDED) return listener.onTouchEnded;
    return listener.onTouchCancelled;
}

void eraseTouch(std::vector<Touch*>& touches, Touch* touch) {
    touches.erase(std::remove(touches.begin(), touches.end(), touch), touches.end());
}

}  // namespace

void EventDispatcher::dispatchTouchEvent(EventTouch* event) {
    sortEventListeners(EventListenerTouchOneByOne::LISTENER_ID);
    sortEventListeners(EventListenerTouchAllAtOnce::LISTENER_ID);
    EventListenerVector* oneByOne = touchListeners(EventListenerTouchOneByOne::LISTENER_ID);
    EventListenerVector* allAtOnce = touchListeners(EventListenerTouchAllAtOnce::LISTENER_ID);
    if (!oneByOne && !allAtOnce) return;

    // The touches no one-by-one listener swallowed go on to the all-at-once listeners.
    std::vector<Touch*> unswallowed = event->getTouches();
    bool stopped = oneByOne && dispatchTouchesOneByOne(event, oneByOne, allAtOnce ? &unswallowed : nullptr);
    if (!stopped && allAtOnce && !unswallowed.empty())
        stopped = dispatchTouchesAllAtOnce(event, allAtOnce, unswallowed);
    if (!stopped) updateListeners(event);
    forgetEndedTouches(event);
}

EventDispatcher::EventListenerVector* EventDispatcher::touchListeners(const EventListener::ListenerID& listenerID) {
    auto found = listenerMap_.find(listenerID);
    return found == listenerMap_.end() ? nullptr : found->second.get();
}

bool EventDispatcher::dispatchTouchesOneByOne(EventTouch* event, EventListenerVector* listeners,
                                              std::vector<Touch*>* unswallowed) {
    const std::vector<Touch*> touches = event->getTouches();
    std::size_t index = 0;  // of the touch in unswallowed
    for (Touch* touch : touches) {
        bool swallowed = false;
        dispatchEventToListeners(listeners, [&](EventListener* l) {
            auto* listener = static_cast<EventListenerTouchOneByOne*>(l);
            if (!listener->isRegistered()) return false;
            const bool claimed = deliverTouch(listener, touch, event);
            if (event->isStopped()) {
                updateListeners(event);
                return true;
            }
            if (!claimed || !listener->isRegistered() || !listener->isSwallowTouches()) return false;
            if (unswallowed) {
                unswallowed->erase(unswallowed->begin() + static_cast<std::ptrdiff_t>(index));
                swallowed = true;
            }
            return true;
        });
        if (event->isStopped()) return true;
        if (!swallowed) ++index;
    }
    return false;
}

bool EventDispatcher::deliverTouch(EventListenerTouchOneByOne* listener, Touch* touch, EventTouch* event) {
    event->setCurrentTarget(listener->getAssociatedNode());
    const EventTouch::EventCode code = event->getEventCode();
    std::vector<Touch*>& claimed = listener->getClaimedTouches();
    if (code == EventTouch::EventCode::BEGAN) {
        if (!listener->onTouchBegan) return false;
        // A copy: the callback may replace the listener's own.
        EventListenerTouchOneByOne::TouchBeganCallback began = listener->onTouchBegan;
        const bool isClaimed = began(touch, event);
        if (isClaimed && listener->isRegistered()) claimed.push_back(touch);
        return isClaimed;
    }
    if (std::find(claimed.begin(), claimed.end(), touch) == claimed.end()) return false;
    if (EventListenerTouchOneByOne::TouchCallback callback = touchCallback(*listener, code)) callback(touch, event);
    if (code != EventTouch::EventCode::MOVED && listener->isRegistered()) {
        auto it = std::find(claimed.begin(), claimed.end(), touch);
        if (it != claimed.end()) claimed.erase(it);
    }
    return true;
}

bool EventDispatcher::dispatchTouchesAllAtOnce(EventTouch* event, EventListenerVector* listeners,
                                               const std::vector<Touch*>& touches) {
    dispatchEventToListeners(listeners, [&](EventListener* l) {
        auto* listener = static_cast<EventListenerTouchAllAtOnce*>(l);
        if (!listener->isRegistered()) return false;
        event->setCurrentTarget(listener->getAssociatedNode());
        if (auto callback = touchesCallback(*listener, event->getEventCode())) callback(touches, event);
        if (!event->isStopped()) return false;
        updateListeners(event);
        return true;
    });
    return event->isStopped();
}

void EventDispatcher::forgetEndedTouches(EventTouch* event) {
    const EventTouch::EventCode code = event->getEventCode();
    if (code != EventTouch::EventCode::ENDED && code != EventTouch::EventCode::CANCELLED) return;
    auto forget = [event](EventListener* l) {
        if (!l || l->getType() != EventListener::Type::TOUCH_ONE_BY_ONE) return;
        auto& claimed = static_cast<EventListenerTouchOneByOne*>(l)->getClaimedTouches();
        for (Touch* touch : event->getTouches()) eraseTouch(claimed, touch);
    };
    if (EventListenerVector* group = touchListeners(EventListenerTouchOneByOne::LISTENER_ID)) {
        for (auto* listeners : {group->sceneGraphListeners.get(), group->fixedListeners.get()})
            if (listeners)
                for (EventListener* l : *listeners) forget(l);
    }
    for (EventListener* l : toAddedListeners_) forget(l);
}

}  // namespace kite
