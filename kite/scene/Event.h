// The base of the events the dispatcher delivers: a type, a stopped flag and the node being served.
#pragma once
#include "kite/foundation/Ref.h"

namespace kite {

class Node;

class Event : public Ref {
public:
    enum class Type {
        TOUCH = 0,
        KEYBOARD = 1,
        ACCELERATION = 2,
        MOUSE = 3,
        FOCUS = 4,
        GAME_CONTROLLER = 5,
        CUSTOM = 6,
    };

    explicit Event(Type type) : type_(type) {}
    ~Event() override = default;

    Type getType() const { return type_; }
    // The dispatcher ends its walk after the listener that stops the event.
    void stopPropagation() { isStopped_ = true; }
    bool isStopped() const { return isStopped_; }
    // The node of the listener being called; null for fixed-priority listeners.
    Node* getCurrentTarget() const { return currentTarget_; }
    void setCurrentTarget(Node* target) { currentTarget_ = target; }

protected:
    Type type_;
    bool isStopped_ = false;
    Node* currentTarget_ = nullptr;
};

}  // namespace kite
