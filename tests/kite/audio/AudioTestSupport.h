// What the audio tests share: tone files in a temporary folder, OpenAL read-backs, a log
// recorder and a bounded wait that pumps the main thread's scheduler.
#pragma once
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include <AL/al.h>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Log.h"
#include "kite/foundation/Scheduler.h"
#include "kite/scene/Director.h"
#include "support/SoundFiles.h"
#include "support/TemporaryFolder.h"

namespace kite::test {

// Why a test stops when the engine has no device: the tests play to OpenAL Soft's null device, which CTest
// chooses for them, as a machine without a sound card opens no other.
constexpr const char* kNoAudioDevice =
    "no audio device: the audio tests play to OpenAL Soft's null device (ALSOFT_DRIVERS=null)";

inline ALint sourceState(std::uint32_t source) {
    ALint state = 0;
    alGetSourcei(source, AL_SOURCE_STATE, &state);
    return state;
}

inline float sourceFloat(std::uint32_t source, ALenum parameter) {
    ALfloat value = -1.0f;
    alGetSourcef(source, parameter, &value);
    return value;
}

// Runs the main thread's posted functions until the predicate holds or the time is up.
template <class Predicate>
bool pumpUntil(Predicate predicate, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::mutex mutex;
    std::condition_variable idle;
    std::unique_lock<std::mutex> lock(mutex);
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        Director::getInstance()->getScheduler()->update(1.0f / 60);
        idle.wait_for(lock, std::chrono::milliseconds(5));
    }
    return true;
}

// A folder of generated tones.
class ToneFolder {
public:
    std::string tone(const std::string& name, double seconds, int channels = 1, int format = 0) {
        Tone tone;
        tone.channels = channels;
        tone.frames = static_cast<std::int64_t>(seconds * tone.sampleRate);
        if (format) tone.format = format;
        const std::string path = folder_.path() + "/" + name;
        return writeTone(path, tone) ? path : std::string();
    }
    std::string put(const std::string& name, const std::string& bytes) { return folder_.put(name, bytes); }
    const std::string& path() const { return folder_.path(); }

private:
    TemporaryFolder folder_{"audio"};
};

inline void drainAutoreleasePool() { PoolManager::getInstance()->getCurrentPool()->clear(); }

}  // namespace kite::test
