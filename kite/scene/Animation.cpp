#include "kite/scene/Animation.h"

#include <new>

#include "kite/foundation/Create.h"
#include "kite/scene/SpriteFrame.h"

namespace kite {

// ---- AnimationFrame

AnimationFrame* AnimationFrame::create(SpriteFrame* spriteFrame, float delayUnits, const ValueMap& userInfo) {
    return createAutoreleased<AnimationFrame>(spriteFrame, delayUnits, userInfo);
}

bool AnimationFrame::init(SpriteFrame* spriteFrame, float delayUnits, const ValueMap& userInfo) {
    setSpriteFrame(spriteFrame);
    delayUnits_ = delayUnits;
    userInfo_ = userInfo;
    return true;
}

AnimationFrame::~AnimationFrame() { releaseAndClear(spriteFrame_); }

void AnimationFrame::setSpriteFrame(SpriteFrame* frame) { assignRetained(spriteFrame_, frame); }

AnimationFrame* AnimationFrame::clone() const {
    return create(spriteFrame_ ? spriteFrame_->clone() : nullptr, delayUnits_, userInfo_);
}

// ---- Animation

Animation* Animation::createWithSpriteFrames(const Vector<SpriteFrame*>& frames, float delayPerUnit,
                                             unsigned int loops) {
    auto* animation = new (std::nothrow) Animation();
    if (!animation) return nullptr;
    animation->initWithSpriteFrames(frames, delayPerUnit, loops);
    animation->autorelease();
    return animation;
}

Animation* Animation::create(const Vector<AnimationFrame*>& frames, float delayPerUnit, unsigned int loops) {
    auto* animation = new (std::nothrow) Animation();
    if (!animation) return nullptr;
    animation->initWithAnimationFrames(frames, delayPerUnit, loops);
    animation->autorelease();
    return animation;
}

bool Animation::initWithSpriteFrames(const Vector<SpriteFrame*>& frames, float delayPerUnit, unsigned int loops) {
    delayPerUnit_ = delayPerUnit;
    loops_ = loops;
    for (SpriteFrame* frame : frames) {
        AnimationFrame* step = AnimationFrame::create(frame, 1.0f, ValueMap());
        if (!step) continue;
        frames_.pushBack(step);
        totalDelayUnits_ += 1.0f;
    }
    return true;
}

bool Animation::initWithAnimationFrames(const Vector<AnimationFrame*>& frames, float delayPerUnit, unsigned int loops) {
    delayPerUnit_ = delayPerUnit;
    loops_ = loops;
    frames_ = frames;
    totalDelayUnits_ = 0.0f;
    for (AnimationFrame* frame : frames_) totalDelayUnits_ += frame->getDelayUnits();
    return true;
}

Animation* Animation::clone() const {
    Animation* copy = create(frames_, delayPerUnit_, loops_);
    if (copy) copy->setRestoreOriginalFrame(restoreOriginalFrame_);
    return copy;
}

// ---- AnimationCache

namespace {
AnimationCache* sharedAnimationCache = nullptr;
}

AnimationCache* AnimationCache::getInstance() {
    if (!sharedAnimationCache) sharedAnimationCache = new (std::nothrow) AnimationCache();
    return sharedAnimationCache;
}

void AnimationCache::destroyInstance() {
    if (!sharedAnimationCache) return;
    AnimationCache* cache = sharedAnimationCache;
    sharedAnimationCache = nullptr;
    cache->release();
}

Animation* AnimationCache::getAnimation(const std::string& name) const {
    auto it = animations_.find(name);
    return it == animations_.end() ? nullptr : it->second;
}

AnimationCache::~AnimationCache() {
    for (auto& entry : animations_) entry.second->release();
}

}  // namespace kite
