// The action base: something that changes a node over time, stepped once per frame by the action manager.
#pragma once
#include <string>

#include "kite/foundation/Clonable.h"
#include "kite/foundation/Ref.h"

namespace kite {

class Node;

class Action : public Ref, public Clonable {
public:
    static constexpr int INVALID_TAG = -1;

    virtual std::string description() const;
    // Every concrete kind returns a new autoreleased copy; the base has none.
    Action* clone() const override { return nullptr; }
    // Null when the kind has no reverse.
    virtual Action* reverse() const { return nullptr; }
    virtual bool isDone() const { return true; }
    virtual void startWithTarget(Node* target);
    virtual void stop();
    // Called once per frame with the seconds since the previous frame.
    virtual void step(float dt);
    // Called with the normalised time, 0 to 1.
    virtual void update(float time);

    Node* getTarget() const { return target_; }
    void setTarget(Node* target) { target_ = target; }
    // The node the action was started on; stays set after the action stops.
    Node* getOriginalTarget() const { return originalTarget_; }
    void setOriginalTarget(Node* target) { originalTarget_ = target; }
    int getTag() const { return tag_; }
    void setTag(int tag) { tag_ = tag; }

protected:
    Action() = default;

    Node* originalTarget_ = nullptr;  // not retained
    Node* target_ = nullptr;          // not retained
    int tag_ = INVALID_TAG;
};

// An action with a known duration.
class FiniteTimeAction : public Action {
public:
    float getDuration() const { return duration_; }
    void setDuration(float duration) { duration_ = duration; }

    FiniteTimeAction* clone() const override { return nullptr; }
    FiniteTimeAction* reverse() const override { return nullptr; }

protected:
    FiniteTimeAction() = default;

    float duration_ = 0.0f;
};

}  // namespace kite
