#include "kite/audio/linux/CDPropertyModifier.h"

#include <algorithm>
#include <cmath>

#include "kite/audio/linux/CDLongAudioSource.h"
#include "kite/audio/linux/CDSoundEngine.h"
#include "kite/audio/linux/CDSoundSource.h"
#include "kite/foundation/Create.h"

namespace kite {
namespace audio {

CDFloatInterpolator* CDFloatInterpolator::create(int type, float startVal, float endVal) {
    return createAutoreleased<CDFloatInterpolator>(type, startVal, endVal);
}

bool CDFloatInterpolator::init(int type, float startVal, float endVal) {
    interpolationType_ = type;
    start_ = startVal;
    end_ = endVal;
    return true;
}

float CDFloatInterpolator::interpolate(float t) const {
    if (t >= 1.0f) return end_;
    const float delta = end_ - start_;
    switch (interpolationType_) {
        case kIT_Linear: return start_ + delta * t;
        case kIT_SCurve: {
            const double td = t;
            return static_cast<float>(start_ + td * td * (3.0 - 2.0 * td) * delta);
        }
        case kIT_Exponential:
            if (end_ > start_) {
                const float rise = t == 0.0f ? 0.0f : std::pow(2.0f, 10.0f * (t - 1.0f)) - 0.001f;
                return start_ + delta * rise;
            }
            return start_ + delta * (1.0f - std::pow(2.0f, -10.0f * t));
        default: return 0.0f;
    }
}

// ---- The modifier base

bool CDPropertyModifier::init(Ref* target, int interpolationType, float startVal, float endVal) {
    if (!target || !allowsTarget(target)) return false;
    assignRetained(target_, target);
    startValue_ = startVal;
    endValue_ = endVal;
    CDFloatInterpolator* interpolator = CDFloatInterpolator::create(interpolationType, startVal, endVal);
    if (!interpolator) return false;
    assignRetained(interpolator_, interpolator);
    return true;
}

CDPropertyModifier::~CDPropertyModifier() {
    releaseAndClear(interpolator_);
    releaseAndClear(target_);
}

void CDPropertyModifier::modify(float t) {
    if (t < 1.0f) {
        setTargetProperty(interpolator_->interpolate(t));
        return;
    }
    setTargetProperty(endValue_);
    if (stopTargetWhenComplete_) stopTarget();
}

void CDPropertyModifier::setStartValue(float value) {
    startValue_ = value;
    interpolator_->setStart(value);
}

void CDPropertyModifier::setEndValue(float value) {
    endValue_ = value;
    interpolator_->setEnd(value);
}

// ---- The modifiers

namespace {

template <class Modifier, class Target>
Modifier* createModifier(Target* target, int type, float startVal, float endVal) {
    return createAutoreleased<Modifier>(static_cast<Ref*>(target), type, startVal, endVal);
}

}  // namespace

CDSoundSourceFader* CDSoundSourceFader::create(CDSoundSource* source, int type, float startVal, float endVal) {
    return createModifier<CDSoundSourceFader>(source, type, startVal, endVal);
}
void CDSoundSourceFader::setTargetProperty(float value) { typedTarget()->setGain(value); }
float CDSoundSourceFader::getTargetProperty() const { return typedTarget()->gain(); }
void CDSoundSourceFader::stopTarget() { typedTarget()->stop(); }

CDSoundSourcePanner* CDSoundSourcePanner::create(CDSoundSource* source, int type, float startVal, float endVal) {
    return createModifier<CDSoundSourcePanner>(source, type, startVal, endVal);
}
void CDSoundSourcePanner::setTargetProperty(float value) { typedTarget()->setPan(value); }
float CDSoundSourcePanner::getTargetProperty() const { return typedTarget()->pan(); }
void CDSoundSourcePanner::stopTarget() { typedTarget()->stop(); }

CDSoundSourcePitchBender* CDSoundSourcePitchBender::create(CDSoundSource* source, int type, float startVal,
                                                           float endVal) {
    return createModifier<CDSoundSourcePitchBender>(source, type, startVal, endVal);
}
void CDSoundSourcePitchBender::setTargetProperty(float value) { typedTarget()->setPitch(value); }
float CDSoundSourcePitchBender::getTargetProperty() const { return typedTarget()->pitch(); }
void CDSoundSourcePitchBender::stopTarget() { typedTarget()->stop(); }

CDSoundEngineFader* CDSoundEngineFader::create(CDSoundEngine* engine, int type, float startVal, float endVal) {
    return createModifier<CDSoundEngineFader>(engine, type, startVal, endVal);
}
void CDSoundEngineFader::setTargetProperty(float value) { typedTarget()->setMasterGain(value); }
float CDSoundEngineFader::getTargetProperty() const { return typedTarget()->masterGain(); }
void CDSoundEngineFader::stopTarget() { typedTarget()->stopAllSounds(); }

CDLongAudioSourceFader* CDLongAudioSourceFader::create(CDLongAudioSource* source, int type, float startVal,
                                                       float endVal) {
    return createModifier<CDLongAudioSourceFader>(source, type, startVal, endVal);
}
void CDLongAudioSourceFader::setTargetProperty(float value) { typedTarget()->setVolume(value); }
float CDLongAudioSourceFader::getTargetProperty() const { return typedTarget()->volume(); }
void CDLongAudioSourceFader::stopTarget() { typedTarget()->pause(); }

// ---- The group

CDAudioInterruptTargetGroup* CDAudioInterruptTargetGroup::create() {
    return createAutoreleased<CDAudioInterruptTargetGroup>();
}

bool CDAudioInterruptTargetGroup::init() {
    children_.reserve(32);
    return true;
}

CDAudioInterruptTargetGroup::~CDAudioInterruptTargetGroup() {
    for (CDAudioInterruptTarget* child : children_) child->release();
}

void CDAudioInterruptTargetGroup::addAudioInterruptTarget(CDAudioInterruptTarget* target) {
    if (!target) return;
    target->setMute(mute_);
    target->setEnabled(enabled_);
    target->retain();
    children_.push_back(target);
}

void CDAudioInterruptTargetGroup::removeAudioInterruptTarget(CDAudioInterruptTarget* target) {
    const auto found = std::find(children_.begin(), children_.end(), target);
    if (found == children_.end()) return;
    children_.erase(found);
    target->release();
}

// The group's own switches follow, so that members added later get them and the
// opposite switch reaches the members again.
void CDAudioInterruptTargetGroup::setMute(bool mute) {
    if (mute == mute_) return;
    mute_ = mute;
    for (CDAudioInterruptTarget* child : children_) child->setMute(mute);
}

void CDAudioInterruptTargetGroup::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    for (CDAudioInterruptTarget* child : children_) child->setEnabled(enabled);
}

}  // namespace audio
}  // namespace kite
