#include "kite/audio/linux/CDSoundEngine.h"

#include <algorithm>

#define AL_ALEXT_PROTOTYPES
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include "kite/audio/linux/CDSoundSource.h"
#include "kite/audio/linux/CDUtilities.h"
#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"
#include "kite/foundation/Scheduler.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventDispatcher.h"
#include "platform/OpenALContext.h"
#include "platform/SerialQueue.h"
#include "platform/SoundFile.h"

namespace kite {
namespace audio {

namespace {

float mixerSampleRate = 0.0f;

// The mixer-rate extension of the phone's OpenAL; looked up once, absent here.
using MixerOutputRateProc = ALvoid (*)(const ALdouble value);
MixerOutputRateProc mixerOutputRateProc() {
    static MixerOutputRateProc proc =
        reinterpret_cast<MixerOutputRateProc>(alcGetProcAddress(nullptr, "alcMacOSXMixerOutputRate"));
    return proc;
}

}  // namespace

struct CDSoundEngine::Device {
    ALCdevice* device = nullptr;
    ALCcontext* context = nullptr;
    ~Device() { platform::closeDevice(device, context); }
};

CDSoundEngine* CDSoundEngine::create() { return createAutoreleased<CDSoundEngine>(); }

void CDSoundEngine::setMixerSampleRate(float rate) { mixerSampleRate = rate; }

bool CDSoundEngine::init() {
    buffers_.resize(CD_BUFFERS_START);
    if (!openDevice()) {
        log("CDSoundEngine: no audio device, sound effects stay silent");
        return true;  // the game goes on without sound
    }
    createBuffers(0, CD_BUFFERS_START - 1);
    createSources();
    defineSourceGroups(&sourceTotal_, 1);
    functioning_ = true;
    preMuteGain_ = masterGain();
    mute_ = false;
    enabled_ = true;
    if (sourceTotal_ > 0) {
        alSourcef(sources_[0].sourceId, AL_GAIN, 0.7f);
        ALfloat gain = 0.0f;
        alGetSourcef(sources_[0].sourceId, AL_GAIN, &gain);
        getGainWorks_ = gain == 0.7f;
        alSourcef(sources_[0].sourceId, AL_GAIN, 1.0f);
    }
    return true;
}

bool CDSoundEngine::openDevice() {
    if (MixerOutputRateProc proc = mixerOutputRateProc()) {
        proc(mixerSampleRate > 0.0f ? mixerSampleRate : 44100.0);
    }
    device_ = std::make_unique<Device>();
    device_->device = alcOpenDevice(nullptr);
    if (!device_->device) return false;
    device_->context = platform::createPlaybackContext(device_->device);
    if (!device_->context) return false;
    alcMakeContextCurrent(device_->context);
    return true;
}

CDSoundEngine::~CDSoundEngine() {
    asynchLoadQueue_.reset();  // the loads given to it finish first
    if (!device_) return;
    // A device that would not stop may hold what these calls wait for: it is left as it is.
    if (functioning_ && !platform::audioDevicesStuck()) {
        makeContextCurrent();
        stopAllSounds();
        for (int i = 0; i < sourceTotal_; ++i) {
            alSourcei(sources_[i].sourceId, AL_BUFFER, 0);
            alDeleteSources(1, &sources_[i].sourceId);
        }
        for (BufferInfo& buffer : buffers_) alDeleteBuffers(1, &buffer.bufferId);
        if (ALenum error = alGetError(); error != AL_NO_ERROR) lastErrorCode_ = error;
    }
    device_.reset();
}

void CDSoundEngine::createBuffers(int first, int last) {
    for (int i = first; i <= last; ++i) {
        alGetError();
        alGenBuffers(1, &buffers_[i].bufferId);
        buffers_[i].bufferState = alGetError() == AL_NO_ERROR ? 0 : 2;
    }
}

void CDSoundEngine::createSources() {
    for (int i = 0; i < CD_MAX_SOURCES; ++i) {
        alGetError();
        alGenSources(1, &sources_[i].sourceId);
        if (alGetError() != AL_NO_ERROR) {
            for (int j = i; j < CD_MAX_SOURCES; ++j) sources_[j].usable = false;
            break;
        }
        alSourcei(sources_[i].sourceId, AL_BUFFER, 0);
        sources_[i].usable = true;
        sources_[i].attachedBufferId = 0;
        ++sourceTotal_;
    }
}

// ---- Buffers

bool CDSoundEngine::loadBuffer(int soundId, const std::string& filePath) {
    const std::string path = CDUtilities::fullPathFromRelativePath(filePath);
    return !path.empty() && loadResolvedFile(soundId, path);
}

// Decoding needs no engine state, so the loader thread comes here with a path already resolved.
bool CDSoundEngine::loadResolvedFile(int soundId, const std::string& path) {
    platform::DecodeResult decoded = platform::decodeSoundFile(path);
    if (!decoded.ok) {
        log("CDSoundEngine: %s", decoded.error.c_str());
        loadBufferFromData(soundId, nullptr, 0, 0, 0);  // marks the buffer failed
        return false;
    }
    const platform::PcmSound& sound = decoded.sound;
    const bool stereo = sound.channels == 2;
    const unsigned format = sound.bitsPerSample == 8 ? (stereo ? CD_FORMAT_STEREO8 : CD_FORMAT_MONO8)
                                                     : (stereo ? CD_FORMAT_STEREO16 : CD_FORMAT_MONO16);
    return loadBufferFromData(soundId, sound.data.data(), format, static_cast<int>(sound.data.size()),
                              sound.sampleRate);
}

bool CDSoundEngine::growBuffers(int soundId) {
    if (soundId >= CD_BUFFERS_MAX) {
        log("CDSoundEngine: buffer index %d is beyond the %d buffers an engine keeps", soundId, CD_BUFFERS_MAX);
        return false;
    }
    const int oldTotal = static_cast<int>(buffers_.size());
    const int steps = (soundId - oldTotal) / CD_BUFFERS_INCREMENT + 1;
    buffers_.resize(static_cast<std::size_t>(oldTotal + steps * CD_BUFFERS_INCREMENT));
    createBuffers(oldTotal, static_cast<int>(buffers_.size()) - 1);
    return true;
}

bool CDSoundEngine::loadBufferFromData(int soundId, const void* data, unsigned format, int size, int freq) {
    std::lock_guard<std::mutex> lock(mutexBufferLoad_);
    if (!functioning_ || soundId < 0) return false;
    if (soundId >= static_cast<int>(buffers_.size()) && !growBuffers(soundId)) return false;
    if (!data || size <= 0 || freq <= 0) {
        buffers_[soundId].bufferState = 2;
        return false;
    }
    if (buffers_[soundId].bufferState != 0 && !unloadBufferLocked(soundId)) return false;
    BufferInfo& buffer = buffers_[soundId];
    alGetError();
    alBufferData(buffer.bufferId, static_cast<ALenum>(format), data, size, freq);
    if (ALenum error = alGetError(); error != AL_NO_ERROR) {
        lastErrorCode_ = static_cast<std::uint32_t>(error);
        buffer.bufferState = 2;
        return false;
    }
    buffer.format = format;
    buffer.sizeInBytes = size;
    buffer.frequencyInHertz = freq;
    buffer.bufferState = 1;
    return true;
}

bool CDSoundEngine::unloadBuffer(int soundId) {
    std::lock_guard<std::mutex> lock(mutexBufferLoad_);
    return unloadBufferLocked(soundId);
}

bool CDSoundEngine::unloadBufferLocked(int soundId) {
    if (!functioning_ || soundId < 0 || soundId >= static_cast<int>(buffers_.size())) return false;
    BufferInfo& buffer = buffers_[soundId];
    alGetError();
    for (int i = 0; i < sourceTotal_; ++i) {
        if (sources_[i].attachedBufferId != buffer.bufferId) continue;
        alSourceStop(sources_[i].sourceId);
        alSourcei(sources_[i].sourceId, AL_BUFFER, 0);
        if (alGetError() == AL_NO_ERROR) sources_[i].attachedBufferId = 0;
    }
    // A fresh buffer name in place of the old one, so no source can still point at it.
    alDeleteBuffers(1, &buffer.bufferId);
    alGenBuffers(1, &buffer.bufferId);
    if (ALenum error = alGetError(); error != AL_NO_ERROR) {
        lastErrorCode_ = static_cast<std::uint32_t>(error);
        buffer.bufferState = 2;
        return false;
    }
    buffer = BufferInfo{buffer.bufferId, 0, 0, 0, 0};
    return true;
}

namespace {

class LoaderJob : public platform::SerialQueue::Job {
public:
    explicit LoaderJob(std::unique_ptr<CDAsynchBufferLoader> loader) : loader_(std::move(loader)) {}
    void run() override { loader_->main(); }

private:
    std::unique_ptr<CDAsynchBufferLoader> loader_;
};

}  // namespace

CDAsynchBufferLoader::CDAsynchBufferLoader(std::vector<CDBufferLoadRequest> requests, CDSoundEngine* engine)
    : requests_(std::move(requests)), engine_(engine) {}

void CDAsynchBufferLoader::main() {
    engine_->setAsynchLoadProgress(0.0f);
    const float step = requests_.empty() ? 0.0f : 1.0f / static_cast<float>(requests_.size());
    for (const CDBufferLoadRequest& request : requests_) {
        if (!request.filePath.empty()) engine_->loadResolvedFile(request.soundId, request.filePath);
        engine_->setAsynchLoadProgress(engine_->asynchLoadProgress() + step);
    }
    engine_->setAsynchLoadProgress(1.0f);
    // Neither the engine nor this loader may be there any more when the main thread gets to it.
    engine_->asynchLoadScheduler_->performFunctionInMainThread([completion = std::move(completion_)] {
        if (completion) completion();
        Director::getInstance()->getEventDispatcher()->dispatchCustomEvent("kCDN_AsynchLoadComplete");
    });
}

void CDSoundEngine::loadBuffersAsynchronously(std::vector<CDBufferLoadRequest> requests,
                                              std::function<void()> completion) {
    asynchLoadProgress_ = 0.0f;
    // File lookup belongs to the main thread.
    for (CDBufferLoadRequest& request : requests) {
        request.filePath = CDUtilities::fullPathFromRelativePath(request.filePath);
    }
    if (!asynchLoadScheduler_) asynchLoadScheduler_ = Director::getInstance()->getScheduler();
    if (!asynchLoadQueue_) asynchLoadQueue_ = std::make_unique<platform::SerialQueue>("CDAsynchLoader");
    auto loader = std::make_unique<CDAsynchBufferLoader>(std::move(requests), this);
    loader->setCompletion(std::move(completion));
    if (!asynchLoadQueue_->running()) {
        // Without the loader's thread the sounds load here: the game waits for them, and still has them.
        log("CDSoundEngine: cannot start the loading thread (%s); sounds load on the main thread",
            asynchLoadQueue_->startError().c_str());
        asynchLoadQueue_.reset();
        loader->main();
        return;
    }
    asynchLoadQueue_->post(std::make_unique<LoaderJob>(std::move(loader)));
}

ALCcontext* CDSoundEngine::openALContext() const { return device_ ? device_->context : nullptr; }

bool CDSoundEngine::validateBufferId(int soundId) const {
    std::lock_guard<std::mutex> lock(mutexBufferLoad_);
    return soundId >= 0 && soundId < static_cast<int>(buffers_.size()) && buffers_[soundId].bufferState == 1;
}

int CDSoundEngine::bufferTotal() const {
    std::lock_guard<std::mutex> lock(mutexBufferLoad_);
    return static_cast<int>(buffers_.size());
}

float CDSoundEngine::bufferDurationInSeconds(int soundId) const {
    if (!validateBufferId(soundId)) return -1.0f;
    std::lock_guard<std::mutex> lock(mutexBufferLoad_);
    const BufferInfo& buffer = buffers_[soundId];
    float factor = 0.0f;
    switch (buffer.format) {
        case CD_FORMAT_MONO8: factor = 1.0f; break;
        case CD_FORMAT_MONO16:
        case CD_FORMAT_STEREO8: factor = 0.5f; break;
        case CD_FORMAT_STEREO16: factor = 0.25f; break;
        default: break;
    }
    return static_cast<float>(buffer.sizeInBytes) / static_cast<float>(buffer.frequencyInHertz) * factor;
}

int CDSoundEngine::bufferSizeInBytes(int soundId) const {
    if (!validateBufferId(soundId)) return CD_INVALID_SIZE;
    std::lock_guard<std::mutex> lock(mutexBufferLoad_);
    return buffers_[soundId].sizeInBytes;
}

int CDSoundEngine::bufferFrequencyInHertz(int soundId) const {
    if (!validateBufferId(soundId)) return CD_INVALID_SIZE;
    std::lock_guard<std::mutex> lock(mutexBufferLoad_);
    return buffers_[soundId].frequencyInHertz;
}

// ---- Master gain, switches, context

float CDSoundEngine::masterGain() const {
    if (mute_) return preMuteGain_;
    ALfloat gain = 1.0f;
    alGetListenerf(AL_GAIN, &gain);
    return gain;
}

void CDSoundEngine::setMasterGain(float gain) {
    if (mute_) {
        preMuteGain_ = gain;
    } else {
        alListenerf(AL_GAIN, gain);
    }
}

void CDSoundEngine::setMute(bool mute) {
    if (mute == mute_) return;
    if (mute) {
        preMuteGain_ = masterGain();
        mute_ = true;
        alListenerf(AL_GAIN, 0.0f);
    } else {
        mute_ = false;
        setMasterGain(preMuteGain_);
    }
}

void CDSoundEngine::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (!enabled) stopAllSounds();
}

bool CDSoundEngine::isAnyContextCurrent() { return alcGetCurrentContext() != nullptr; }

void CDSoundEngine::makeContextCurrent() {
    if (device_ && device_->context) alcMakeContextCurrent(device_->context);
}

void CDSoundEngine::clearCurrentContext() { alcMakeContextCurrent(nullptr); }

void CDSoundEngine::suspendOutput() {
    if (device_) platform::pauseDevice(device_->device);
}

void CDSoundEngine::resumeOutput() {
    if (device_) platform::resumeDevice(device_->device);
}

void CDSoundEngine::reportBadContextIfNoneCurrent() {
    if (isAnyContextCurrent()) return;
    log("kCDN_BadAlContext");
    if (badContextHandler_) badContextHandler_();
}

}  // namespace audio
}  // namespace kite
