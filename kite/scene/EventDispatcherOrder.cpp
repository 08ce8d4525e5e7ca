// The event dispatcher's node hooks and the ordering of listeners by fixed priority and scene graph.
#include "kite/scene/EventDispatcher.h"

#include <algorithm>

#include "kite/scene/Director.h"
#include "kite/scene/Node.h"

namespace kite {

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
    std::stable_sort(listeners->begin(), listeners->end(),
                     [&](const EventListener* l1, const EventListener* l2) { return priorityOf(l1) > priorityOf(l2); });
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

}  // namespace kite
