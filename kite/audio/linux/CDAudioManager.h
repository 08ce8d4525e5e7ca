// The process-wide owner of audio: the session's category by mode, the sound engine, two
// long-audio channels (the first plays the background music), interruptions and switches.
#pragma once
#include <cstdint>
#include <functional>

#include "kite/audio/linux/CDLongAudioSource.h"

namespace kite {

class EventListenerCustom;

namespace audio {

class CDSoundEngine;

// The operation of an asynchronous start: its main makes the shared manager. It is queued on the
// main thread, since the manager's start registers listeners with, and tells, the engine's event
// dispatcher, which belongs there.
class CDAsynchInitialiser {
public:
    void main();
};

class CDAudioManager : public CDAudioInterruptTarget, public CDLongAudioSourceDelegate {
public:
    // Modes: what the game plays and in which session category.
    static constexpr int kModeFxOnly = 0;
    static constexpr int kModeFxPlusMusic = 1;
    static constexpr int kModeFxPlusMusicIfNoOtherAudio = 2;
    static constexpr int kModeMediaPlayback = 3;
    static constexpr int kModePlayAndRecord = 4;
    // What resigning the application does to the channels.
    static constexpr int kResignBehaviorDoNothing = 0;
    static constexpr int kResignBehaviorStopAndResume = 1;
    static constexpr int kResignBehaviorStop = 2;
    // The shared manager's state.
    static constexpr int kStateNotStarted = 0;
    static constexpr int kStateStarting = 1;
    static constexpr int kStateReady = 2;
    static constexpr int kChannelCount = 2;

    // The manager, made on first use in the configured mode (mode 2 when none was configured).
    static CDAudioManager* sharedManager();
    // The manager when it exists; never makes one.
    static CDAudioManager* sharedManagerIfMade();
    static int sharedManagerState();
    static void configure(int mode);
    // Once, from the state "not started": the mode is configured and a CDAsynchInitialiser makes the
    // manager at the main thread's next scheduler pass instead of now.
    static void initAsynchronously(int mode);
    static void end();

    bool init(int mode);
    ~CDAudioManager() override;

    void setMode(int mode);
    void audioSessionSetCategory(int category);
    bool audioSessionSetActive(bool active);
    bool isOtherAudioPlaying() const;
    bool isDeviceMuted() const;

    CDLongAudioSource* audioSourceForChannel(int channel) const;
    CDLongAudioSource* audioSourceLoad(const std::string& filePath, int channel);
    void preloadBackgroundMusic(const std::string& filePath);
    void playBackgroundMusic(const std::string& filePath, bool loop);
    void stopBackgroundMusic();
    void pauseBackgroundMusic();
    void resumeBackgroundMusic();
    void rewindBackgroundMusic();
    bool isBackgroundMusicPlaying() const;
    bool willPlayBackgroundMusic() const { return willPlayBackgroundMusic_; }
    // Called on the main thread when the background music has played to its end.
    void setBackgroundMusicCompletionListener(std::function<void()> listener);

    bool mute() const override { return mute_; }
    void setMute(bool mute) override;
    bool enabled() const override { return enabled_; }
    void setEnabled(bool enabled) override;
    CDSoundEngine* soundEngine() const { return soundEngine_; }
    CDLongAudioSource* backgroundMusic() const { return backgroundMusic_; }

    void setResignBehavior(int behavior, bool autoHandle);
    bool isObservingAppEvents() const { return isObservingAppEvents_; }
    void applicationWillResignActive();
    void applicationDidBecomeActive();
    void applicationWillTerminate();
    void badAlContextHandler();
    // The audio session's delegate calls.
    void beginInterruption();
    void endInterruption();
    bool isInterrupted() const { return interrupted_; }

    void cdAudioSourceDidFinishPlaying(CDLongAudioSource* source) override;

    // The session category of each mode (platform::AudioSession::Category as an int).
    int audioSessionCategory() const { return audioSessionCategory_; }

private:
    void audioSessionInterrupted();
    void audioSessionResumed();
    bool musicAllowed() const { return willPlayBackgroundMusic_ && !mute_; }
    void loadBackgroundMusic(const std::string& filePath);
    void removeObservers();

    CDSoundEngine* soundEngine_ = nullptr;                        // retained
    CDLongAudioSource* backgroundMusic_ = nullptr;                // channel 0
    CDLongAudioSource* audioSourceChannels_[kChannelCount] = {};  // retained
    int audioSessionCategory_ = 0;
    int mode_ = kModeFxPlusMusicIfNoOtherAudio;
    std::function<void()> backgroundMusicCompletionListener_;
    bool willPlayBackgroundMusic_ = false;
    bool mute_ = false;
    bool resigned_ = false;
    bool interrupted_ = false;
    bool audioSessionActive_ = false;
    bool enabled_ = true;
    bool isObservingAppEvents_ = false;
    int resignBehavior_ = kResignBehaviorDoNothing;
    EventListenerCustom* badContextListener_ = nullptr;  // retained
    std::uint64_t appObservers_[3] = {};                  // the application's resign, become-active and end notices
};

}  // namespace audio
}  // namespace kite
