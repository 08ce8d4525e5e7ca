// The audio service mapped onto the audio manager, its sound engine and a buffer
// manager: music on the manager's background channel, effects in source group 0.
#pragma once
#include <cstdint>
#include <string>

#include "kite/foundation/Ref.h"

namespace kite {
namespace audio {

class CDAudioManager;
class CDBufferManager;
class CDSoundEngine;
class CDSoundSource;

class SimpleAudioEngine : public Ref {
public:
    // Made on first use, with the shared audio manager.
    static SimpleAudioEngine* sharedEngine();
    // Ends the manager and lets the engine go; the next sharedEngine starts afresh.
    static void end();

    bool init();
    ~SimpleAudioEngine() override;

    void preloadBackgroundMusic(const std::string& filePath);
    void playBackgroundMusic(const std::string& filePath, bool loop = true);
    void stopBackgroundMusic();
    void pauseBackgroundMusic();
    void resumeBackgroundMusic();
    void rewindBackgroundMusic();
    bool isBackgroundMusicPlaying() const;
    bool willPlayBackgroundMusic() const;

    // The source name that plays the effect, or CD_NO_SOUND / CD_NO_SOURCE.
    std::uint32_t playEffect(const std::string& filePath, bool loop = false, float pitch = 1.0f, float pan = 0.0f,
                             float gain = 1.0f);
    void stopEffect(std::uint32_t soundId);
    void pauseEffect(std::uint32_t soundId);
    void resumeEffect(std::uint32_t soundId);
    void stopAllEffects();
    void pauseAllEffects();
    void resumeAllEffects();
    void preloadEffect(const std::string& filePath);
    void unloadEffect(const std::string& filePath);
    // A source held for the caller with the file's sound attached; null when none.
    CDSoundSource* soundSourceForFile(const std::string& filePath);

    bool mute() const { return mute_; }
    void setMute(bool mute);
    bool enabled() const { return enabled_; }
    void setEnabled(bool enabled);
    float backgroundMusicVolume() const;
    void setBackgroundMusicVolume(float volume);
    float effectsVolume() const;
    void setEffectsVolume(float volume);

    CDAudioManager* audioManager() const { return audioManager_; }
    CDSoundEngine* soundEngine() const { return soundEngine_; }
    CDBufferManager* bufferManager() const { return bufferManager_; }

private:
    CDAudioManager* audioManager_ = nullptr;    // retained
    CDSoundEngine* soundEngine_ = nullptr;      // retained
    CDBufferManager* bufferManager_ = nullptr;  // retained
    bool mute_ = false;
    bool enabled_ = true;
};

}  // namespace audio
}  // namespace kite
