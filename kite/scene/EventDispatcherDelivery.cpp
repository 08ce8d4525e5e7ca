// The event dispatcher's delivery of events other than touches, and the bookkeeping after a dispatch.
#include "kite/scene/EventDispatcher.h"

#include <algorithm>

#include "kite/foundation/ListenerIds.h"
#include "kite/scene/EventCustom.h"
#include "kite/scene/EventListenerAcceleration.h"
#include "kite/scene/EventListenerKeyboard.h"
#include "kite/scene/EventListenerTouch.h"
#include "kite/scene/EventTouch.h"

namespace kite {

class EventDispatcher::DispatchGuard {
public:
    explicit DispatchGuard(EventDispatcher* dispatcher) : dispatcher_(dispatcher) { ++dispatcher_->inDispatch_; }
    ~DispatchGuard() {
        if (--dispatcher_->inDispatch_ == 0) dispatcher_->dropRemovedEntries();
    }
    DispatchGuard(const DispatchGuard&) = delete;
    DispatchGuard& operator=(const DispatchGuard&) = delete;

private:
    EventDispatcher* dispatcher_;
};

namespace {

// Keeps a group from being re-sorted under a walk that is running over it.
class WalkGuard {
public:
    explicit WalkGuard(int& walking) : walking_(walking) { ++walking_; }
    ~WalkGuard() { --walking_; }
    WalkGuard(const WalkGuard&) = delete;
    WalkGuard& operator=(const WalkGuard&) = delete;

private:
    int& walking_;
};

}  // namespace

void EventDispatcher::dispatchEventToListeners(EventListenerVector* listeners,
                                               const std::function<bool(EventListener*)>& onEvent) {
    WalkGuard walking(listeners->walking);
    std::vector<EventListener*>* fixedPriorityListeners = listeners->fixedListeners.get();
    std::vector<EventListener*>* sceneGraphPriorityListeners = listeners->sceneGraphListeners.get();
    auto deliverable = [](EventListener* l) { return l && l->isEnabled() && !l->isPaused() && l->isRegistered(); };

    std::int64_t i = 0;
    if (fixedPriorityListeners && !fixedPriorityListeners->empty()) {
        for (; i < listeners->gt0Index; ++i) {
            EventListener* l = (*fixedPriorityListeners)[static_cast<std::size_t>(i)];
            if (deliverable(l) && onEvent(l)) return;
        }
    }
    if (sceneGraphPriorityListeners) {
        // Removals during the walk only empty entries, so positions stay valid.
        for (std::size_t k = 0; k < sceneGraphPriorityListeners->size(); ++k) {
            EventListener* l = (*sceneGraphPriorityListeners)[k];
            if (deliverable(l) && onEvent(l)) return;
        }
    }
    if (fixedPriorityListeners) {
        const std::int64_t size = static_cast<std::int64_t>(fixedPriorityListeners->size());
        for (; i < size; ++i) {
            EventListener* l = (*fixedPriorityListeners)[static_cast<std::size_t>(i)];
            if (deliverable(l) && onEvent(l)) return;
        }
    }
}

void EventDispatcher::dispatchEvent(Event* event) {
    if (!isEnabled_ || !event) return;
    updateDirtyFlagForSceneGraph();

    DispatchGuard guard(this);
    if (event->getType() == Event::Type::TOUCH) {
        dispatchTouchEvent(static_cast<EventTouch*>(event));
        return;
    }

    const EventListener::ListenerID listenerID = getListenerIDForEvent(event);
    sortEventListeners(listenerID);
    auto found = listenerMap_.find(listenerID);
    if (found != listenerMap_.end()) {
        dispatchEventToListeners(found->second.get(), [event](EventListener* listener) {
            event->setCurrentTarget(listener->getAssociatedNode());
            // A listener removed from its own callback stays alive until the dispatch ends.
            if (const auto& callback = listener->getCallback()) callback(event);
            return event->isStopped();
        });
    }
    updateListeners(event);
}

void EventDispatcher::dispatchCustomEvent(const std::string& eventName, void* optionalUserData) {
    EventCustom event(eventName);
    event.setUserData(optionalUserData);
    dispatchEvent(&event);
}

void EventDispatcher::updateListeners(Event* event) {
    if (inDispatch_ > 1) return;

    auto onUpdate = [this](const EventListener::ListenerID& listenerID) {
        auto found = listenerMap_.find(listenerID);
        if (found == listenerMap_.end()) return;
        EventListenerVector* group = found->second.get();
        auto purge = [](std::unique_ptr<std::vector<EventListener*>>& listeners) {
            if (!listeners) return false;
            const std::size_t before = listeners->size();
            for (auto it = listeners->begin(); it != listeners->end();) {
                EventListener* l = *it;
                if (!l) {
                    it = listeners->erase(it);  // released with the removed-during-dispatch list
                } else if (!l->isRegistered()) {
                    it = listeners->erase(it);
                    l->release();
                } else {
                    ++it;
                }
            }
            return listeners->size() != before;
        };
        purge(group->sceneGraphListeners);
        const bool fixedShifted = purge(group->fixedListeners);
        if (group->sceneGraphListeners && group->sceneGraphListeners->empty()) group->clearSceneGraphListeners();
        if (group->fixedListeners && group->fixedListeners->empty()) group->clearFixedListeners();
        // Purging shifted the fixed listeners: their split at priority 0 is found again before the next walk.
        if (fixedShifted && group->fixedListeners) setDirty(listenerID, FIXED_PRIORITY);
    };

    if (event->getType() == Event::Type::TOUCH) {
        onUpdate(EventListenerTouchOneByOne::LISTENER_ID);
        onUpdate(EventListenerTouchAllAtOnce::LISTENER_ID);
    } else {
        onUpdate(getListenerIDForEvent(event));
    }

    for (auto it = listenerMap_.begin(); it != listenerMap_.end();) {
        if (it->second->empty() && it->second->walking == 0) {
            priorityDirtyFlagMap_.erase(it->first);
            it = listenerMap_.erase(it);
        } else {
            ++it;
        }
    }

    dropRemovedEntries();

    if (!toAddedListeners_.empty()) {
        std::vector<EventListener*> toAdd;
        toAdd.swap(toAddedListeners_);
        for (EventListener* listener : toAdd) forceAddEventListener(listener);
    }
}

void EventDispatcher::dropRemovedEntries() {
    for (auto& entry : listenerMap_) {
        if (entry.second->walking > 0) continue;
        for (auto* listeners : {entry.second->sceneGraphListeners.get(), entry.second->fixedListeners.get()}) {
            if (!listeners) continue;
            auto end = std::remove(listeners->begin(), listeners->end(), nullptr);
            if (end == listeners->end()) continue;
            listeners->erase(end, listeners->end());
            if (listeners == entry.second->fixedListeners.get()) setDirty(entry.first, FIXED_PRIORITY);
        }
    }
    std::vector<EventListener*> removed;
    removed.swap(removedDuringDispatch_);
    for (EventListener* listener : removed) listener->release();
}

EventListener::ListenerID EventDispatcher::getListenerIDForEvent(Event* event) {
    switch (event->getType()) {
        case Event::Type::ACCELERATION: return EventListenerAcceleration::LISTENER_ID;
        case Event::Type::CUSTOM: return static_cast<EventCustom*>(event)->getEventName();
        case Event::Type::KEYBOARD: return EventListenerKeyboard::LISTENER_ID;
        case Event::Type::MOUSE: return LISTENER_ID_MOUSE;
        case Event::Type::FOCUS: return LISTENER_ID_FOCUS;
        case Event::Type::GAME_CONTROLLER: return LISTENER_ID_CONTROLLER;
        case Event::Type::TOUCH: break;
    }
    return std::string();
}

}  // namespace kite
