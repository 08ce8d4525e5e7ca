// Frame animations: a sequence of sprite frames with delay units, and the process-wide store of them by name.
#pragma once
#include <string>
#include <unordered_map>

#include "kite/foundation/Clonable.h"
#include "kite/foundation/Ref.h"
#include "kite/foundation/Value.h"
#include "kite/foundation/Vector.h"

namespace kite {

class SpriteFrame;

// One step of an animation: a frame shown for a number of delay units.
class AnimationFrame : public Ref, public Clonable {
public:
    static AnimationFrame* create(SpriteFrame* spriteFrame, float delayUnits, const ValueMap& userInfo);
    bool init(SpriteFrame* spriteFrame, float delayUnits, const ValueMap& userInfo);
    ~AnimationFrame() override;

    AnimationFrame* clone() const override;

    SpriteFrame* getSpriteFrame() const { return spriteFrame_; }
    void setSpriteFrame(SpriteFrame* frame);
    float getDelayUnits() const { return delayUnits_; }
    const ValueMap& getUserInfo() const { return userInfo_; }

    AnimationFrame() = default;

private:
    SpriteFrame* spriteFrame_ = nullptr;  // retained
    float delayUnits_ = 0.0f;
    ValueMap userInfo_;
};

class Animation : public Ref, public Clonable {
public:
    // One delay unit per frame.
    static Animation* createWithSpriteFrames(const Vector<SpriteFrame*>& frames, float delayPerUnit = 0.0f,
                                             unsigned int loops = 1);
    static Animation* create(const Vector<AnimationFrame*>& frames, float delayPerUnit, unsigned int loops = 1);

    bool initWithSpriteFrames(const Vector<SpriteFrame*>& frames, float delayPerUnit, unsigned int loops);
    bool initWithAnimationFrames(const Vector<AnimationFrame*>& frames, float delayPerUnit, unsigned int loops);

    // A new animation sharing this one's frame objects.
    Animation* clone() const override;

    // Total delay units times the seconds per unit.
    float getDuration() const { return totalDelayUnits_ * delayPerUnit_; }
    const Vector<AnimationFrame*>& getFrames() const { return frames_; }
    float getDelayPerUnit() const { return delayPerUnit_; }
    float getTotalDelayUnits() const { return totalDelayUnits_; }
    unsigned int getLoops() const { return loops_; }
    bool getRestoreOriginalFrame() const { return restoreOriginalFrame_; }
    void setRestoreOriginalFrame(bool restore) { restoreOriginalFrame_ = restore; }

    Animation() = default;

private:
    float totalDelayUnits_ = 0.0f;
    float delayPerUnit_ = 0.0f;
    Vector<AnimationFrame*> frames_;
    bool restoreOriginalFrame_ = false;
    unsigned int loops_ = 1;
};

class AnimationCache : public Ref {
public:
    static AnimationCache* getInstance();
    static void destroyInstance();

    // Null when no animation has that name.
    Animation* getAnimation(const std::string& name) const;

    ~AnimationCache() override;
    AnimationCache() = default;

private:
    std::unordered_map<std::string, Animation*> animations_;  // one reference each
};

}  // namespace kite
