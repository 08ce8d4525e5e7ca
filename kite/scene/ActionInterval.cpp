#include "kite/scene/ActionInterval.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"
#include "kite/scene/Animation.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventCustom.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/Node.h"
#include "kite/scene/Sprite.h"
#include "kite/scene/SpriteFrame.h"

namespace kite {

namespace {

// A null-ended list folded into nested pairs from the left, ((a, b), c) and so on;
// a lone action is paired with an empty one. Null when a pair cannot be made.
template <class Pair>
Pair* pairUp(FiniteTimeAction* const* list) {
    if (!list || !list[0]) return nullptr;
    FiniteTimeAction* previous = list[0];
    if (!list[1]) return Pair::createWithTwoActions(previous, ExtraAction::create());
    for (int i = 1; list[i]; ++i) {
        previous = Pair::createWithTwoActions(previous, list[i]);
        if (!previous) return nullptr;
    }
    return static_cast<Pair*>(previous);
}

}  // namespace

// ---- ActionInterval

bool ActionInterval::initWithDuration(float duration) {
    duration_ = duration == 0.0f ? FLT_EPSILON : duration;
    elapsed_ = 0.0f;
    firstTick_ = true;
    return true;
}

bool ActionInterval::isDone() const { return elapsed_ >= duration_; }

void ActionInterval::startWithTarget(Node* target) {
    FiniteTimeAction::startWithTarget(target);
    elapsed_ = 0.0f;
    firstTick_ = true;
}

void ActionInterval::step(float dt) {
    if (firstTick_) {
        firstTick_ = false;
        elapsed_ = 0.0f;
    } else {
        elapsed_ += dt;
    }
    float t = elapsed_ / std::max(duration_, FLT_EPSILON);
    update(std::max(0.0f, std::min(1.0f, t)));
}

// ---- Sequence

Sequence* Sequence::createFromList(FiniteTimeAction* const* list) { return pairUp<Sequence>(list); }

Sequence* Sequence::createWithTwoActions(FiniteTimeAction* one, FiniteTimeAction* two) {
    return createAutoreleased<Sequence>(one, two);
}

bool Sequence::initWithTwoActions(FiniteTimeAction* one, FiniteTimeAction* two) {
    if (!one || !two) {
        log("Sequence: both actions are needed");
        return false;
    }
    initWithDuration(one->getDuration() + two->getDuration());
    assignRetained(actions_[0], one);
    assignRetained(actions_[1], two);
    return true;
}

Sequence::~Sequence() {
    releaseAndClear(actions_[0]);
    releaseAndClear(actions_[1]);
}

Sequence* Sequence::clone() const { return createWithTwoActions(actions_[0]->clone(), actions_[1]->clone()); }

Sequence* Sequence::reverse() const {
    FiniteTimeAction* second = actions_[1]->reverse();
    FiniteTimeAction* first = actions_[0]->reverse();
    if (!first || !second) {
        log("Sequence: a part has no reverse, so the sequence has none");
        return nullptr;
    }
    return createWithTwoActions(second, first);
}

void Sequence::startWithTarget(Node* target) {
    ActionInterval::startWithTarget(target);
    split_ = actions_[0]->getDuration() / duration_;
    last_ = -1;
}

void Sequence::stop() {
    if (last_ != -1) actions_[last_]->stop();
    ActionInterval::stop();
}

void Sequence::update(float t) {
    int found = 0;
    float newT = 0.0f;
    if (t < split_) {
        found = 0;
        newT = split_ != 0.0f ? t / split_ : 1.0f;
    } else {
        found = 1;
        newT = split_ == 1.0f ? 1.0f : (t - split_) / (1.0f - split_);
    }
    FiniteTimeAction* action = actions_[found];
    if (found == last_) {
        // An instant part acts once; an interval part is updated every frame.
        if (action->isDone()) return;
    } else {
        finishPreviousPart(found);
        action->startWithTarget(target_);
    }
    action->update(newT);
    last_ = found;
}

void Sequence::finishPreviousPart(int found) {
    if (found == 1) {
        if (last_ == -1) {
            // The first action was skipped entirely: run it to its end at once.
            actions_[0]->startWithTarget(target_);
            actions_[0]->update(1.0f);
            actions_[0]->stop();
        } else if (last_ == 0) {
            actions_[0]->update(1.0f);
            actions_[0]->stop();
        }
    } else if (last_ == 1) {
        actions_[1]->update(0.0f);
        actions_[1]->stop();
    }
}

// ---- Spawn

Spawn* Spawn::createFromList(FiniteTimeAction* const* list) { return pairUp<Spawn>(list); }

Spawn* Spawn::createWithTwoActions(FiniteTimeAction* one, FiniteTimeAction* two) {
    return createAutoreleased<Spawn>(one, two);
}

bool Spawn::initWithTwoActions(FiniteTimeAction* one, FiniteTimeAction* two) {
    if (!one || !two) {
        log("Spawn: both actions are needed");
        return false;
    }
    float d1 = one->getDuration();
    float d2 = two->getDuration();
    initWithDuration(std::max(d1, d2));
    if (d1 > d2) {
        two = Sequence::createWithTwoActions(two, DelayTime::create(d1 - d2));
    } else if (d1 < d2) {
        one = Sequence::createWithTwoActions(one, DelayTime::create(d2 - d1));
    }
    if (!one || !two) return false;
    assignRetained(one_, one);
    assignRetained(two_, two);
    return true;
}

Spawn::~Spawn() {
    releaseAndClear(one_);
    releaseAndClear(two_);
}

Spawn* Spawn::clone() const { return createWithTwoActions(one_->clone(), two_->clone()); }

Spawn* Spawn::reverse() const {
    FiniteTimeAction* one = one_->reverse();
    FiniteTimeAction* two = two_->reverse();
    if (!one || !two) {
        log("Spawn: a part has no reverse, so the spawn has none");
        return nullptr;
    }
    return createWithTwoActions(one, two);
}

void Spawn::startWithTarget(Node* target) {
    ActionInterval::startWithTarget(target);
    one_->startWithTarget(target);
    two_->startWithTarget(target);
}

void Spawn::stop() {
    one_->stop();
    two_->stop();
    ActionInterval::stop();
}

void Spawn::update(float t) {
    if (one_) one_->update(t);
    if (two_) two_->update(t);
}

// ---- RepeatForever

RepeatForever* RepeatForever::create(ActionInterval* action) { return createAutoreleased<RepeatForever>(action); }

bool RepeatForever::init(ActionInterval* action) {
    if (!action) {
        log("RepeatForever: no action to repeat");
        return false;
    }
    assignRetained(inner_, action);
    return true;
}

RepeatForever::~RepeatForever() { releaseAndClear(inner_); }

RepeatForever* RepeatForever::clone() const { return create(inner_->clone()); }

RepeatForever* RepeatForever::reverse() const { return create(inner_->reverse()); }

void RepeatForever::startWithTarget(Node* target) {
    ActionInterval::startWithTarget(target);
    inner_->startWithTarget(target);
}

void RepeatForever::step(float dt) {
    inner_->step(dt);
    if (inner_->isDone()) {
        float diff = inner_->getElapsed() - inner_->getDuration();
        if (diff > inner_->getDuration()) diff = std::fmod(diff, inner_->getDuration());
        inner_->startWithTarget(target_);
        inner_->step(0.0f);
        inner_->step(diff);
    }
}

// ---- RotateBy

RotateBy* RotateBy::create(float duration, float deltaAngle) {
    return createAutoreleased<RotateBy>(duration, Vec3(deltaAngle, deltaAngle, 0.0f), false);
}

RotateBy* RotateBy::create(float duration, float deltaAngleX, float deltaAngleY) {
    return createAutoreleased<RotateBy>(duration, Vec3(deltaAngleX, deltaAngleY, 0.0f), false);
}

RotateBy* RotateBy::create(float duration, const Vec3& deltaAngle3D) {
    return createAutoreleased<RotateBy>(duration, deltaAngle3D, true);
}

bool RotateBy::init(float duration, const Vec3& delta, bool is3D) {
    initWithDuration(duration);
    deltaAngle_ = delta;
    is3D_ = is3D;
    return true;
}

RotateBy* RotateBy::clone() const { return createAutoreleased<RotateBy>(duration_, deltaAngle_, is3D_); }

RotateBy* RotateBy::reverse() const {
    Vec3 negated(-deltaAngle_.x, -deltaAngle_.y, is3D_ ? -deltaAngle_.z : deltaAngle_.z);
    return createAutoreleased<RotateBy>(duration_, negated, is3D_);
}

void RotateBy::startWithTarget(Node* target) {
    ActionInterval::startWithTarget(target);
    if (is3D_) {
        startAngle_ = target->getRotation3D();
    } else {
        startAngle_.x = target->getRotationSkewX();
        startAngle_.y = target->getRotationSkewY();
    }
}

void RotateBy::update(float t) {
    if (!target_) return;
    if (is3D_) {
        target_->setRotation3D(Vec3(startAngle_.x + deltaAngle_.x * t, startAngle_.y + deltaAngle_.y * t,
                                    startAngle_.z + deltaAngle_.z * t));
    } else if (startAngle_.x == startAngle_.y && deltaAngle_.x == deltaAngle_.y) {
        target_->setRotation(startAngle_.x + deltaAngle_.x * t);
    } else {
        target_->setRotationSkewX(startAngle_.x + deltaAngle_.x * t);
        target_->setRotationSkewY(startAngle_.y + deltaAngle_.y * t);
    }
}

// ---- MoveBy

MoveBy* MoveBy::create(float duration, const Vec2& delta) { return create(duration, Vec3(delta.x, delta.y, 0.0f)); }

MoveBy* MoveBy::create(float duration, const Vec3& delta) { return createAutoreleased<MoveBy>(duration, delta); }

bool MoveBy::init(float duration, const Vec3& delta) {
    initWithDuration(duration);
    positionDelta_ = delta;
    return true;
}

MoveBy* MoveBy::clone() const { return create(duration_, positionDelta_); }

MoveBy* MoveBy::reverse() const {
    return create(duration_, Vec3(-positionDelta_.x, -positionDelta_.y, -positionDelta_.z));
}

void MoveBy::startWithTarget(Node* target) {
    ActionInterval::startWithTarget(target);
    previousPosition_ = startPosition_ = target->getPosition3D();
}

void MoveBy::update(float t) {
    if (!target_) return;
    // Whatever moved the node since the last update (another move, the game) is kept.
    Vec3 current = target_->getPosition3D();
    startPosition_ = startPosition_ + (current - previousPosition_);
    Vec3 next = startPosition_ + positionDelta_ * t;
    if (next.z == current.z) {
        // Depth unchanged: the flat setter alone, so the node is marked changed once, not twice.
        target_->setPosition(next.x, next.y);
    } else {
        target_->setPosition3D(next);
    }
    previousPosition_ = next;
}

// ---- MoveTo

MoveTo* MoveTo::create(float duration, const Vec2& position) {
    return create(duration, Vec3(position.x, position.y, 0.0f));
}

MoveTo* MoveTo::create(float duration, const Vec3& position) {
    auto* action = new (std::nothrow) MoveTo();
    if (!action || !action->initTo(duration, position)) {
        delete action;
        return nullptr;
    }
    action->autorelease();
    return action;
}

bool MoveTo::initTo(float duration, const Vec3& position) {
    initWithDuration(duration);
    endPosition_ = position;
    return true;
}

MoveTo* MoveTo::clone() const { return create(duration_, endPosition_); }

void MoveTo::startWithTarget(Node* target) {
    MoveBy::startWithTarget(target);
    positionDelta_ = endPosition_ - target->getPosition3D();
}

// ---- ScaleTo

ScaleTo* ScaleTo::create(float duration, float scale) {
    return createAutoreleased<ScaleTo>(duration, scale, scale, scale);
}

ScaleTo* ScaleTo::create(float duration, float scaleX, float scaleY) {
    return createAutoreleased<ScaleTo>(duration, scaleX, scaleY, 1.0f);
}

bool ScaleTo::init(float duration, float x, float y, float z) {
    initWithDuration(duration);
    endX_ = x;
    endY_ = y;
    endZ_ = z;
    return true;
}

ScaleTo* ScaleTo::clone() const { return createAutoreleased<ScaleTo>(duration_, endX_, endY_, endZ_); }

void ScaleTo::startWithTarget(Node* target) {
    ActionInterval::startWithTarget(target);
    startX_ = target->getScaleX();
    startY_ = target->getScaleY();
    startZ_ = target->getScaleZ();
    deltaX_ = endX_ - startX_;
    deltaY_ = endY_ - startY_;
    deltaZ_ = endZ_ - startZ_;
}

void ScaleTo::update(float t) {
    if (!target_) return;
    target_->setScaleX(startX_ + deltaX_ * t);
    target_->setScaleY(startY_ + deltaY_ * t);
    target_->setScaleZ(startZ_ + deltaZ_ * t);
}

// ---- Blink

Blink* Blink::create(float duration, int blinks) { return createAutoreleased<Blink>(duration, blinks); }

bool Blink::init(float duration, int blinks) {
    initWithDuration(duration);
    times_ = std::max(blinks, 0);
    return true;
}

Blink* Blink::clone() const { return create(duration_, times_); }

Blink* Blink::reverse() const { return create(duration_, times_); }

void Blink::startWithTarget(Node* target) {
    ActionInterval::startWithTarget(target);
    originalState_ = target->isVisible();
}

void Blink::stop() {
    if (target_) target_->setVisible(originalState_);
    ActionInterval::stop();
}

void Blink::update(float t) {
    // With no blinks the slice would be infinite: the node simply keeps its visibility.
    if (!target_ || isDone() || times_ <= 0) return;
    float slice = 1.0f / static_cast<float>(times_);
    float m = std::fmod(t, slice);
    target_->setVisible(m > slice * 0.5f);
}

// ---- DelayTime

DelayTime* DelayTime::create(float duration) {
    auto* action = new (std::nothrow) DelayTime();
    if (!action) return nullptr;
    action->initWithDuration(duration);
    action->autorelease();
    return action;
}

DelayTime* DelayTime::clone() const { return create(duration_); }

DelayTime* DelayTime::reverse() const { return create(duration_); }

// ---- Animate

Animate* Animate::create(Animation* animation) { return createAutoreleased<Animate>(animation); }

bool Animate::init(Animation* animation) { return initWithAnimation(animation); }

bool Animate::initWithAnimation(Animation* animation) {
    if (!animation) {
        log("Animate: no animation to play");
        return false;
    }
    const float single = animation->getDuration();
    initWithDuration(single * static_cast<float>(animation->getLoops()));
    nextFrame_ = 0;
    assignRetained(animation_, animation);
    releaseAndClear(origFrame_);
    executedLoops_ = 0;
    splitTimes_.clear();
    splitTimes_.reserve(animation->getFrames().size());
    // Each frame starts at its share of the total delay units. Taken from the units alone, so
    // that an animation with no delay per unit (or no units) gives 0, never a division by zero.
    const float totalUnits = animation->getTotalDelayUnits();
    float accumulated = 0.0f;
    for (AnimationFrame* frame : animation->getFrames()) {
        splitTimes_.push_back(totalUnits > 0.0f ? accumulated / totalUnits : 0.0f);
        accumulated += frame->getDelayUnits();
    }
    return true;
}

Animate::~Animate() {
    releaseAndClear(animation_);
    releaseAndClear(origFrame_);
    releaseAndClear(frameDisplayedEvent_);
}

Animate* Animate::clone() const { return create(animation_->clone()); }

Animate* Animate::reverse() const {
    const Vector<AnimationFrame*>& frames = animation_->getFrames();
    Vector<AnimationFrame*> reversed(frames.size());
    for (std::size_t i = frames.size(); i-- > 0;) {
        AnimationFrame* frame = frames.at(i);
        if (!frame) break;
        if (AnimationFrame* copy = frame->clone()) reversed.pushBack(copy);
    }
    Animation* animation = Animation::create(reversed, animation_->getDelayPerUnit(), animation_->getLoops());
    if (!animation) return nullptr;
    animation->setRestoreOriginalFrame(animation_->getRestoreOriginalFrame());
    return create(animation);
}

void Animate::startWithTarget(Node* target) {
    ActionInterval::startWithTarget(target);
    releaseAndClear(origFrame_);
    auto* sprite = dynamic_cast<Sprite*>(target);
    if (animation_->getRestoreOriginalFrame() && sprite) assignRetained(origFrame_, sprite->getSpriteFrame());
    nextFrame_ = 0;
    executedLoops_ = 0;
}

void Animate::stop() {
    auto* sprite = dynamic_cast<Sprite*>(target_);
    if (animation_->getRestoreOriginalFrame() && sprite && origFrame_) sprite->setSpriteFrame(origFrame_);
    ActionInterval::stop();
}

void Animate::update(float t) {
    if (t < 1.0f) {
        t *= static_cast<float>(animation_->getLoops());
        const auto loopNumber = static_cast<unsigned int>(t);
        if (loopNumber > executedLoops_) {
            nextFrame_ = 0;
            executedLoops_++;
        }
        t = std::fmod(t, 1.0f);
    }
    auto* sprite = dynamic_cast<Sprite*>(target_);
    const Vector<AnimationFrame*>& frames = animation_->getFrames();
    const int count = static_cast<int>(frames.size());
    for (int i = nextFrame_; i < count; ++i) {
        if (splitTimes_[static_cast<std::size_t>(i)] > t) break;
        AnimationFrame* frame = frames.at(static_cast<std::size_t>(i));
        if (sprite) sprite->setSpriteFrame(frame->getSpriteFrame());
        if (!frame->getUserInfo().empty()) dispatchFrameDisplayed(frame);
        nextFrame_ = i + 1;
    }
}

void Animate::dispatchFrameDisplayed(AnimationFrame* frame) {
    Director* director = Director::getInstance();
    EventDispatcher* dispatcher = director ? director->getEventDispatcher() : nullptr;
    if (!dispatcher) return;
    if (!frameDisplayedEvent_) {
        frameDisplayedEvent_ = new (std::nothrow) EventCustom(AnimationFrameDisplayedNotification);
        if (!frameDisplayedEvent_) return;
    }
    frameDisplayedEventInfo_.target = target_;
    frameDisplayedEventInfo_.userInfo = &frame->getUserInfo();
    frameDisplayedEvent_->setUserData(&frameDisplayedEventInfo_);
    dispatcher->dispatchEvent(frameDisplayedEvent_);
}

// ---- ExtraAction

ExtraAction* ExtraAction::create() { return createAutoreleased<ExtraAction>(); }

ExtraAction* ExtraAction::clone() const { return create(); }

ExtraAction* ExtraAction::reverse() const { return create(); }

}  // namespace kite
