#include "kite/audio/linux/CDSoundEngine.h"

#include <set>

#include <gtest/gtest.h>

#include "AudioTestSupport.h"
#include "kite/audio/linux/CDSoundSource.h"
#include "support/LogCapture.h"

namespace {

using namespace kite::audio;
using kite::test::sourceFloat;
using kite::test::sourceState;

class CDSoundEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine = CDSoundEngine::create();
        ASSERT_TRUE(engine);
        ASSERT_TRUE(engine->functioning());
        loopPath = tones.tone("loop.wav", 0.5);
        ASSERT_TRUE(engine->loadBuffer(0, loopPath));
    }
    void TearDown() override {
        engine.reset();
        kite::test::drainAutoreleasePool();
    }

    std::uint32_t playLooping(int group = 0) { return engine->playSound(0, group, 1.0f, 0.0f, 1.0f, true); }

    kite::test::ToneFolder tones;
    std::string loopPath;
    kite::RefPtr<CDSoundEngine> engine;
};

TEST_F(CDSoundEngineTest, ThirtyThirdOverlappingPlayTakesTheFirstSourceAgain) {
    ASSERT_EQ(engine->sourceTotal(), CD_MAX_SOURCES);
    std::vector<std::uint32_t> ids;
    for (int i = 0; i < CD_MAX_SOURCES; ++i) ids.push_back(playLooping());
    EXPECT_EQ(std::set<std::uint32_t>(ids.begin(), ids.end()).size(), 32u);
    for (std::uint32_t id : ids) EXPECT_EQ(sourceState(id), AL_PLAYING);
    EXPECT_EQ(playLooping(), ids[0]);
    EXPECT_EQ(sourceState(ids[0]), AL_PLAYING);  // restarted with the new sound
}

TEST_F(CDSoundEngineTest, FullNonInterruptibleGroupRefusesAnotherPlay) {
    engine->setSourceGroupNonInterruptible(0, true);
    for (int i = 0; i < CD_MAX_SOURCES; ++i) ASSERT_LT(playLooping(), CD_NO_SOUND);
    EXPECT_EQ(playLooping(), CD_NO_SOURCE);
    engine->stopAllSounds();
    EXPECT_LT(playLooping(), CD_NO_SOUND);
}

TEST_F(CDSoundEngineTest, PitchPanGainAndLoopReachTheSource) {
    const std::uint32_t id = engine->playSound(0, 0, 1.5f, -0.25f, 0.6f, true);
    ASSERT_LT(id, CD_NO_SOUND);
    EXPECT_FLOAT_EQ(sourceFloat(id, AL_PITCH), 1.5f);
    EXPECT_FLOAT_EQ(sourceFloat(id, AL_GAIN), 0.6f);
    ALfloat x = 0, y = 1, z = 1;
    alGetSource3f(id, AL_POSITION, &x, &y, &z);
    EXPECT_FLOAT_EQ(x, -0.25f);
    EXPECT_FLOAT_EQ(y, 0.0f);
    ALint looping = AL_FALSE;
    alGetSourcei(id, AL_LOOPING, &looping);
    EXPECT_EQ(looping, AL_TRUE);
    EXPECT_TRUE(engine->getGainWorks());
}

TEST_F(CDSoundEngineTest, PauseResumeAndStopActOnTheNamedSource) {
    const std::uint32_t id = playLooping();
    engine->pauseSound(id);
    EXPECT_EQ(sourceState(id), AL_PAUSED);
    engine->resumeSound(id);
    EXPECT_EQ(sourceState(id), AL_PLAYING);
    engine->pauseAllSounds();
    EXPECT_EQ(sourceState(id), AL_PAUSED);
    engine->resumeAllSounds();
    EXPECT_EQ(sourceState(id), AL_PLAYING);
    engine->stopSound(id);
    EXPECT_EQ(sourceState(id), AL_STOPPED);
    engine->resumeSound(id);  // only a paused source resumes
    EXPECT_EQ(sourceState(id), AL_STOPPED);
}

TEST_F(CDSoundEngineTest, MuteThenUnmuteRestoresTheMasterGain) {
    engine->setMasterGain(0.5f);
    engine->setMute(true);
    ALfloat listener = -1;
    alGetListenerf(AL_GAIN, &listener);
    EXPECT_FLOAT_EQ(listener, 0.0f);
    EXPECT_FLOAT_EQ(engine->masterGain(), 0.5f);
    engine->setMasterGain(0.8f);  // while muted only remembered
    alGetListenerf(AL_GAIN, &listener);
    EXPECT_FLOAT_EQ(listener, 0.0f);
    engine->setMute(false);
    alGetListenerf(AL_GAIN, &listener);
    EXPECT_FLOAT_EQ(listener, 0.8f);
}

TEST_F(CDSoundEngineTest, DisabledEngineOrSilencedGroupPlaysNothing) {
    engine->setEnabled(false);
    EXPECT_EQ(playLooping(), CD_NO_SOUND);
    engine->setEnabled(true);
    engine->setSourceGroupEnabled(0, false);
    EXPECT_FALSE(engine->sourceGroupEnabled(0));
    EXPECT_EQ(playLooping(), CD_NO_SOUND);
    engine->setSourceGroupEnabled(0, true);
    EXPECT_TRUE(engine->sourceGroupEnabled(0));
    EXPECT_LT(playLooping(), CD_NO_SOUND);
}

TEST_F(CDSoundEngineTest, IndicesOutsideTheTablesAreRefused) {
    EXPECT_EQ(engine->playSound(1, 0, 1, 0, 1, false), CD_NO_SOUND);  // empty buffer
    EXPECT_EQ(engine->playSound(-3, 0, 1, 0, 1, false), CD_NO_SOUND);
    EXPECT_EQ(engine->playSound(100000, 0, 1, 0, 1, false), CD_NO_SOUND);
    EXPECT_EQ(engine->playSound(0, 1, 1, 0, 1, false), CD_NO_SOURCE);  // no group 1
    EXPECT_EQ(engine->playSound(0, -1, 1, 0, 1, false), CD_NO_SOURCE);
    EXPECT_FALSE(engine->soundSourceForSound(0, 5));
    EXPECT_FLOAT_EQ(engine->bufferDurationInSeconds(1), -1.0f);
    EXPECT_EQ(engine->bufferSizeInBytes(-1), CD_INVALID_SIZE);
    EXPECT_FALSE(engine->unloadBuffer(100000));
    EXPECT_FALSE(engine->loadBuffer(CD_BUFFERS_MAX, loopPath));
    engine->setSourceGroupNonInterruptible(9, true);  // ignored
}

TEST_F(CDSoundEngineTest, BufferTableGrowsInStepsOfSixteen) {
    const std::vector<std::uint8_t> pcm(400, 0);
    EXPECT_EQ(engine->bufferTotal(), 64);
    EXPECT_TRUE(engine->loadBufferFromData(64, pcm.data(), CD_FORMAT_MONO16, 400, 100));
    EXPECT_EQ(engine->bufferTotal(), 80);
    EXPECT_TRUE(engine->loadBufferFromData(80, pcm.data(), CD_FORMAT_MONO16, 400, 100));
    EXPECT_EQ(engine->bufferTotal(), 96);
    EXPECT_LT(engine->playSound(80, 0, 1, 0, 1, false), CD_NO_SOUND);
}

TEST_F(CDSoundEngineTest, DurationFollowsSizeFrequencyAndFormat) {
    const std::vector<std::uint8_t> pcm(4 * 8000, 0);
    ASSERT_TRUE(engine->loadBufferFromData(2, pcm.data(), CD_FORMAT_STEREO16, 4 * 8000, 8000));
    EXPECT_FLOAT_EQ(engine->bufferDurationInSeconds(2), 1.0f);
    EXPECT_EQ(engine->bufferSizeInBytes(2), 32000);
    EXPECT_EQ(engine->bufferFrequencyInHertz(2), 8000);
    ASSERT_TRUE(engine->loadBufferFromData(2, pcm.data(), CD_FORMAT_MONO8, 8000, 8000));  // reloads in place
    EXPECT_FLOAT_EQ(engine->bufferDurationInSeconds(2), 1.0f);
    EXPECT_NEAR(engine->bufferDurationInSeconds(0), 0.5f, 1e-4);
}

TEST_F(CDSoundEngineTest, UnloadingStopsTheSourcesThatPlayIt) {
    const std::uint32_t id = playLooping();
    ASSERT_TRUE(engine->unloadBuffer(0));
    EXPECT_EQ(sourceState(id), AL_STOPPED);
    EXPECT_FALSE(engine->validateBufferId(0));
    EXPECT_EQ(playLooping(), CD_NO_SOUND);
}

TEST_F(CDSoundEngineTest, FilesThatCannotBeDecodedFailTheirLoadWithALogLine) {
    kite::test::LogCapture log;
    const std::string fourChannels = tones.tone("four.wav", 0.1, 4);
    const std::string damaged = tones.put("damaged.wav", std::string("RIFF\x10\0\0\0WAVEfmt ", 16));
    const std::string empty = tones.tone("empty.wav", 0.0);
    for (const std::string& path : {fourChannels, damaged, empty, tones.path() + "/missing.wav"}) {
        EXPECT_FALSE(engine->loadBuffer(3, path)) << path;
        EXPECT_EQ(engine->playSound(3, 0, 1, 0, 1, false), CD_NO_SOUND);
    }
    EXPECT_TRUE(log.contains("CDSoundEngine: "));
    EXPECT_TRUE(log.contains("4 channels"));
}

TEST_F(CDSoundEngineTest, GroupsLargerThanTheSourcesAreCut) {
    engine->defineSourceGroups({30, 10});
    ASSERT_EQ(engine->sourceGroupTotal(), 2);
    const std::uint32_t first = playLooping(1);
    const std::uint32_t second = playLooping(1);
    EXPECT_NE(first, second);
    EXPECT_EQ(playLooping(1), first);  // only two sources were left for group 1
}

TEST_F(CDSoundEngineTest, HeldSourceLeavesTheRotationUntilReleased) {
    engine->defineSourceGroups({2});
    std::uint32_t held = 0;
    {
        kite::RefPtr<CDSoundSource> source = engine->soundSourceForSound(0, 0);
        ASSERT_TRUE(source);
        held = source->sourceId();
        for (int i = 0; i < 3; ++i) EXPECT_NE(playLooping(), held);
        source->setGain(0.4f);
        source->setMute(true);
        EXPECT_FLOAT_EQ(sourceFloat(held, AL_GAIN), 0.0f);
        EXPECT_FLOAT_EQ(source->gain(), 0.4f);
        source->setMute(false);
        EXPECT_FLOAT_EQ(sourceFloat(held, AL_GAIN), 0.4f);
        EXPECT_TRUE(source->play());
        EXPECT_TRUE(source->isPlaying());
        EXPECT_NEAR(source->durationInSeconds(), 0.5f, 1e-4);
        kite::test::drainAutoreleasePool();
    }
    std::set<std::uint32_t> used = {playLooping(), playLooping()};
    EXPECT_TRUE(used.count(held));
}

TEST_F(CDSoundEngineTest, AsynchronousLoadReportsProgressAndCompletion) {
    bool complete = false;
    engine->loadBuffersAsynchronously({{5, loopPath}, {6, tones.tone("b.wav", 0.1)}}, [&] { complete = true; });
    ASSERT_TRUE(kite::test::pumpUntil([&] { return complete; }));
    EXPECT_FLOAT_EQ(engine->asynchLoadProgress(), 1.0f);
    EXPECT_TRUE(engine->validateBufferId(5));
    EXPECT_TRUE(engine->validateBufferId(6));
}

}  // namespace
