#include "kite/audio/linux/CDSoundSource.h"

#include <AL/al.h>

#include "kite/audio/linux/CDSoundEngine.h"
#include "kite/foundation/Create.h"

namespace kite {
namespace audio {

CDSoundSource* CDSoundSource::create(std::uint32_t sourceId, int sourceIndex, CDSoundEngine* engine) {
    return createAutoreleased<CDSoundSource>(sourceId, sourceIndex, engine);
}

bool CDSoundSource::init(std::uint32_t sourceId, int sourceIndex, CDSoundEngine* engine) {
    if (!engine) return false;
    sourceId_ = sourceId;
    sourceIndex_ = sourceIndex;
    assignRetained(engine_, engine);
    return true;
}

CDSoundSource::~CDSoundSource() {
    if (engine_) engine_->lockSource(sourceIndex_, false);
    releaseAndClear(engine_);
}

// Records OpenAL's error of the last call; true when there was none.
bool CDSoundSource::noError() {
    lastError_ = static_cast<std::uint32_t>(alGetError());
    return lastError_ == AL_NO_ERROR;
}

float CDSoundSource::pitch() const {
    ALfloat value = 1.0f;
    alGetSourcef(sourceId_, AL_PITCH, &value);
    return value;
}

void CDSoundSource::setPitch(float pitch) {
    alSourcef(sourceId_, AL_PITCH, pitch);
    noError();
}

float CDSoundSource::gain() const {
    if (mute_) return preMuteGain_;
    ALfloat value = 1.0f;
    alGetSourcef(sourceId_, AL_GAIN, &value);
    return value;
}

void CDSoundSource::setGain(float gain) {
    if (mute_) {
        preMuteGain_ = gain;
        return;
    }
    alSourcef(sourceId_, AL_GAIN, gain);
    noError();
}

float CDSoundSource::pan() const {
    ALfloat x = 0.0f, y = 0.0f, z = 0.0f;
    alGetSource3f(sourceId_, AL_POSITION, &x, &y, &z);
    return x;
}

void CDSoundSource::setPan(float pan) {
    alSource3f(sourceId_, AL_POSITION, pan, 0.0f, 0.0f);
    noError();
}

bool CDSoundSource::looping() const {
    ALint value = AL_FALSE;
    alGetSourcei(sourceId_, AL_LOOPING, &value);
    return value == AL_TRUE;
}

void CDSoundSource::setLooping(bool looping) {
    alSourcei(sourceId_, AL_LOOPING, looping ? AL_TRUE : AL_FALSE);
    noError();
}

bool CDSoundSource::isPlaying() const {
    ALint state = AL_INITIAL;
    alGetSourcei(sourceId_, AL_SOURCE_STATE, &state);
    return state == AL_PLAYING;
}

bool CDSoundSource::play() {
    if (!enabled_) return false;
    alGetError();
    alSourcePlay(sourceId_);
    if (noError()) return true;
    engine_->reportBadContextIfNoneCurrent();
    return false;
}

bool CDSoundSource::stop() {
    alGetError();
    alSourceStop(sourceId_);
    return noError();
}

bool CDSoundSource::pause() {
    alGetError();
    alSourcePause(sourceId_);
    return noError();
}

bool CDSoundSource::rewind() {
    alGetError();
    alSourceRewind(sourceId_);
    return noError();
}

bool CDSoundSource::setSoundId(int soundId) {
    if (!engine_->attachBuffer(sourceIndex_, soundId)) return false;
    soundId_ = soundId;
    return true;
}

float CDSoundSource::durationInSeconds() const { return engine_->bufferDurationInSeconds(soundId_); }

void CDSoundSource::setMute(bool mute) {
    if (mute == mute_) return;
    if (mute) {
        preMuteGain_ = gain();
        setGain(0.0f);
        mute_ = true;
    } else {
        mute_ = false;
        setGain(preMuteGain_);
    }
}

void CDSoundSource::setEnabled(bool enabled) {
    enabled_ = enabled;
    if (!enabled) stop();
}

}  // namespace audio
}  // namespace kite
