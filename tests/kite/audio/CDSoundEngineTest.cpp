#include "kite/audio/linux/CDSoundEngine.h"

#include <AL/alc.h>

#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "AudioTestSupport.h"
#include "kite/audio/linux/CDSoundSource.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventListenerCustom.h"
#include "platform/SoundFile.h"
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
        ASSERT_TRUE(engine->functioning()) << kite::test::kNoAudioDevice;
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

TEST_F(CDSoundEngineTest, AnEffectWhoseLengthCannotBeToldFailsWithALineNamingIt) {
    kite::test::LogCapture log;
    const std::string path = tones.path() + "/pop.mp3";
    ASSERT_TRUE(kite::test::writeMp3OfUnknownLength(path));
    EXPECT_FALSE(engine->loadBuffer(3, path));
    EXPECT_EQ(engine->playSound(3, 0, 1, 0, 1, false), CD_NO_SOUND);
    EXPECT_TRUE(log.contains("CDSoundEngine: " + path + ": the length is unknown")) << log.text();
}

TEST_F(CDSoundEngineTest, GroupsLargerThanTheSourcesAreCut) {
    const int groups[] = {30, 10};
    engine->defineSourceGroups(groups, 2);
    ASSERT_EQ(engine->sourceGroupTotal(), 2);
    const std::uint32_t first = playLooping(1);
    const std::uint32_t second = playLooping(1);
    EXPECT_NE(first, second);
    EXPECT_EQ(playLooping(1), first);  // only two sources were left for group 1
}

TEST_F(CDSoundEngineTest, HeldSourceLeavesTheRotationUntilReleased) {
    const int groups[] = {2};
    engine->defineSourceGroups(groups, 1);
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

// How many sources a group has: a non-interruptible group plays that many at once.
int sourcesOfGroup(CDSoundEngine& engine, int group) {
    engine.setSourceGroupNonInterruptible(group, true);
    int count = 0;
    while (count <= CD_MAX_SOURCES && engine.playSound(0, group, 1.0f, 0.0f, 1.0f, true) < CD_NO_SOUND) ++count;
    engine.stopAllSounds();
    return count;
}

TEST_F(CDSoundEngineTest, GroupsFromAListOfValuesCountWhatIsNotANumberAsNone) {
    engine->defineSourceGroups(kite::ValueVector{kite::Value(4), kite::Value("six"), kite::Value(2.9),
                                                 kite::Value(true), kite::Value(kite::ValueVector{kite::Value(8)}),
                                                 kite::Value(3)});
    ASSERT_EQ(engine->sourceGroupTotal(), 6);
    EXPECT_EQ(sourcesOfGroup(*engine, 0), 4);
    EXPECT_EQ(sourcesOfGroup(*engine, 1), 0);
    EXPECT_EQ(sourcesOfGroup(*engine, 2), 2);
    EXPECT_EQ(sourcesOfGroup(*engine, 3), 1);
    EXPECT_EQ(sourcesOfGroup(*engine, 4), 0);
    EXPECT_EQ(sourcesOfGroup(*engine, 5), 3);
}

TEST_F(CDSoundEngineTest, TheContextGetterAnswersTheContextTheEnginePlaysIn) {
    ALCcontext* context = engine->openALContext();
    ASSERT_NE(context, nullptr);
    EXPECT_EQ(alcGetCurrentContext(), context);
    EXPECT_NE(alcGetContextsDevice(context), nullptr);
}

// Counts the "kCDN_AsynchLoadComplete" events the director's dispatcher sends while it lives.
class LoadCompleteListener {
public:
    LoadCompleteListener() {
        dispatcher_->setEnabled(true);
        listener_ = dispatcher_->addCustomEventListener("kCDN_AsynchLoadComplete", [this](kite::EventCustom*) {
            heard.push_back(order ? *order : 0);
        });
    }
    ~LoadCompleteListener() {
        dispatcher_->removeEventListener(listener_);
        dispatcher_->setEnabled(false);
    }
    std::vector<int> heard;  // what `order` held at each event
    const int* order = nullptr;

private:
    kite::EventDispatcher* dispatcher_ = kite::Director::getInstance()->getEventDispatcher();
    kite::EventListenerCustom* listener_ = nullptr;
};

TEST_F(CDSoundEngineTest, AsynchronousLoadReportsProgressAndCompletionToTheHandlerAndListeners) {
    LoadCompleteListener listener;
    int complete = 0;
    listener.order = &complete;
    engine->loadBuffersAsynchronously({{5, loopPath}, {6, tones.tone("b.wav", 0.1)}}, [&] { ++complete; });
    ASSERT_TRUE(kite::test::pumpUntil([&] { return !listener.heard.empty(); }));
    EXPECT_EQ(listener.heard, std::vector<int>{1}) << "the event follows the handler";
    EXPECT_FLOAT_EQ(engine->asynchLoadProgress(), 1.0f);
    EXPECT_TRUE(engine->validateBufferId(5));
    EXPECT_TRUE(engine->validateBufferId(6));
}

// Holds the opening of one sound file, as a slow disk would, until it is let go: by the test, or, if
// the test never gets to that, after a while (and says so).
class OpenGate {
public:
    explicit OpenGate(std::string path) : path_(std::move(path)) {
        platform::setSoundFileOpenHookForTesting([this](const std::string& opened) {
            if (opened != path_) return;
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return released_; });
        });
        watchdog_ = std::thread([this] {
            std::unique_lock<std::mutex> lock(mutex_);
            if (changed_.wait_for(lock, std::chrono::seconds(5), [this] { return released_; })) return;
            fired_ = true;
            released_ = true;
            changed_.notify_all();
        });
    }
    ~OpenGate() {
        release();
        watchdog_.join();
        platform::setSoundFileOpenHookForTesting(nullptr);
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }
    bool fired() {
        std::lock_guard<std::mutex> lock(mutex_);
        return fired_;
    }

private:
    std::string path_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool released_ = false;
    bool fired_ = false;
    std::thread watchdog_;
};

TEST_F(CDSoundEngineTest, ASecondAsynchronousLoadWaitsBehindTheFirstWithoutHoldingTheMainThread) {
    LoadCompleteListener listener;
    const std::string slowPath = tones.tone("slow.wav", 0.1);
    OpenGate gate(slowPath);
    int complete = 0;
    listener.order = &complete;
    // The first load waits at the gate.
    engine->loadBuffersAsynchronously({{7, slowPath}}, [&] { ++complete; });
    engine->loadBuffersAsynchronously({{8, tones.tone("c.wav", 0.1)}}, [&] { complete += 10; });
    EXPECT_FALSE(gate.fired()) << "the second load waited on the main thread for the first";
    gate.release();
    ASSERT_TRUE(kite::test::pumpUntil([&] { return listener.heard.size() == 2; }));
    EXPECT_EQ(listener.heard, (std::vector<int>{1, 11})) << "each batch in the order given";
    EXPECT_TRUE(engine->validateBufferId(7));
    EXPECT_TRUE(engine->validateBufferId(8));
}

}  // namespace
