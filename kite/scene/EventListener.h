// The base of listeners: the id the dispatcher files them under, their state flags and their callback.
#pragma once
#include <functional>
#include <string>

#include "kite/foundation/Ref.h"

namespace kite {

class Event;
class Node;

class EventListener : public Ref {
public:
    enum class Type {
        UNKNOWN = 0,
        TOUCH_ONE_BY_ONE = 1,
        TOUCH_ALL_AT_ONCE = 2,
        KEYBOARD = 3,
        MOUSE = 4,
        ACCELERATION = 5,
        FOCUS = 6,
        GAME_CONTROLLER = 7,
        CUSTOM = 8,
    };
    using ListenerID = std::string;

    ~EventListener() override = default;

    bool init(Type type, const ListenerID& listenerID, const std::function<void(Event*)>& callback);

    // Base rule: the callback is set. A listener that is not available is never registered.
    virtual bool checkAvailable();
    virtual EventListener* clone() = 0;

    void setEnabled(bool enabled) { isEnabled_ = enabled; }
    bool isEnabled() const { return isEnabled_; }
    // The dispatcher files a listener under its ID when it is added: set it before that.
    void setListenerID(const ListenerID& listenerID) { listenerID_ = listenerID; }

    // The state below is the dispatcher's to keep.
    void setPaused(bool paused) { paused_ = paused; }
    bool isPaused() const { return paused_; }
    void setRegistered(bool registered) { isRegistered_ = registered; }
    bool isRegistered() const { return isRegistered_; }
    Type getType() const { return type_; }
    const ListenerID& getListenerID() const { return listenerID_; }
    // 0 means the listener follows its node's drawing order.
    void setFixedPriority(int priority) { fixedPriority_ = priority; }
    int getFixedPriority() const { return fixedPriority_; }
    void setAssociatedNode(Node* node) { node_ = node; }
    Node* getAssociatedNode() const { return node_; }
    const std::function<void(Event*)>& getCallback() const { return onEvent_; }

protected:
    EventListener() = default;

    std::function<void(Event*)> onEvent_;
    Type type_ = Type::UNKNOWN;
    ListenerID listenerID_;
    bool isRegistered_ = false;
    int fixedPriority_ = 0;
    Node* node_ = nullptr;  // not retained
    bool paused_ = true;
    bool isEnabled_ = true;
};

}  // namespace kite
