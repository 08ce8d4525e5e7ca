// The event dispatcher's registration and removal of listeners; ordering is in
// EventDispatcherOrder.cpp, delivery in EventDispatcherDelivery.cpp and EventDispatcherTouches.cpp.
#include "kite/scene/EventDispatcher.h"

#include <algorithm>
#include <new>

#include "kite/foundation/Log.h"
#include "kite/scene/EventCustom.h"
#include "kite/scene/EventListenerCustom.h"
#include "kite/scene/EventListenerTouch.h"
#include "kite/scene/Node.h"

namespace kite {

namespace {
constexpr std::size_t kListenerVectorCapacity = 100;
constexpr std::size_t kToAddCapacity = 50;

// A one-by-one listener forgets its claimed touches when it leaves the dispatcher,
// so it never points at a touch that was released meanwhile.
void forgetClaimedTouches(EventListener* listener) {
    if (listener->getType() == EventListener::Type::TOUCH_ONE_BY_ONE)
        static_cast<EventListenerTouchOneByOne*>(listener)->getClaimedTouches().clear();
}

bool eraseFromVector(std::vector<EventListener*>& listeners, EventListener* listener) {
    auto it = std::find(listeners.begin(), listeners.end(), listener);
    if (it == listeners.end()) return false;
    listeners.erase(it);
    return true;
}
}  // namespace

bool EventDispatcher::EventListenerVector::empty() const {
    return (!sceneGraphListeners || sceneGraphListeners->empty()) && (!fixedListeners || fixedListeners->empty());
}

void EventDispatcher::EventListenerVector::push(EventListener* listener) {
    auto& target = listener->getFixedPriority() == 0 ? sceneGraphListeners : fixedListeners;
    if (!target) {
        target.reset(new (std::nothrow) std::vector<EventListener*>());
        if (!target) return;
        target->reserve(kListenerVectorCapacity);
    }
    target->push_back(listener);
}

EventDispatcher::EventDispatcher() {
    toAddedListeners_.reserve(kToAddCapacity);
    internalCustomListenerIDs_.insert("event_come_to_foreground");
    internalCustomListenerIDs_.insert("event_come_to_background");
    internalCustomListenerIDs_.insert("event_renderer_recreated");
}

EventDispatcher::~EventDispatcher() {
    internalCustomListenerIDs_.clear();
    removeAllEventListeners();
    dropRemovedEntries();
}

// Registration.

bool EventDispatcher::refuseRegistered(const EventListener* listener) {
    if (!listener->isRegistered()) return false;
    // A second entry would hear every event twice and outlive its node in the node tables.
    log("EventDispatcher: the listener is registered already; not added again (use clone() for another node)");
    return true;
}

void EventDispatcher::addEventListenerWithSceneGraphPriority(EventListener* listener, Node* node) {
    if (!listener || !node || refuseRegistered(listener) || !listener->checkAvailable()) return;
    listener->setAssociatedNode(node);
    listener->setFixedPriority(0);
    listener->setRegistered(true);
    addEventListener(listener);
}

void EventDispatcher::addEventListenerWithFixedPriority(EventListener* listener, int fixedPriority) {
    // Priority 0 is reserved for scene-graph listeners.
    if (!listener || fixedPriority == 0 || refuseRegistered(listener) || !listener->checkAvailable()) return;
    listener->setAssociatedNode(nullptr);
    listener->setFixedPriority(fixedPriority);
    listener->setRegistered(true);
    listener->setPaused(false);
    addEventListener(listener);
}

EventListenerCustom* EventDispatcher::addCustomEventListener(const std::string& eventName,
                                                             const std::function<void(EventCustom*)>& callback) {
    EventListenerCustom* listener = EventListenerCustom::create(eventName, callback);
    if (listener && listener->checkAvailable()) {
        listener->setAssociatedNode(nullptr);
        listener->setFixedPriority(1);
        listener->setRegistered(true);
        listener->setPaused(false);
        addEventListener(listener);
    }
    return listener;
}

void EventDispatcher::addEventListener(EventListener* listener) {
    if (inDispatch_ == 0)
        forceAddEventListener(listener);
    else
        toAddedListeners_.push_back(listener);
    listener->retain();
}

void EventDispatcher::forceAddEventListener(EventListener* listener) {
    const EventListener::ListenerID& listenerID = listener->getListenerID();
    auto it = listenerMap_.find(listenerID);
    if (it == listenerMap_.end()) {
        std::unique_ptr<EventListenerVector> group(new (std::nothrow) EventListenerVector());
        if (!group) return;
        it = listenerMap_.emplace(listenerID, std::move(group)).first;
    }
    it->second->push(listener);

    if (listener->getFixedPriority() == 0) {
        setDirty(listenerID, SCENE_GRAPH_PRIORITY);
        Node* node = listener->getAssociatedNode();
        associateNodeAndEventListener(node, listener);
        if (node->isRunning()) resumeEventListenersForTarget(node);
    } else {
        setDirty(listenerID, FIXED_PRIORITY);
    }
}

void EventDispatcher::associateNodeAndEventListener(Node* node, EventListener* listener) {
    auto& entry = nodeListenersMap_[node];
    if (!entry) entry.reset(new std::vector<EventListener*>());
    entry->push_back(listener);
}

void EventDispatcher::dissociateNodeAndEventListener(Node* node, EventListener* listener) {
    auto it = nodeListenersMap_.find(node);
    if (it == nodeListenersMap_.end()) return;
    eraseFromVector(*it->second, listener);
    if (it->second->empty()) nodeListenersMap_.erase(it);
}

void EventDispatcher::setDirty(const EventListener::ListenerID& listenerID, int flag) {
    auto it = priorityDirtyFlagMap_.find(listenerID);
    if (it == priorityDirtyFlagMap_.end())
        priorityDirtyFlagMap_.emplace(listenerID, flag);
    else
        it->second |= flag;
}

// Removal.

void EventDispatcher::unregister(EventListener* listener) {
    listener->setRegistered(false);
    if (Node* node = listener->getAssociatedNode()) dissociateNodeAndEventListener(node, listener);
    listener->setAssociatedNode(nullptr);
    forgetClaimedTouches(listener);
}

void EventDispatcher::removeEventListener(EventListener* listener) {
    if (!listener) return;
    bool found = false;

    // During a dispatch the entry becomes null instead of being erased, so running
    // walks keep their positions and a listener added back later is met only once.
    auto removeFrom = [&](std::vector<EventListener*>* listeners) -> bool {
        if (!listeners) return false;
        auto it = std::find(listeners->begin(), listeners->end(), listener);
        if (it == listeners->end()) return false;
        listener->retain();
        unregister(listener);
        if (inDispatch_ == 0) {
            listeners->erase(it);
            listener->release();
        } else {
            *it = nullptr;
            removedDuringDispatch_.push_back(listener);
        }
        return true;
    };

    for (auto it = listenerMap_.begin(); it != listenerMap_.end();) {
        EventListenerVector* group = it->second.get();
        const EventListener::ListenerID listenerID = it->first;
        if (removeFrom(group->sceneGraphListeners.get())) {
            found = true;
            setDirty(listenerID, SCENE_GRAPH_PRIORITY);
        } else if (removeFrom(group->fixedListeners.get())) {
            found = true;
            setDirty(listenerID, FIXED_PRIORITY);
        }
        if (group->empty() && group->walking == 0) {
            priorityDirtyFlagMap_.erase(listenerID);
            it = listenerMap_.erase(it);
        } else {
            ++it;
        }
        if (found) break;
    }

    if (found) {
        listener->release();  // the reference taken at registration
        return;
    }
    auto it = std::find(toAddedListeners_.begin(), toAddedListeners_.end(), listener);
    if (it != toAddedListeners_.end()) {
        toAddedListeners_.erase(it);
        listener->setRegistered(false);
        forgetClaimedTouches(listener);
        listener->release();
    }
}

void EventDispatcher::removeEventListenersForTarget(Node* target, bool recursive) {
    if (!target) return;
    nodePriorityMap_.erase(target);
    dirtyNodes_.erase(target);

    auto found = nodeListenersMap_.find(target);
    if (found != nodeListenersMap_.end()) {
        std::vector<EventListener*> copy = *found->second;
        for (EventListener* listener : copy) removeEventListener(listener);
    }

    dropWaitingListeners([target](EventListener* listener) { return listener->getAssociatedNode() == target; }, true);

    if (recursive) {
        for (Node* child : target->getChildren()) removeEventListenersForTarget(child, true);
    }
}

void EventDispatcher::removeEventListenersForListenerID(const EventListener::ListenerID& listenerID) {
    auto found = listenerMap_.find(listenerID);
    if (found != listenerMap_.end()) {
        EventListenerVector* group = found->second.get();
        auto removeAll = [this](std::vector<EventListener*>* listeners) {
            if (!listeners) return;
            for (auto it = listeners->begin(); it != listeners->end();) {
                EventListener* listener = *it;
                if (!listener) {
                    ++it;
                    continue;
                }
                unregister(listener);
                if (inDispatch_ == 0) {
                    it = listeners->erase(it);
                    listener->release();
                } else {
                    *it = nullptr;
                    removedDuringDispatch_.push_back(listener);
                    ++it;
                }
            }
        };
        removeAll(group->sceneGraphListeners.get());
        removeAll(group->fixedListeners.get());
        priorityDirtyFlagMap_.erase(listenerID);
        if (inDispatch_ == 0 && group->walking == 0) listenerMap_.erase(found);
    }

    dropWaitingListeners([&listenerID](EventListener* listener) { return listener->getListenerID() == listenerID; },
                         false);
}

void EventDispatcher::dropWaitingListeners(const std::function<bool(EventListener*)>& matches, bool detachNode) {
    for (auto it = toAddedListeners_.begin(); it != toAddedListeners_.end();) {
        EventListener* listener = *it;
        if (matches(listener)) {
            if (detachNode) listener->setAssociatedNode(nullptr);
            listener->setRegistered(false);
            forgetClaimedTouches(listener);
            it = toAddedListeners_.erase(it);
            listener->release();
        } else {
            ++it;
        }
    }
}

void EventDispatcher::removeCustomEventListeners(const std::string& customEventName) {
    removeEventListenersForListenerID(customEventName);
}

void EventDispatcher::removeAllEventListeners() {
    bool cleanMap = true;
    std::vector<EventListener::ListenerID> types;
    types.reserve(listenerMap_.size());
    for (const auto& entry : listenerMap_) {
        if (internalCustomListenerIDs_.count(entry.first))
            cleanMap = false;
        else
            types.push_back(entry.first);
    }
    for (const auto& type : types) removeEventListenersForListenerID(type);
    if (inDispatch_ == 0 && cleanMap) listenerMap_.clear();
}

}  // namespace kite
