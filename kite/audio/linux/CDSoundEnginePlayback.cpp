// The sound engine's sources: groups, the rotation that picks a source, playing and stopping.
#include <algorithm>

#include <AL/al.h>

#include "kite/audio/linux/CDSoundEngine.h"
#include "kite/audio/linux/CDSoundSource.h"
#include "kite/foundation/Log.h"

namespace kite {
namespace audio {

void CDSoundEngine::defineSourceGroups(const int* definitions, int total) {
    if (!sourceGroups_.empty()) stopAllSounds();
    sourceGroups_.clear();
    int offset = 0;
    for (int i = 0; i < total; ++i) {
        const int definition = definitions[i];
        // A group never reaches past the sources that exist.
        const int size = std::clamp(definition, 0, sourceTotal_ - offset);
        if (size != definition) {
            log("CDSoundEngine: source group of %d cut to the %d sources left", definition, size);
        }
        SourceGroup group;
        group.totalSources = size;
        for (int j = 0; j < size; ++j) group.sourceStatuses.push_back((offset + j) << 1);
        sourceGroups_.push_back(std::move(group));
        offset += size;
    }
}

void CDSoundEngine::defineSourceGroups(const ValueVector& definitions) {
    std::vector<int> sizes;
    sizes.reserve(definitions.size());
    for (const Value& definition : definitions) {
        switch (definition.getType()) {
            case Value::Type::BYTE:
            case Value::Type::INTEGER:
            case Value::Type::FLOAT:
            case Value::Type::DOUBLE:
            case Value::Type::BOOLEAN: sizes.push_back(definition.asInt()); break;
            default: sizes.push_back(0); break;
        }
    }
    defineSourceGroups(sizes.data(), static_cast<int>(sizes.size()));
}

void CDSoundEngine::setSourceGroupNonInterruptible(int groupId, bool nonInterruptible) {
    if (validGroup(groupId)) sourceGroups_[groupId].nonInterruptible = nonInterruptible;
}

void CDSoundEngine::setSourceGroupEnabled(int groupId, bool enabled) {
    if (!validGroup(groupId)) return;
    sourceGroups_[groupId].silenced = !enabled;
    if (!enabled) stopSourceGroup(groupId);
}

bool CDSoundEngine::sourceGroupEnabled(int groupId) const {
    return validGroup(groupId) && !sourceGroups_[groupId].silenced;
}

void CDSoundEngine::stopSourceGroup(int groupId) {
    if (!functioning_ || !validGroup(groupId)) return;
    for (int status : sourceGroups_[groupId].sourceStatuses) alSourceStop(sources_[status >> 1].sourceId);
}

bool CDSoundEngine::sourceIsPlaying(std::uint32_t sourceId) const {
    ALint state = AL_INITIAL;
    alGetSourcei(sourceId, AL_SOURCE_STATE, &state);
    return state == AL_PLAYING;
}

std::uint32_t CDSoundEngine::bufferName(int soundId) const {
    std::lock_guard<std::mutex> lock(mutexBufferLoad_);
    return buffers_[soundId].bufferId;
}

void CDSoundEngine::stopAndAttach(std::uint32_t sourceId, std::uint32_t bufferId) {
    if (sourceIsPlaying(sourceId)) alSourceStop(sourceId);
    alSourcei(sourceId, AL_BUFFER, static_cast<ALint>(bufferId));
}

// In rotation from just after the last source taken: the first source not held by
// a CDSoundSource, and in a non-interruptible group only one that is not playing.
int CDSoundEngine::sourceIndexForSourceGroup(int groupId) {
    if (!validGroup(groupId)) return static_cast<int>(CD_NO_SOURCE);
    SourceGroup& group = sourceGroups_[groupId];
    if (group.totalSources == 0) return static_cast<int>(CD_NO_SOURCE);
    group.currentIndex = group.startIndex;
    while (true) {
        const int status = group.sourceStatuses[group.currentIndex];
        if ((status & 1) == 0) {
            const int candidate = status >> 1;
            if (!group.nonInterruptible || !sourceIsPlaying(sources_[candidate].sourceId)) {
                group.startIndex = group.currentIndex + 1;
                if (group.startIndex >= group.totalSources) group.startIndex = 0;
                return candidate;
            }
        }
        if (++group.currentIndex >= group.totalSources) group.currentIndex = 0;
        if (group.currentIndex == group.startIndex) {
            if (group.startIndex >= group.totalSources) group.startIndex = 0;
            return static_cast<int>(CD_NO_SOURCE);
        }
    }
}

std::uint32_t CDSoundEngine::playSound(int soundId, int groupId, float pitch, float pan, float gain, bool loop) {
    if (!enabled_ || !functioning_ || !validateBufferId(soundId)) return CD_NO_SOUND;
    if (!validGroup(groupId)) return CD_NO_SOURCE;
    if (sourceGroups_[groupId].silenced) return CD_NO_SOUND;
    const int sourceIndex = sourceIndexForSourceGroup(groupId);
    if (sourceIndex == static_cast<int>(CD_NO_SOURCE)) return CD_NO_SOURCE;
    const ALuint source = sources_[sourceIndex].sourceId;
    const ALuint buffer = bufferName(soundId);
    alGetError();
    stopAndAttach(source, buffer);
    alSourcef(source, AL_PITCH, pitch);
    alSourcei(source, AL_LOOPING, loop ? AL_TRUE : AL_FALSE);
    alSourcef(source, AL_GAIN, gain);
    alSource3f(source, AL_POSITION, pan, 0.0f, 0.0f);
    alGetError();
    alSourcePlay(source);
    const ALenum error = alGetError();
    lastErrorCode_ = static_cast<std::uint32_t>(error);
    if (error != AL_NO_ERROR) {
        reportBadContextIfNoneCurrent();
        return CD_NO_SOURCE;
    }
    sources_[sourceIndex].attachedBufferId = buffer;
    return source;
}

CDSoundSource* CDSoundEngine::soundSourceForSound(int soundId, int groupId) {
    if (!functioning_ || !validGroup(groupId)) return nullptr;
    const int sourceIndex = sourceIndexForSourceGroup(groupId);
    if (sourceIndex == static_cast<int>(CD_NO_SOURCE)) return nullptr;
    CDSoundSource* source = CDSoundSource::create(sources_[sourceIndex].sourceId, sourceIndex, this);
    if (!source) return nullptr;
    lockSource(sourceIndex, true);
    if (!source->setSoundId(soundId)) return nullptr;  // the autoreleased object unlocks when it goes
    source->setPitch(1.0f);
    source->setPan(0.0f);
    source->setGain(1.0f);
    source->setLooping(false);
    return source;
}

bool CDSoundEngine::attachBuffer(int sourceIndex, int soundId) {
    if (!validateBufferId(soundId) || sourceIndex < 0 || sourceIndex >= sourceTotal_) return false;
    const ALuint buffer = bufferName(soundId);
    alGetError();
    stopAndAttach(sources_[sourceIndex].sourceId, buffer);
    if (alGetError() != AL_NO_ERROR) return false;
    sources_[sourceIndex].attachedBufferId = buffer;
    return true;
}

void CDSoundEngine::lockSource(int sourceIndex, bool locked) {
    for (SourceGroup& group : sourceGroups_) {
        for (int& status : group.sourceStatuses) {
            if ((status >> 1) != sourceIndex) continue;
            status = locked ? (status | 1) : (status & ~1);
            return;
        }
    }
}

std::uint32_t CDSoundEngine::sourceName(int sourceIndex) const {
    return sourceIndex >= 0 && sourceIndex < sourceTotal_ ? sources_[sourceIndex].sourceId : 0;
}

void CDSoundEngine::stopSound(std::uint32_t sourceId) {
    if (functioning_) alSourceStop(sourceId);
}

void CDSoundEngine::pauseSound(std::uint32_t sourceId) {
    if (functioning_) alSourcePause(sourceId);
}

void CDSoundEngine::resumeSound(std::uint32_t sourceId) {
    if (!functioning_) return;
    ALint state = AL_INITIAL;
    alGetSourcei(sourceId, AL_SOURCE_STATE, &state);
    if (state == AL_PAUSED) alSourcePlay(sourceId);
}

void CDSoundEngine::stopAllSounds() {
    for (int i = 0; i < sourceTotal_; ++i) alSourceStop(sources_[i].sourceId);
}

void CDSoundEngine::pauseAllSounds() {
    for (int i = 0; i < sourceTotal_; ++i) pauseSound(sources_[i].sourceId);
}

void CDSoundEngine::resumeAllSounds() {
    for (int i = 0; i < sourceTotal_; ++i) resumeSound(sources_[i].sourceId);
}

}  // namespace audio
}  // namespace kite
