// One long sound (music) played by a streaming player, with volume, loops and switches.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "kite/audio/linux/CDAudioInterruptTarget.h"

namespace platform {
class MusicPlayer;
}

namespace kite {

class Scheduler;

namespace audio {

class CDLongAudioSource;

// Told about a long source's end of play and about a newly loaded file.
class CDLongAudioSourceDelegate {
public:
    virtual ~CDLongAudioSourceDelegate() = default;
    virtual void cdAudioSourceDidFinishPlaying(CDLongAudioSource* /*source*/) {}
    virtual void cdAudioSourceFileDidChange(CDLongAudioSource* /*source*/) {}
};

class CDLongAudioSource : public CDAudioInterruptTarget {
public:
    static CDLongAudioSource* create();
    bool init() { return true; }
    ~CDLongAudioSource() override;

    // The same file again is not reopened: it starts over from the beginning.
    void load(const std::string& filePath);
    void play();
    void stop();
    void pause();
    void rewind();
    // Back to the start and not playing, with nothing paused or stopped to resume.
    void rewindWithoutPlaying();
    void resume();
    bool isPlaying() const;

    float volume() const { return volume_; }
    void setVolume(float volume);
    bool mute() const override { return mute_; }
    void setMute(bool mute) override;
    bool enabled() const override { return enabled_; }
    void setEnabled(bool enabled) override;
    std::int64_t numberOfLoops() const { return numberOfLoops_; }
    void setNumberOfLoops(std::int64_t loops);  // -1 loops for ever
    bool paused() const { return paused_; }
    bool backgroundMusic() const { return backgroundMusic_; }
    void setBackgroundMusic(bool backgroundMusic) { backgroundMusic_ = backgroundMusic; }
    CDLongAudioSourceDelegate* delegate() const { return delegate_; }
    void setDelegate(CDLongAudioSourceDelegate* delegate) { delegate_ = delegate; }
    const std::string& audioSourceFilePath() const { return audioSourceFilePath_; }
    // Null while no file could be opened.
    platform::MusicPlayer* audioSourcePlayer() const { return audioSourcePlayer_.get(); }
    int state() const { return state_; }

    // Recorded when the application resigns; see the audio manager.
    bool systemPaused = false;
    double systemPauseLocation = 0.0;

    // The player's own calls: its end of play, and an interruption of the session.
    void audioPlayerDidFinishPlaying(bool successfully);
    void audioPlayerBeginInterruption();
    void audioPlayerEndInterruption();
    // The session's interruption as it reaches the player: it stops sounding while
    // interrupted, and only a player that was playing hears of the end.
    void interruptPlayer();
    void endPlayerInterruption();

private:
    // Where the player's end is posted; held so that it outlives the player.
    RefPtr<Scheduler> scheduler_;
    std::unique_ptr<platform::MusicPlayer> audioSourcePlayer_;
    std::string audioSourceFilePath_;
    std::int64_t numberOfLoops_ = 0;
    float volume_ = 1.0f;
    CDLongAudioSourceDelegate* delegate_ = nullptr;
    bool mute_ = false;
    bool enabled_ = true;
    bool backgroundMusic_ = false;
    bool paused_ = false;
    bool stopped_ = false;
    bool interruptedWhilePlaying_ = false;
    int state_ = 0;  // 0 nothing loaded, 1 loaded
};

}  // namespace audio
}  // namespace kite
