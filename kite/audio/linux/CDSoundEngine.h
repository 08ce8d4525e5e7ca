// The sound engine: short sounds played on OpenAL sources from a table of buffers,
// the sources divided into groups.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <AL/alc.h>

#include "kite/audio/linux/CDAudioInterruptTarget.h"
#include "kite/foundation/Value.h"

namespace platform {
class SerialQueue;
}

namespace kite {

class Scheduler;

namespace audio {

class CDSoundSource;

// What playSound answers instead of a source name when nothing was played.
constexpr std::uint32_t CD_NO_SOUND = 0xFEEDBAB;   // engine, buffer or group not able to play
constexpr std::uint32_t CD_NO_SOURCE = 0xFEEDFAC;  // no free source, or it failed to start
// The size queries' answer for an invalid buffer: every bit set.
constexpr int CD_INVALID_SIZE = -1;

constexpr int CD_MAX_SOURCES = 32;
constexpr int CD_BUFFERS_START = 64;
constexpr int CD_BUFFERS_INCREMENT = 16;
// The table never grows past this: a larger index is a caller's error, not a sound.
constexpr int CD_BUFFERS_MAX = 4096;

// OpenAL formats as stored with a buffer (the values of AL_FORMAT_*).
constexpr unsigned CD_FORMAT_MONO8 = 0x1100;
constexpr unsigned CD_FORMAT_MONO16 = 0x1101;
constexpr unsigned CD_FORMAT_STEREO8 = 0x1102;
constexpr unsigned CD_FORMAT_STEREO16 = 0x1103;

struct CDBufferLoadRequest {
    int soundId = 0;
    std::string filePath;
};

class CDSoundEngine;

// Loads a batch of requests into the engine's buffers, in order, off the main thread; the
// progress moves by one request's share after each.
class CDAsynchBufferLoader {
public:
    CDAsynchBufferLoader(std::vector<CDBufferLoadRequest> requests, CDSoundEngine* engine);
    // Loads them all, sets the progress to 1 and tells the main thread ("kCDN_AsynchLoadComplete").
    void main();
    // Runs on the main thread once the batch is in, before the notification.
    void setCompletion(std::function<void()> completion) { completion_ = std::move(completion); }

private:
    std::vector<CDBufferLoadRequest> requests_;
    CDSoundEngine* engine_;  // outlives the loader: the engine waits for its loads when it goes
    std::function<void()> completion_;
};

class CDSoundEngine : public CDAudioInterruptTarget {
public:
    static CDSoundEngine* create();
    // The output mixer rate; takes effect for engines made afterwards.
    static void setMixerSampleRate(float rate);

    bool init();
    ~CDSoundEngine() override;

    // Buffers.
    bool loadBuffer(int soundId, const std::string& filePath);
    bool loadBufferFromData(int soundId, const void* data, unsigned format, int size, int freq);
    bool unloadBuffer(int soundId);
    // Loads on the engine's loading thread and returns at once; a batch given while another loads
    // waits behind it there. When a batch is in, the handler (if any) runs on the main thread and
    // the custom event "kCDN_AsynchLoadComplete" is dispatched.
    void loadBuffersAsynchronously(std::vector<CDBufferLoadRequest> requests,
                                   std::function<void()> completion = nullptr);
    bool validateBufferId(int soundId) const;
    float bufferDurationInSeconds(int soundId) const;
    int bufferSizeInBytes(int soundId) const;
    int bufferFrequencyInHertz(int soundId) const;
    int bufferTotal() const;

    // Source groups: how many sources each of `total` groups takes, in order.
    void defineSourceGroups(const int* definitions, int total);
    // The same from a list of values: a member that is not a number counts as 0.
    void defineSourceGroups(const ValueVector& definitions);
    int sourceGroupTotal() const { return static_cast<int>(sourceGroups_.size()); }
    void setSourceGroupNonInterruptible(int groupId, bool nonInterruptible);
    void setSourceGroupEnabled(int groupId, bool enabled);
    bool sourceGroupEnabled(int groupId) const;
    void stopSourceGroup(int groupId);

    // Playing: the OpenAL source name, or CD_NO_SOUND / CD_NO_SOURCE.
    std::uint32_t playSound(int soundId, int groupId, float pitch, float pan, float gain, bool loop);
    // A source held for the caller, out of the group's rotation while it lives; null when none.
    CDSoundSource* soundSourceForSound(int soundId, int groupId);
    void stopSound(std::uint32_t sourceId);
    void pauseSound(std::uint32_t sourceId);
    void resumeSound(std::uint32_t sourceId);
    void stopAllSounds();
    void pauseAllSounds();
    void resumeAllSounds();

    float masterGain() const;
    void setMasterGain(float gain);
    bool mute() const override { return mute_; }
    void setMute(bool mute) override;
    bool enabled() const override { return enabled_; }
    void setEnabled(bool enabled) override;

    // The engine's OpenAL context; null when no device could be opened.
    ALCcontext* openALContext() const;
    std::uint32_t lastErrorCode() const { return lastErrorCode_; }
    bool functioning() const { return functioning_; }
    bool getGainWorks() const { return getGainWorks_; }
    int sourceTotal() const { return sourceTotal_; }
    float asynchLoadProgress() const { return asynchLoadProgress_; }
    void setAsynchLoadProgress(float progress) { asynchLoadProgress_ = progress; }

    // The engine's context: whether one is current, making it current, making none current.
    static bool isAnyContextCurrent();
    void makeContextCurrent();
    static void clearCurrentContext();
    // Stops and restarts the output device (the session's interruptions).
    void suspendOutput();
    void resumeOutput();
    // Told when a play failed because no context was current.
    void setBadContextHandler(std::function<void()> handler) { badContextHandler_ = std::move(handler); }

    // For CDSoundSource: attaching buffers and holding sources.
    bool attachBuffer(int sourceIndex, int soundId);
    void lockSource(int sourceIndex, bool locked);
    std::uint32_t sourceName(int sourceIndex) const;
    void reportBadContextIfNoneCurrent();

private:
    struct SourceInfo {
        bool usable = false;
        std::uint32_t sourceId = 0;
        std::uint32_t attachedBufferId = 0;
    };
    struct BufferInfo {
        std::uint32_t bufferId = 0;
        int bufferState = 0;  // 0 empty, 1 loaded, 2 failed
        unsigned format = 0;
        int sizeInBytes = 0;
        int frequencyInHertz = 0;
    };
    struct SourceGroup {
        int startIndex = 0;
        int currentIndex = 0;
        int totalSources = 0;
        bool silenced = false;
        bool nonInterruptible = false;
        std::vector<int> sourceStatuses;  // source index << 1, bit 0 while held by a CDSoundSource
    };
    struct Device;

    bool openDevice();
    void createBuffers(int first, int last);
    void createSources();
    bool growBuffers(int soundId);
    bool unloadBufferLocked(int soundId);
    bool loadResolvedFile(int soundId, const std::string& path);
    int sourceIndexForSourceGroup(int groupId);
    bool sourceIsPlaying(std::uint32_t sourceId) const;
    std::uint32_t bufferName(int soundId) const;  // of a valid index
    void stopAndAttach(std::uint32_t sourceId, std::uint32_t bufferId);
    bool validGroup(int groupId) const { return groupId >= 0 && groupId < sourceGroupTotal(); }

    std::unique_ptr<Device> device_;
    SourceInfo sources_[CD_MAX_SOURCES];
    int sourceTotal_ = 0;
    std::vector<BufferInfo> buffers_;
    std::vector<SourceGroup> sourceGroups_;
    mutable std::mutex mutexBufferLoad_;
    float preMuteGain_ = 1.0f;
    std::atomic<std::uint32_t> lastErrorCode_{0};
    bool mute_ = false;
    bool enabled_ = true;
    bool functioning_ = false;
    bool getGainWorks_ = false;
    std::atomic<float> asynchLoadProgress_{0.0f};
    std::function<void()> badContextHandler_;
    friend class CDAsynchBufferLoader;
    RefPtr<Scheduler> asynchLoadScheduler_;  // outlives the loaders, which post to it
    // Made with the first asynchronous load; ends, after the loads given to it, with the engine.
    std::unique_ptr<platform::SerialQueue> asynchLoadQueue_;
};

}  // namespace audio
}  // namespace kite
