// The engine's audio service as the game sees it: background music and sound effects
// addressed by resource file name.
#pragma once
#include <cstdint>
#include <string>

namespace KiteAudio {

class SimpleAudioEngine {
public:
    // The one instance, made on first use; null when it cannot be allocated (the next call tries again).
    static SimpleAudioEngine* getInstance();
    virtual ~SimpleAudioEngine();

    virtual void preloadBackgroundMusic(const char* filePath);
    virtual void playBackgroundMusic(const char* filePath, bool loop = false);
    virtual void stopBackgroundMusic();
    virtual void pauseBackgroundMusic();
    virtual void resumeBackgroundMusic();
    virtual void rewindBackgroundMusic();
    virtual bool willPlayBackgroundMusic();
    virtual bool isBackgroundMusicPlaying();
    virtual float getBackgroundMusicVolume();
    virtual void setBackgroundMusicVolume(float volume);  // clamped to 0..1
    virtual float getEffectsVolume();
    virtual void setEffectsVolume(float volume);  // clamped to 0..1

    // The id of the effect (the source that plays it), or 0xFEEDBAB when the file gave
    // no sound, or 0xFEEDFAC when no source could play it.
    virtual unsigned int playEffect(const char* filePath, bool loop = false, float pitch = 1.0f, float pan = 0.0f,
                                    float gain = 1.0f);
    virtual void pauseEffect(unsigned int soundId);
    virtual void pauseAllEffects();
    virtual void resumeEffect(unsigned int soundId);
    virtual void resumeAllEffects();
    virtual void stopEffect(unsigned int soundId);
    virtual void stopAllEffects();
    virtual void preloadEffect(const char* filePath);
    virtual void unloadEffect(const char* filePath);

protected:
    SimpleAudioEngine() = default;
};

}  // namespace KiteAudio
