#include "kite/scene/EventDispatcher.h"

#include <algorithm>
#include <new>

#include "kite/foundation/ListenerIds.h"
#include "kite/foundation/Log.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventCustom.h"
#include "kite/scene/EventListenerAcceleration.h"
#include "kite/scene/EventListenerCustom.h"
#include "kite/scene/EventListenerKeyboard.h"
#include "kite/scene/EventListenerTouch.h"
#include "kite/scene/EventTouch.h"
#include "kite/scene/Node.h"
#include "kite/scene/Touch.h"

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

    dropWaitingListeners([target](EventListener* listener) { return listener->getAssociatedNode() == target; },
                         true);

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

// Node hooks.

void EventDispatcher::setPausedForTarget(Node* target, bool paused) {
    auto found = nodeListenersMap_.find(target);
    if (found != nodeListenersMap_.end()) {
        for (EventListener* listener : *found->second) listener->setPaused(paused);
    }
    for (EventListener* listener : toAddedListeners_) {
        if (listener->getAssociatedNode() == target) listener->setPaused(paused);
    }
}

void EventDispatcher::pauseEventListenersForTarget(Node* target, bool recursive) {
    if (!target) return;
    setPausedForTarget(target, true);
    if (recursive) {
        for (Node* child : target->getChildren()) pauseEventListenersForTarget(child, true);
    }
}

void EventDispatcher::resumeEventListenersForTarget(Node* target, bool recursive) {
    if (!target) return;
    setPausedForTarget(target, false);
    setDirtyForNode(target);
    if (recursive) {
        for (Node* child : target->getChildren()) resumeEventListenersForTarget(child, true);
    }
}

void EventDispatcher::setDirtyForNode(Node* node) {
    if (!node) return;
    if (nodeListenersMap_.count(node)) dirtyNodes_.insert(node);
    for (Node* child : node->getChildren()) setDirtyForNode(child);
}

// Sorting.

void EventDispatcher::updateDirtyFlagForSceneGraph() {
    for (Node* node : dirtyNodes_) {
        auto found = nodeListenersMap_.find(node);
        if (found == nodeListenersMap_.end()) continue;
        for (EventListener* listener : *found->second) setDirty(listener->getListenerID(), SCENE_GRAPH_PRIORITY);
    }
    dirtyNodes_.clear();
}

void EventDispatcher::sortEventListeners(const EventListener::ListenerID& listenerID) {
    auto flagIt = priorityDirtyFlagMap_.find(listenerID);
    if (flagIt == priorityDirtyFlagMap_.end() || flagIt->second == NONE) return;
    // A group that a running walk is going over keeps its order; it is sorted at a later dispatch.
    auto group = listenerMap_.find(listenerID);
    if (group != listenerMap_.end() && group->second->walking > 0) return;

    const int flag = flagIt->second;
    flagIt->second = NONE;
    if (flag & FIXED_PRIORITY) sortEventListenersOfFixedPriority(listenerID);
    if (flag & SCENE_GRAPH_PRIORITY) {
        Scene* rootNode = Director::getInstance()->getRunningScene();
        if (rootNode)
            sortEventListenersOfSceneGraphPriority(listenerID, rootNode);
        else
            priorityDirtyFlagMap_[listenerID] = SCENE_GRAPH_PRIORITY;
    }
}

void EventDispatcher::sortEventListenersOfFixedPriority(const EventListener::ListenerID& listenerID) {
    auto found = listenerMap_.find(listenerID);
    if (found == listenerMap_.end()) return;
    EventListenerVector* group = found->second.get();
    std::vector<EventListener*>* listeners = group->fixedListeners.get();
    if (!listeners) return;
    // Entries emptied by a removal are dropped first; no walk is running over this group.
    listeners->erase(std::remove(listeners->begin(), listeners->end(), nullptr), listeners->end());
    std::stable_sort(listeners->begin(), listeners->end(), [](const EventListener* l1, const EventListener* l2) {
        return l1->getFixedPriority() < l2->getFixedPriority();
    });
    std::int64_t index = 0;
    for (EventListener* listener : *listeners) {
        if (listener->getFixedPriority() >= 0) break;
        ++index;
    }
    group->gt0Index = index;
}

void EventDispatcher::sortEventListenersOfSceneGraphPriority(const EventListener::ListenerID& listenerID,
                                                              Node* rootNode) {
    auto found = listenerMap_.find(listenerID);
    if (found == listenerMap_.end()) return;
    std::vector<EventListener*>* listeners = found->second->sceneGraphListeners.get();
    if (!listeners) return;
    listeners->erase(std::remove(listeners->begin(), listeners->end(), nullptr), listeners->end());

    nodePriorityIndex_ = 0;
    nodePriorityMap_.clear();
    visitTarget(rootNode, true);

    // Listeners of nodes outside the running scene have no priority and go last.
    auto priorityOf = [this](const EventListener* listener) {
        auto it = nodePriorityMap_.find(listener->getAssociatedNode());
        return it == nodePriorityMap_.end() ? 0 : it->second;
    };
    std::stable_sort(listeners->begin(), listeners->end(), [&](const EventListener* l1, const EventListener* l2) {
        return priorityOf(l1) > priorityOf(l2);
    });
}

void EventDispatcher::visitTarget(Node* node, bool isRootNode) {
    const auto& children = node->getChildren();
    const std::size_t childrenCount = children.size();
    std::size_t i = 0;
    if (childrenCount > 0) {
        for (; i < childrenCount; ++i) {
            Node* child = children.at(i);
            if (child && child->getLocalZOrder() < 0)
                visitTarget(child, false);
            else
                break;
        }
        if (nodeListenersMap_.count(node)) globalZOrderNodeMap_[node->getGlobalZOrder()].push_back(node);
        for (; i < childrenCount; ++i) {
            Node* child = children.at(i);
            if (child) visitTarget(child, false);
        }
    } else if (nodeListenersMap_.count(node)) {
        globalZOrderNodeMap_[node->getGlobalZOrder()].push_back(node);
    }

    if (isRootNode) {
        std::vector<float> globalZOrders;
        globalZOrders.reserve(globalZOrderNodeMap_.size());
        for (const auto& entry : globalZOrderNodeMap_) globalZOrders.push_back(entry.first);
        std::sort(globalZOrders.begin(), globalZOrders.end());
        for (float globalZ : globalZOrders) {
            for (Node* n : globalZOrderNodeMap_[globalZ]) nodePriorityMap_[n] = ++nodePriorityIndex_;
        }
        globalZOrderNodeMap_.clear();
    }
}

// Dispatch.

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
