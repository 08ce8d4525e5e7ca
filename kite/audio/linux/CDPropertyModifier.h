// Moving one audio property (gain, pan, pitch, master gain, music volume) along a curve
// as the caller advances a parameter from 0 to 1, and a group that passes switches on.
#pragma once
#include <vector>

#include "kite/audio/linux/CDAudioInterruptTarget.h"
#include "kite/foundation/Ref.h"

namespace kite {
namespace audio {

class CDSoundSource;
class CDSoundEngine;
class CDLongAudioSource;

enum tCDInterpolationType { kIT_Linear = 0, kIT_SCurve = 1, kIT_Exponential = 2 };

class CDFloatInterpolator : public Ref {
public:
    static CDFloatInterpolator* create(int type, float startVal, float endVal);
    bool init(int type, float startVal, float endVal);

    // The value at t: the end value from t = 1 on, 0 for an unknown curve type.
    float interpolate(float t) const;

    float start() const { return start_; }
    void setStart(float start) { start_ = start; }
    float end() const { return end_; }
    void setEnd(float end) { end_ = end; }
    int interpolationType() const { return interpolationType_; }
    void setInterpolationType(int type) { interpolationType_ = type; }

private:
    float start_ = 0.0f;
    float end_ = 0.0f;
    int interpolationType_ = kIT_Linear;
};

// The base of the modifiers; each subclass names the property it moves.
class CDPropertyModifier : public Ref {
public:
    // Refuses a target that is not of the subclass's type.
    bool init(Ref* target, int interpolationType, float startVal, float endVal);
    ~CDPropertyModifier() override;

    // Below 1 the property follows the curve; from 1 on it holds the end value, and
    // the target stops when stopTargetWhenComplete is set.
    void modify(float t);

    float startValue() const { return startValue_; }
    void setStartValue(float value);
    float endValue() const { return endValue_; }
    void setEndValue(float value);
    int interpolationType() const { return interpolator_->interpolationType(); }
    void setInterpolationType(int type) { interpolator_->setInterpolationType(type); }
    bool stopTargetWhenComplete() const { return stopTargetWhenComplete_; }
    void setStopTargetWhenComplete(bool stop) { stopTargetWhenComplete_ = stop; }
    Ref* target() const { return target_; }

protected:
    virtual void setTargetProperty(float /*value*/) {}
    virtual float getTargetProperty() const { return 0.0f; }
    virtual void stopTarget() {}
    virtual bool allowsTarget(Ref* /*target*/) const { return true; }

private:
    Ref* target_ = nullptr;                        // retained
    CDFloatInterpolator* interpolator_ = nullptr;  // retained
    float startValue_ = 0.0f;
    float endValue_ = 0.0f;
    bool stopTargetWhenComplete_ = false;
};

// One modifier per property: T is the target's type.
template <class Target>
class CDTypedPropertyModifier : public CDPropertyModifier {
protected:
    Target* typedTarget() const { return static_cast<Target*>(target()); }
    bool allowsTarget(Ref* target) const override { return dynamic_cast<Target*>(target) != nullptr; }
};

class CDSoundSourceFader : public CDTypedPropertyModifier<CDSoundSource> {
public:
    static CDSoundSourceFader* create(CDSoundSource* source, int type, float startVal, float endVal);

protected:
    void setTargetProperty(float value) override;
    float getTargetProperty() const override;
    void stopTarget() override;
};

class CDSoundSourcePanner : public CDTypedPropertyModifier<CDSoundSource> {
public:
    static CDSoundSourcePanner* create(CDSoundSource* source, int type, float startVal, float endVal);

protected:
    void setTargetProperty(float value) override;
    float getTargetProperty() const override;
    void stopTarget() override;
};

class CDSoundSourcePitchBender : public CDTypedPropertyModifier<CDSoundSource> {
public:
    static CDSoundSourcePitchBender* create(CDSoundSource* source, int type, float startVal, float endVal);

protected:
    void setTargetProperty(float value) override;
    float getTargetProperty() const override;
    void stopTarget() override;
};

class CDSoundEngineFader : public CDTypedPropertyModifier<CDSoundEngine> {
public:
    static CDSoundEngineFader* create(CDSoundEngine* engine, int type, float startVal, float endVal);

protected:
    void setTargetProperty(float value) override;
    float getTargetProperty() const override;
    void stopTarget() override;
};

class CDLongAudioSourceFader : public CDTypedPropertyModifier<CDLongAudioSource> {
public:
    static CDLongAudioSourceFader* create(CDLongAudioSource* source, int type, float startVal, float endVal);

protected:
    void setTargetProperty(float value) override;
    float getTargetProperty() const override;
    void stopTarget() override;
};

// Passes mute and enable switches on to its members; a new member gets the group's values.
class CDAudioInterruptTargetGroup : public CDAudioInterruptTarget {
public:
    static CDAudioInterruptTargetGroup* create();
    bool init();
    ~CDAudioInterruptTargetGroup() override;

    void addAudioInterruptTarget(CDAudioInterruptTarget* target);
    void removeAudioInterruptTarget(CDAudioInterruptTarget* target);

    bool mute() const override { return mute_; }
    void setMute(bool mute) override;
    bool enabled() const override { return enabled_; }
    void setEnabled(bool enabled) override;

private:
    std::vector<CDAudioInterruptTarget*> children_;  // retained
    bool mute_ = false;
    bool enabled_ = true;
};

}  // namespace audio
}  // namespace kite
