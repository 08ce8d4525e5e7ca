// Delivers events to their listeners: fixed priorities and scene-graph order, touches one by one and all at once.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "kite/foundation/Ref.h"
#include "kite/scene/EventListener.h"

namespace kite {

class Event;
class EventCustom;
class EventListenerCustom;
class EventListenerTouchOneByOne;
class EventTouch;
class Node;
class Touch;

class EventDispatcher : public Ref {
public:
    EventDispatcher();
    ~EventDispatcher() override;

    // Both adds refuse, with a log line, a listener that is registered already.
    // Listens in the node's drawing order: top-most node first.
    void addEventListenerWithSceneGraphPriority(EventListener* listener, Node* node);
    // Listens at a fixed priority: below 0 before every node's listeners, above 0 after them.
    void addEventListenerWithFixedPriority(EventListener* listener, int fixedPriority);
    // A custom listener at fixed priority 1; returned (autoreleased) even when it was not registered.
    EventListenerCustom* addCustomEventListener(const std::string& eventName,
                                                const std::function<void(EventCustom*)>& callback);

    void removeEventListener(EventListener* listener);
    void removeEventListenersForListenerID(const EventListener::ListenerID& listenerID);
    void removeEventListenersForTarget(Node* target, bool recursive = false);
    void removeCustomEventListeners(const std::string& customEventName);
    // Keeps the listeners of the internal custom ids (foreground, background, renderer recreated).
    void removeAllEventListeners();

    // Node hooks: paused listeners hear nothing; resuming also re-sorts the node's listeners.
    void pauseEventListenersForTarget(Node* target, bool recursive = false);
    void resumeEventListenersForTarget(Node* target, bool recursive = false);
    // The node's (and its subtree's) order changed: their ids are re-sorted at the next dispatch.
    void setDirtyForNode(Node* node);

    void dispatchEvent(Event* event);
    void dispatchCustomEvent(const std::string& eventName, void* optionalUserData = nullptr);

    void setEnabled(bool isEnabled) { isEnabled_ = isEnabled; }
    bool isEnabled() const { return isEnabled_; }

private:
    static bool refuseRegistered(const EventListener* listener);

    enum DirtyFlag : int { NONE = 0, FIXED_PRIORITY = 1, SCENE_GRAPH_PRIORITY = 2, ALL = 3 };

    // The listeners of one id. An entry set to null is a listener removed during a
    // dispatch; it is dropped when the outermost dispatch ends.
    struct EventListenerVector {
        std::unique_ptr<std::vector<EventListener*>> fixedListeners;
        std::unique_ptr<std::vector<EventListener*>> sceneGraphListeners;
        std::int64_t gt0Index = 0;
        int walking = 0;  // walks over this group now running

        bool empty() const;
        void push(EventListener* listener);
        void clearSceneGraphListeners() { sceneGraphListeners.reset(); }
        void clearFixedListeners() {
            fixedListeners.reset();
            gt0Index = 0;
        }
    };

    // Restores the dispatch depth however the dispatch ends.
    class DispatchGuard;

    void addEventListener(EventListener* listener);
    void forceAddEventListener(EventListener* listener);
    void associateNodeAndEventListener(Node* node, EventListener* listener);
    void dissociateNodeAndEventListener(Node* node, EventListener* listener);
    // The target's own listeners, registered or waiting to be added; not its children's.
    void setPausedForTarget(Node* target, bool paused);
    void setDirty(const EventListener::ListenerID& listenerID, int flag);
    void updateDirtyFlagForSceneGraph();
    void sortEventListeners(const EventListener::ListenerID& listenerID);
    void sortEventListenersOfFixedPriority(const EventListener::ListenerID& listenerID);
    void sortEventListenersOfSceneGraphPriority(const EventListener::ListenerID& listenerID, Node* rootNode);
    void visitTarget(Node* node, bool isRootNode);
    void dispatchEventToListeners(EventListenerVector* listeners, const std::function<bool(EventListener*)>& onEvent);
    // Touches (EventDispatcherTouches.cpp): one-by-one listeners get each touch first and
    // may swallow it; all-at-once listeners get the touches left. True when the event was stopped.
    void dispatchTouchEvent(EventTouch* event);
    EventListenerVector* touchListeners(const EventListener::ListenerID& listenerID);
    bool dispatchTouchesOneByOne(EventTouch* event, EventListenerVector* listeners, std::vector<Touch*>* unswallowed);
    bool deliverTouch(EventListenerTouchOneByOne* listener, Touch* touch, EventTouch* event);
    bool dispatchTouchesAllAtOnce(EventTouch* event, EventListenerVector* listeners,
                                  const std::vector<Touch*>& touches);
    // An ended or cancelled touch is released by the GL view after the dispatch: no listener
    // may keep it as claimed, not even one that was paused or skipped meanwhile.
    void forgetEndedTouches(EventTouch* event);
    void updateListeners(Event* event);
    void dropRemovedEntries();
    // Listeners waiting to be added that match: unregistered (detached from their node when
    // asked), taken off the waiting list and released.
    void dropWaitingListeners(const std::function<bool(EventListener*)>& matches, bool detachNode);
    // Takes a listener out of the dispatcher's bookkeeping (not out of its vector).
    void unregister(EventListener* listener);
    static EventListener::ListenerID getListenerIDForEvent(Event* event);

    std::unordered_map<EventListener::ListenerID, std::unique_ptr<EventListenerVector>> listenerMap_;
    std::unordered_map<EventListener::ListenerID, int> priorityDirtyFlagMap_;
    std::unordered_map<Node*, std::unique_ptr<std::vector<EventListener*>>> nodeListenersMap_;
    std::unordered_map<Node*, int> nodePriorityMap_;
    std::unordered_map<float, std::vector<Node*>> globalZOrderNodeMap_;
    std::vector<EventListener*> toAddedListeners_;
    std::set<Node*> dirtyNodes_;
    int inDispatch_ = 0;
    bool isEnabled_ = false;
    int nodePriorityIndex_ = 0;
    std::set<std::string> internalCustomListenerIDs_;
    // Listeners removed during a dispatch, each holding the reference its vector entry had.
    std::vector<EventListener*> removedDuringDispatch_;
};

}  // namespace kite
