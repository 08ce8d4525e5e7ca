// Timed actions: the interval base, composites (sequence, spawn, repeat forever) and the node-changing kinds.
#pragma once
#include <cstdint>
#include <vector>

#include "kite/foundation/Value.h"
#include "kite/foundation/math/Vec2.h"
#include "kite/foundation/math/Vec3.h"
#include "kite/scene/Action.h"

namespace kite {

class Animation;
class AnimationFrame;
class EventCustom;
class SpriteFrame;

// Maps the time since its start to a normalised time and hands it to update.
class ActionInterval : public FiniteTimeAction {
public:
    // A duration of exactly 0 becomes FLT_EPSILON, so that the action still takes two steps.
    bool initWithDuration(float duration);

    float getElapsed() const { return elapsed_; }

    ActionInterval* clone() const override { return nullptr; }
    ActionInterval* reverse() const override { return nullptr; }
    bool isDone() const override;
    void startWithTarget(Node* target) override;
    // The first step after a start applies update(0) and does not count the frame's time.
    void step(float dt) override;

protected:
    ActionInterval() = default;

    float elapsed_ = 0.0f;
    bool firstTick_ = true;
};

// Two actions one after the other; longer lists nest to the left.
class Sequence : public ActionInterval {
public:
    // A list ended by null; null when the first is null. One action is paired with an ExtraAction.
    template <class... Rest>
    static Sequence* create(FiniteTimeAction* first, Rest... rest) {
        FiniteTimeAction* list[] = {first, static_cast<FiniteTimeAction*>(rest)..., nullptr};
        return createFromList(list);
    }
    static Sequence* createFromList(FiniteTimeAction* const* nullEnded);
    // Null when either action is null.
    static Sequence* createWithTwoActions(FiniteTimeAction* one, FiniteTimeAction* two);

    bool initWithTwoActions(FiniteTimeAction* one, FiniteTimeAction* two);
    bool init(FiniteTimeAction* one, FiniteTimeAction* two) { return initWithTwoActions(one, two); }
    ~Sequence() override;

    Sequence* clone() const override;
    // Null (with a log line) when either part has no reverse.
    Sequence* reverse() const override;
    void startWithTarget(Node* target) override;
    void stop() override;
    void update(float t) override;

    Sequence() = default;

private:
    // Before part found takes over: brings the part updated last to its end (or start, going back).
    void finishPreviousPart(int found);

    FiniteTimeAction* actions_[2] = {nullptr, nullptr};
    float split_ = 0.0f;
    int last_ = -1;
};

// Two actions at the same time; the shorter is padded with a delay.
class Spawn : public ActionInterval {
public:
    template <class... Rest>
    static Spawn* create(FiniteTimeAction* first, Rest... rest) {
        FiniteTimeAction* list[] = {first, static_cast<FiniteTimeAction*>(rest)..., nullptr};
        return createFromList(list);
    }
    static Spawn* createFromList(FiniteTimeAction* const* nullEnded);
    static Spawn* createWithTwoActions(FiniteTimeAction* one, FiniteTimeAction* two);

    bool initWithTwoActions(FiniteTimeAction* one, FiniteTimeAction* two);
    bool init(FiniteTimeAction* one, FiniteTimeAction* two) { return initWithTwoActions(one, two); }
    ~Spawn() override;

    Spawn* clone() const override;
    // Null (with a log line) when either part has no reverse.
    Spawn* reverse() const override;
    void startWithTarget(Node* target) override;
    void stop() override;
    void update(float t) override;

    Spawn() = default;

private:
    FiniteTimeAction* one_ = nullptr;
    FiniteTimeAction* two_ = nullptr;
};

// Restarts its inner action whenever it ends, carrying the overshoot into the next cycle.
class RepeatForever : public ActionInterval {
public:
    static RepeatForever* create(ActionInterval* action);
    bool init(ActionInterval* action);
    ~RepeatForever() override;

    ActionInterval* getInnerAction() const { return inner_; }

    RepeatForever* clone() const override;
    RepeatForever* reverse() const override;
    bool isDone() const override { return false; }
    void startWithTarget(Node* target) override;
    void step(float dt) override;

    RepeatForever() = default;

private:
    ActionInterval* inner_ = nullptr;
};

// Turns the node by an angle in degrees (no wrapping).
class RotateBy : public ActionInterval {
public:
    static RotateBy* create(float duration, float deltaAngle);
    static RotateBy* create(float duration, float deltaAngleX, float deltaAngleY);
    static RotateBy* create(float duration, const Vec3& deltaAngle3D);

    RotateBy* clone() const override;
    RotateBy* reverse() const override;
    void startWithTarget(Node* target) override;
    void update(float t) override;

    RotateBy() = default;
    bool init(float duration, const Vec3& delta, bool is3D);

private:
    bool is3D_ = false;
    Vec3 deltaAngle_;
    Vec3 startAngle_;
};

// Moves the node by a delta; several moves on one node add up.
class MoveBy : public ActionInterval {
public:
    static MoveBy* create(float duration, const Vec2& delta);
    static MoveBy* create(float duration, const Vec3& delta);

    MoveBy* clone() const override;
    MoveBy* reverse() const override;
    void startWithTarget(Node* target) override;
    void update(float t) override;

    MoveBy() = default;
    bool init(float duration, const Vec3& delta);

protected:
    Vec3 positionDelta_;
    Vec3 startPosition_;
    Vec3 previousPosition_;
};

// Moves the node to a position; the delta is taken at start.
class MoveTo : public MoveBy {
public:
    static MoveTo* create(float duration, const Vec2& position);
    static MoveTo* create(float duration, const Vec3& position);

    MoveTo* clone() const override;
    void startWithTarget(Node* target) override;

    MoveTo() = default;
    bool initTo(float duration, const Vec3& position);

private:
    Vec3 endPosition_;
};

class ScaleTo : public ActionInterval {
public:
    static ScaleTo* create(float duration, float scale);
    static ScaleTo* create(float duration, float scaleX, float scaleY);

    ScaleTo* clone() const override;
    // A scale to an absolute value has no reverse: null.
    ScaleTo* reverse() const override { return nullptr; }
    void startWithTarget(Node* target) override;
    void update(float t) override;

    ScaleTo() = default;
    bool init(float duration, float x, float y, float z);

private:
    float startX_ = 0.0f, startY_ = 0.0f, startZ_ = 0.0f;
    float endX_ = 0.0f, endY_ = 0.0f, endZ_ = 0.0f;
    float deltaX_ = 0.0f, deltaY_ = 0.0f, deltaZ_ = 0.0f;
};

// Hides and shows the node a number of times; at stop it gets back the visibility it had.
class Blink : public ActionInterval {
public:
    // A count below 1 blinks never: the node keeps its visibility throughout.
    static Blink* create(float duration, int blinks);

    Blink* clone() const override;
    Blink* reverse() const override;
    void startWithTarget(Node* target) override;
    void stop() override;
    void update(float t) override;

    Blink() = default;
    bool init(float duration, int blinks);

private:
    int times_ = 0;
    bool originalState_ = false;
};

class DelayTime : public ActionInterval {
public:
    static DelayTime* create(float duration);

    DelayTime* clone() const override;
    DelayTime* reverse() const override;
    void update(float) override {}

    DelayTime() = default;
};

// Shows the frames of an animation on a sprite, each at its share of the duration.
class Animate : public ActionInterval {
public:
    // What "KTAnimationFrameDisplayedNotification" carries: the target and the frame's user information.
    struct AnimationFrameDisplayedUserData {
        Node* target = nullptr;
        const ValueMap* userInfo = nullptr;
    };
    static constexpr const char* AnimationFrameDisplayedNotification = "KTAnimationFrameDisplayedNotification";

    // Null for a null animation.
    static Animate* create(Animation* animation);
    bool initWithAnimation(Animation* animation);
    bool init(Animation* animation);
    ~Animate() override;

    Animation* getAnimation() const { return animation_; }
    const std::vector<float>& getSplitTimes() const { return splitTimes_; }

    Animate* clone() const override;
    Animate* reverse() const override;
    void startWithTarget(Node* target) override;
    void stop() override;
    void update(float t) override;

    Animate() = default;

private:
    void dispatchFrameDisplayed(AnimationFrame* frame);

    std::vector<float> splitTimes_;
    int nextFrame_ = 0;
    SpriteFrame* origFrame_ = nullptr;
    unsigned int executedLoops_ = 0;
    Animation* animation_ = nullptr;
    EventCustom* frameDisplayedEvent_ = nullptr;
    AnimationFrameDisplayedUserData frameDisplayedEventInfo_;
};

// A finite action of no duration that does nothing; pads one-action sequences and spawns.
class ExtraAction : public FiniteTimeAction {
public:
    static ExtraAction* create();
    bool init() { return true; }

    ExtraAction* clone() const override;
    ExtraAction* reverse() const override;
    void update(float) override {}
    void step(float) override {}

    ExtraAction() = default;
};

}  // namespace kite
