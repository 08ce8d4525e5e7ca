#include "kite/audio/SimpleAudioEngine.h"

#include <algorithm>
#include <memory>
#include <new>

#include "kite/audio/linux/CDSoundEngine.h"
#include "kite/audio/linux/SimpleAudioEngine.h"
#include "kite/foundation/FileUtils.h"

namespace KiteAudio {

namespace {

using Engine = kite::audio::SimpleAudioEngine;

// A file not found among the resources keeps the name it was given, so the line saying it cannot be
// read names it.
std::string fullPath(const char* filePath) {
    if (!filePath) return std::string();
    kite::FileUtils* files = kite::FileUtils::getInstance();
    const std::string found = files ? files->fullPathForFilename(filePath) : std::string();
    return found.empty() ? std::string(filePath) : found;
}

// The platform side, or null when it could not be made; each call asks again.
Engine* shared() { return Engine::sharedEngine(); }

}  // namespace

SimpleAudioEngine* SimpleAudioEngine::getInstance() {
    // Never destroyed: the game may play to its last frame.
    static SimpleAudioEngine* instance = nullptr;
    if (!instance) instance = new (std::nothrow) SimpleAudioEngine();
    return instance;
}

SimpleAudioEngine::~SimpleAudioEngine() = default;

void SimpleAudioEngine::preloadBackgroundMusic(const char* filePath) {
    if (Engine* engine = shared()) engine->preloadBackgroundMusic(fullPath(filePath));
}

void SimpleAudioEngine::playBackgroundMusic(const char* filePath, bool loop) {
    if (Engine* engine = shared()) engine->playBackgroundMusic(fullPath(filePath), loop);
}

void SimpleAudioEngine::stopBackgroundMusic() {
    if (Engine* engine = shared()) engine->stopBackgroundMusic();
}

void SimpleAudioEngine::pauseBackgroundMusic() {
    if (Engine* engine = shared()) engine->pauseBackgroundMusic();
}

void SimpleAudioEngine::resumeBackgroundMusic() {
    if (Engine* engine = shared()) engine->resumeBackgroundMusic();
}

void SimpleAudioEngine::rewindBackgroundMusic() {
    if (Engine* engine = shared()) engine->rewindBackgroundMusic();
}

bool SimpleAudioEngine::willPlayBackgroundMusic() {
    Engine* engine = shared();
    return engine && engine->willPlayBackgroundMusic();
}

bool SimpleAudioEngine::isBackgroundMusicPlaying() {
    Engine* engine = shared();
    return engine && engine->isBackgroundMusicPlaying();
}

float SimpleAudioEngine::getBackgroundMusicVolume() {
    Engine* engine = shared();
    return engine ? engine->backgroundMusicVolume() : 0.0f;
}

void SimpleAudioEngine::setBackgroundMusicVolume(float volume) {
    if (Engine* engine = shared()) engine->setBackgroundMusicVolume(std::clamp(volume, 0.0f, 1.0f));
}

float SimpleAudioEngine::getEffectsVolume() {
    Engine* engine = shared();
    return engine ? engine->effectsVolume() : 0.0f;
}

void SimpleAudioEngine::setEffectsVolume(float volume) {
    if (Engine* engine = shared()) engine->setEffectsVolume(std::clamp(volume, 0.0f, 1.0f));
}

unsigned int SimpleAudioEngine::playEffect(const char* filePath, bool loop, float pitch, float pan, float gain) {
    Engine* engine = shared();
    return engine ? engine->playEffect(fullPath(filePath), loop, pitch, pan, gain) : kite::audio::CD_NO_SOUND;
}

void SimpleAudioEngine::pauseEffect(unsigned int soundId) {
    if (Engine* engine = shared()) engine->pauseEffect(soundId);
}

void SimpleAudioEngine::pauseAllEffects() {
    if (Engine* engine = shared()) engine->pauseAllEffects();
}

void SimpleAudioEngine::resumeEffect(unsigned int soundId) {
    if (Engine* engine = shared()) engine->resumeEffect(soundId);
}

void SimpleAudioEngine::resumeAllEffects() {
    if (Engine* engine = shared()) engine->resumeAllEffects();
}

void SimpleAudioEngine::stopEffect(unsigned int soundId) {
    if (Engine* engine = shared()) engine->stopEffect(soundId);
}

void SimpleAudioEngine::stopAllEffects() {
    if (Engine* engine = shared()) engine->stopAllEffects();
}

void SimpleAudioEngine::preloadEffect(const char* filePath) {
    if (Engine* engine = shared()) engine->preloadEffect(fullPath(filePath));
}

void SimpleAudioEngine::unloadEffect(const char* filePath) {
    if (Engine* engine = shared()) engine->unloadEffect(fullPath(filePath));
}

}  // namespace KiteAudio
