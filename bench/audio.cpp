// Audio: the time from playEffect to its source playing (and to its first mixed samples),
// and the whole process's CPU time per 1/60 s frame with 32 effects playing and music streaming.
#include <benchmark/benchmark.h>

#include <time.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <AL/al.h>
#include <sndfile.h>

#include "kite/audio/SimpleAudioEngine.h"
#include "kite/audio/linux/CDAudioManager.h"
#include "kite/audio/linux/CDSoundEngine.h"
#include "kite/audio/linux/SimpleAudioEngine.h"
#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Scheduler.h"
#include "kite/scene/Director.h"
#include "platform/AudioSession.h"

namespace {

// Generated once per run into /tmp: a short effect and a long song.
std::string writeTone(const std::string& name, double seconds, int format) {
    const std::string path = "/tmp/stargrid-bench-" + name;
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    const sf_count_t frames = static_cast<sf_count_t>(seconds * info.samplerate);
    std::vector<double> samples(static_cast<std::size_t>(frames) * 2);
    for (sf_count_t i = 0; i < frames; ++i) samples[2 * i] = samples[2 * i + 1] = 0.3 * std::sin(i * 0.0627);
    sf_writef_double(file, samples.data(), frames);
    sf_close(file);
    return path;
}

KiteAudio::SimpleAudioEngine* startAudio() {
    setenv("ALSOFT_DRIVERS", "null", 0);  // a bench machine needs no sound card
    return KiteAudio::SimpleAudioEngine::getInstance();
}

void stopAudio() {
    kite::audio::SimpleAudioEngine::end();
    kite::PoolManager::getInstance()->getCurrentPool()->clear();
}

ALint sourceState(unsigned int source) {
    ALint state = 0;
    alGetSourcei(source, AL_SOURCE_STATE, &state);
    return state;
}

void BM_PlayEffectUntilPlaying(benchmark::State& state) {
    KiteAudio::SimpleAudioEngine* audio = startAudio();
    const std::string effect = writeTone("pop.wav", 0.2, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    audio->preloadEffect(effect.c_str());
    for (auto _ : state) {
        const unsigned int id = audio->playEffect(effect.c_str());
        while (sourceState(id) != AL_PLAYING) {}
    }
    audio->stopAllEffects();
    stopAudio();
}

// Until the mixer has taken samples from the source: includes the device's update period.
void BM_PlayEffectUntilMixed(benchmark::State& state) {
    KiteAudio::SimpleAudioEngine* audio = startAudio();
    const std::string effect = writeTone("pop.wav", 0.2, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    audio->preloadEffect(effect.c_str());
    for (auto _ : state) {
        const unsigned int id = audio->playEffect(effect.c_str());
        ALint offset = 0;
        while (offset == 0 && sourceState(id) == AL_PLAYING) {
            std::this_thread::yield();
            alGetSourcei(id, AL_SAMPLE_OFFSET, &offset);
        }
    }
    audio->stopAllEffects();
    stopAudio();
}

// Each iteration is one 1/60 s frame of wall time; the counter is the CPU time of every
// thread of the process (main, mixer, music stream) spent in it.
void BM_FrameWith32EffectsAndMusic(benchmark::State& state) {
    KiteAudio::SimpleAudioEngine* audio = startAudio();
    const std::string effect = writeTone("loop.wav", 1.0, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    const std::string song = writeTone("song.mp3", 20.0, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III);
    for (int i = 0; i < kite::audio::CD_MAX_SOURCES; ++i) audio->playEffect(effect.c_str(), true, 1.0f, 0.0f, 0.5f);
    audio->playBackgroundMusic(song.c_str(), true);
    kite::Scheduler* scheduler = kite::Director::getInstance()->getScheduler();
    const auto frame = std::chrono::microseconds(16667);
    timespec start{}, end{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &start);
    auto next = std::chrono::steady_clock::now();
    for (auto _ : state) {
        scheduler->update(1.0f / 60);
        benchmark::DoNotOptimize(audio->isBackgroundMusicPlaying());
        next += frame;
        std::this_thread::sleep_until(next);
    }
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &end);
    const double cpuSeconds = (end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) * 1e-9;
    state.counters["cpu_ms_per_frame"] = cpuSeconds * 1e3 / static_cast<double>(state.iterations());
    audio->stopBackgroundMusic();
    audio->stopAllEffects();
    stopAudio();
}

BENCHMARK(BM_PlayEffectUntilPlaying);
BENCHMARK(BM_PlayEffectUntilMixed)->UseRealTime();
BENCHMARK(BM_FrameWith32EffectsAndMusic)->UseRealTime()->Iterations(300);

}  // namespace
