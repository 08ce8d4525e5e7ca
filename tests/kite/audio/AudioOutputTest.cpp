// The whole path makes sound: a tone played through the sound engine reaches OpenAL Soft's
// wave writer at its own frequency; and without any device the game plays on in silence.
// OpenAL Soft picks its driver once per process, so each case runs its playing in a child
// process of this test binary with its own environment.
#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>

#include <gtest/gtest.h>

#include "AudioTestSupport.h"
#include "kite/audio/SimpleAudioEngine.h"
#include "kite/audio/linux/CDSoundEngine.h"
#include "kite/audio/linux/SimpleAudioEngine.h"
#include "platform/SoundFile.h"

extern char** environ;

namespace {

using namespace kite::audio;

constexpr double kToneHertz = 440.0;
constexpr double kToneSeconds = 0.5;
const char* const kChildVariable = "STARGRID_AUDIO_OUTPUT_CHILD";

// Runs only as the child: plays the tone to its end, then closes the device.
TEST(AudioOutputChild, PlaysAToneToTheEnd) {
    const char* tonePath = std::getenv(kChildVariable);
    if (!tonePath) GTEST_SKIP() << "runs in the child of AudioOutput.ToneReachesTheDeviceAtItsFrequency";
    kite::RefPtr<CDSoundEngine> engine = CDSoundEngine::create();
    ASSERT_TRUE(engine);
    ASSERT_TRUE(engine->functioning());
    ASSERT_TRUE(engine->loadBuffer(0, tonePath));
    const std::uint32_t source = engine->playSound(0, 0, 1.0f, 0.0f, 1.0f, false);
    ASSERT_LT(source, CD_NO_SOUND);
    ASSERT_TRUE(kite::test::pumpUntil([&] { return kite::test::sourceState(source) == AL_STOPPED; }));
    engine.reset();
    kite::test::drainAutoreleasePool();
}

// Runs only as the child: no driver can open a device, and every call still answers.
TEST(AudioOutputChild, PlaysOnWithoutADevice) {
    const char* tonePath = std::getenv(kChildVariable);
    if (!tonePath) GTEST_SKIP() << "runs in the child of AudioOutput.NoDeviceKeepsTheGameRunningSilently";
    KiteAudio::SimpleAudioEngine* audio = KiteAudio::SimpleAudioEngine::getInstance();
    EXPECT_FALSE(kite::audio::SimpleAudioEngine::sharedEngine()->soundEngine()->functioning());
    EXPECT_EQ(audio->playEffect(tonePath), CD_NO_SOUND);
    audio->preloadEffect(tonePath);
    audio->playBackgroundMusic(tonePath, true);
    EXPECT_FALSE(audio->isBackgroundMusicPlaying());
    audio->setEffectsVolume(0.5f);
    audio->pauseAllEffects();
    audio->stopAllEffects();
    kite::audio::SimpleAudioEngine::end();
    kite::test::drainAutoreleasePool();
}

// Runs one child case of this binary with OpenAL Soft set up by the given variables.
int runChild(const std::string& childTest, const std::string& tonePath, std::vector<std::string> variables) {
    variables.push_back(std::string(kChildVariable) + "=" + tonePath);
    for (char** entry = environ; *entry; ++entry) {
        const std::string variable = *entry;
        if (variable.rfind("ALSOFT_", 0) != 0 && variable.rfind(kChildVariable, 0) != 0) variables.push_back(variable);
    }
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);
    std::string self = "/proc/self/exe";
    std::string filter = "--gtest_filter=AudioOutputChild." + childTest;
    char* argv[] = {self.data(), filter.data(), nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, self.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return -1;
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(AudioOutput, ToneReachesTheDeviceAtItsFrequency) {
    if (std::getenv(kChildVariable)) GTEST_SKIP();
    kite::test::ToneFolder folder;
    kite::test::Tone tone;
    tone.frequency = kToneHertz;
    tone.frames = static_cast<std::int64_t>(kToneSeconds * tone.sampleRate);
    const std::string tonePath = folder.path() + "/a440.wav";
    ASSERT_TRUE(kite::test::writeTone(tonePath, tone));
    const std::string output = folder.path() + "/device.wav";
    const std::string config = folder.put("alsoft.conf",
                                          "[general]\nfrequency = 44100\nchannels = stereo\n"
                                          "sample-type = int16\n[wave]\nfile = " +
                                              output + "\n");
    ASSERT_EQ(runChild("PlaysAToneToTheEnd", tonePath, {"ALSOFT_CONF=" + config, "ALSOFT_DRIVERS=wave"}), 0);

    const platform::DecodeResult written = platform::decodeSoundFile(output);
    ASSERT_TRUE(written.ok) << written.error;
    ASSERT_EQ(written.sound.bitsPerSample, 16);
    const auto* samples = reinterpret_cast<const std::int16_t*>(written.sound.data.data());
    const int channels = written.sound.channels;
    const std::size_t frames = written.sound.data.size() / (2 * channels);
    // The stretch that sounds: from the first to the last loud sample.
    std::size_t first = frames, last = 0;
    for (std::size_t i = 0; i < frames; ++i) {
        if (std::abs(samples[i * channels]) > 1000) {
            first = std::min(first, i);
            last = i;
        }
    }
    ASSERT_LT(first, last) << "the device received only silence";
    const double seconds = static_cast<double>(last - first) / written.sound.sampleRate;
    EXPECT_NEAR(seconds, kToneSeconds, 0.05);
    const int crossings = kite::test::zeroCrossings(samples + first * channels, last - first, channels);
    EXPECT_NEAR(crossings / (2.0 * seconds), kToneHertz, kToneHertz * 0.03);
}

TEST(AudioOutput, NoDeviceKeepsTheGameRunningSilently) {
    if (std::getenv(kChildVariable)) GTEST_SKIP();
    kite::test::ToneFolder folder;
    const std::string tonePath = folder.tone("a.wav", 0.1);
    // A driver list naming no driver that exists opens no device.
    EXPECT_EQ(runChild("PlaysOnWithoutADevice", tonePath, {"ALSOFT_DRIVERS=none-here"}), 0);
}

}  // namespace
