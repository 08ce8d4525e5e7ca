#include "kite/audio/linux/SimpleAudioEngine.h"

#include <mutex>

#include "kite/audio/linux/CDAudioManager.h"
#include "kite/audio/linux/CDBufferManager.h"
#include "kite/audio/linux/CDSoundEngine.h"
#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"

namespace kite {
namespace audio {

namespace {

std::mutex classLock;
SimpleAudioEngine* sharedInstance = nullptr;

}  // namespace

SimpleAudioEngine* SimpleAudioEngine::sharedEngine() {
    {
        std::lock_guard<std::mutex> lock(classLock);
        if (sharedInstance) return sharedInstance;
    }
    // Made with no lock held: the audio manager it starts tells its listeners, and they may come
    // back here. When one of them made the engine meanwhile, that one stays and this one goes.
    SimpleAudioEngine* made = createAutoreleased<SimpleAudioEngine>();
    std::lock_guard<std::mutex> lock(classLock);
    if (!sharedInstance && made) {
        sharedInstance = made;
        sharedInstance->retain();
    }
    return sharedInstance;
}

void SimpleAudioEngine::end() {
    SimpleAudioEngine* engine = nullptr;
    {
        std::lock_guard<std::mutex> lock(classLock);
        engine = sharedInstance;
        sharedInstance = nullptr;
    }
    if (engine) engine->release();
    CDAudioManager::end();
}

bool SimpleAudioEngine::init() {
    CDAudioManager* manager = CDAudioManager::sharedManager();
    if (!manager) return false;
    assignRetained(audioManager_, manager);
    assignRetained(soundEngine_, manager->soundEngine());
    CDBufferManager* buffers = CDBufferManager::create(soundEngine_);
    if (!buffers) return false;
    assignRetained(bufferManager_, buffers);
    return true;
}

SimpleAudioEngine::~SimpleAudioEngine() {
    releaseAndClear(bufferManager_);
    releaseAndClear(soundEngine_);
    releaseAndClear(audioManager_);
}

void SimpleAudioEngine::preloadBackgroundMusic(const std::string& filePath) {
    audioManager_->preloadBackgroundMusic(filePath);
}

void SimpleAudioEngine::playBackgroundMusic(const std::string& filePath, bool loop) {
    audioManager_->playBackgroundMusic(filePath, loop);
}

void SimpleAudioEngine::stopBackgroundMusic() { audioManager_->stopBackgroundMusic(); }
void SimpleAudioEngine::pauseBackgroundMusic() { audioManager_->pauseBackgroundMusic(); }
void SimpleAudioEngine::resumeBackgroundMusic() { audioManager_->resumeBackgroundMusic(); }
void SimpleAudioEngine::rewindBackgroundMusic() { audioManager_->rewindBackgroundMusic(); }
bool SimpleAudioEngine::isBackgroundMusicPlaying() const { return audioManager_->isBackgroundMusicPlaying(); }
bool SimpleAudioEngine::willPlayBackgroundMusic() const { return audioManager_->willPlayBackgroundMusic(); }

std::uint32_t SimpleAudioEngine::playEffect(const std::string& filePath, bool loop, float pitch, float pan,
                                            float gain) {
    const int soundId = bufferManager_->bufferForFile(filePath, true);
    if (soundId == -1) return CD_NO_SOUND;
    return soundEngine_->playSound(soundId, 0, pitch, pan, gain, loop);
}

void SimpleAudioEngine::stopEffect(std::uint32_t soundId) { soundEngine_->stopSound(soundId); }
void SimpleAudioEngine::pauseEffect(std::uint32_t soundId) { soundEngine_->pauseSound(soundId); }
void SimpleAudioEngine::resumeEffect(std::uint32_t soundId) { soundEngine_->resumeSound(soundId); }
void SimpleAudioEngine::stopAllEffects() { soundEngine_->stopAllSounds(); }
void SimpleAudioEngine::pauseAllEffects() { soundEngine_->pauseAllSounds(); }
void SimpleAudioEngine::resumeAllEffects() { soundEngine_->resumeAllSounds(); }

void SimpleAudioEngine::preloadEffect(const std::string& filePath) { bufferManager_->bufferForFile(filePath, true); }

void SimpleAudioEngine::unloadEffect(const std::string& filePath) { bufferManager_->releaseBufferForFile(filePath); }

CDSoundSource* SimpleAudioEngine::soundSourceForFile(const std::string& filePath) {
    const int soundId = bufferManager_->bufferForFile(filePath, true);
    if (soundId == -1) return nullptr;
    return soundEngine_->soundSourceForSound(soundId, 0);
}

void SimpleAudioEngine::setMute(bool mute) {
    if (mute == mute_) return;
    mute_ = mute;
    audioManager_->setMute(mute);
}

void SimpleAudioEngine::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    audioManager_->setEnabled(enabled);
}

float SimpleAudioEngine::backgroundMusicVolume() const { return audioManager_->backgroundMusic()->volume(); }

void SimpleAudioEngine::setBackgroundMusicVolume(float volume) { audioManager_->backgroundMusic()->setVolume(volume); }

float SimpleAudioEngine::effectsVolume() const { return soundEngine_->masterGain(); }

void SimpleAudioEngine::setEffectsVolume(float volume) { soundEngine_->setMasterGain(volume); }

}  // namespace audio
}  // namespace kite
