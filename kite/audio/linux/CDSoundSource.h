// One OpenAL source held for a caller, with its own pitch, gain, pan, looping and switches.
#pragma once
#include <cstdint>

#include "kite/audio/linux/CDAudioInterruptTarget.h"

namespace kite {
namespace audio {

class CDSoundEngine;

class CDSoundSource : public CDAudioInterruptTarget {
public:
    // The engine locks the source out of its rotation; releasing this object unlocks it.
    static CDSoundSource* create(std::uint32_t sourceId, int sourceIndex, CDSoundEngine* engine);
    bool init(std::uint32_t sourceId, int sourceIndex, CDSoundEngine* engine);
    ~CDSoundSource() override;

    float pitch() const;
    void setPitch(float pitch);
    float gain() const;
    void setGain(float gain);
    float pan() const;
    void setPan(float pan);
    bool looping() const;
    void setLooping(bool looping);
    bool isPlaying() const;

    bool play();
    bool stop();
    bool pause();
    bool rewind();

    int soundId() const { return soundId_; }
    // Attaches another buffer of the engine; false when it is not loaded.
    bool setSoundId(int soundId);
    float durationInSeconds() const;

    bool mute() const override { return mute_; }
    void setMute(bool mute) override;
    bool enabled() const override { return enabled_; }
    void setEnabled(bool enabled) override;
    std::uint32_t lastError() const { return lastError_; }
    std::uint32_t sourceId() const { return sourceId_; }

private:
    bool noError();

    std::uint32_t lastError_ = 0;
    std::uint32_t sourceId_ = 0;
    int sourceIndex_ = -1;
    CDSoundEngine* engine_ = nullptr;  // retained
    int soundId_ = -1;
    float preMuteGain_ = 1.0f;
    bool enabled_ = true;
    bool mute_ = false;
};

}  // namespace audio
}  // namespace kite
