#include "kite/audio/SimpleAudioEngine.h"

#include <unistd.h>

#include <cstdlib>
#include <thread>

#include <gtest/gtest.h>

#include "AudioTestSupport.h"
#include "kite/audio/linux/CDAudioManager.h"
#include "kite/audio/linux/CDBufferManager.h"
#include "kite/audio/linux/CDSoundEngine.h"
#include "kite/audio/linux/SimpleAudioEngine.h"
#include "kite/scene/EventDispatcher.h"
#include "platform/AppNotifications.h"
#include "platform/AudioSession.h"
#include "platform/MusicPlayer.h"
#include "support/LogCapture.h"

namespace {

using namespace kite::audio;
using kite::test::pumpUntil;
using kite::test::sourceState;

class SimpleAudioEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::AudioSession::shared().reset();
        audio = KiteAudio::SimpleAudioEngine::getInstance();
        ASSERT_TRUE(audio);
        effect = tones.tone("pop.wav", 0.5);
        music = tones.tone("song.mp3", 3.0, 2, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III);
        ASSERT_FALSE(music.empty());
    }
    void TearDown() override {
        kite::audio::SimpleAudioEngine::end();
        platform::AudioSession::shared().reset();
        kite::test::drainAutoreleasePool();
    }
    CDAudioManager* manager() const { return CDAudioManager::sharedManager(); }
    CDLongAudioSource* backgroundMusic() const { return manager()->backgroundMusic(); }
    // The music channel's player; none while no music could be opened.
    platform::MusicPlayer* musicPlayer() const {
        return backgroundMusic() ? backgroundMusic()->audioSourcePlayer() : nullptr;
    }
    bool musicAdvancesPast(double seconds) const {
        platform::MusicPlayer* player = musicPlayer();
        return player && pumpUntil([&] { return player->currentTime() > seconds; });
    }

    kite::test::ToneFolder tones;
    std::string effect;
    std::string music;
    KiteAudio::SimpleAudioEngine* audio = nullptr;
};

TEST_F(SimpleAudioEngineTest, VolumesAreClampedToZeroToOne) {
    audio->setBackgroundMusicVolume(-0.5f);
    EXPECT_FLOAT_EQ(audio->getBackgroundMusicVolume(), 0.0f);
    audio->setBackgroundMusicVolume(1.7f);
    EXPECT_FLOAT_EQ(audio->getBackgroundMusicVolume(), 1.0f);
    audio->setEffectsVolume(-0.5f);
    EXPECT_FLOAT_EQ(audio->getEffectsVolume(), 0.0f);
    audio->setEffectsVolume(1.7f);
    EXPECT_FLOAT_EQ(audio->getEffectsVolume(), 1.0f);
}

TEST_F(SimpleAudioEngineTest, EffectIdIsTheSourceThatPlaysIt) {
    EXPECT_EQ(audio->playEffect((tones.path() + "/missing.wav").c_str()), 0xFEEDBABu);
    const unsigned int id = audio->playEffect(effect.c_str(), false, 1.0f, 0.0f, 1.0f);
    ASSERT_LT(id, 0xFEEDBABu);
    EXPECT_EQ(sourceState(id), AL_PLAYING);
    audio->pauseEffect(id);
    EXPECT_EQ(sourceState(id), AL_PAUSED);
    audio->resumeEffect(id);
    EXPECT_EQ(sourceState(id), AL_PLAYING);
    audio->stopEffect(id);
    EXPECT_EQ(sourceState(id), AL_STOPPED);
    audio->unloadEffect((tones.path() + "/never-loaded.wav").c_str());
    audio->unloadEffect(effect.c_str());
    EXPECT_LT(audio->playEffect(effect.c_str()), 0xFEEDBABu);  // loads again
}

TEST_F(SimpleAudioEngineTest, FreedBufferIndexGoesToTheNextNewFile) {
    CDBufferManager* buffers = kite::audio::SimpleAudioEngine::sharedEngine()->bufferManager();
    const std::string a = tones.tone("a.wav", 0.1), b = tones.tone("b.wav", 0.1), c = tones.tone("c.wav", 0.1);
    EXPECT_EQ(buffers->bufferForFile(a, true), 0);
    EXPECT_EQ(buffers->bufferForFile(b, true), 1);
    buffers->releaseBufferForFile(a);
    EXPECT_EQ(buffers->bufferForFile(a, false), -1);
    EXPECT_EQ(buffers->bufferForFile(c, true), 0);
    EXPECT_EQ(buffers->bufferForFile(tones.path() + "/missing.wav", true), -1);
    EXPECT_EQ(buffers->bufferForFile(tones.tone("d.wav", 0.1), true), 2);  // the failed index is reused
}

TEST_F(SimpleAudioEngineTest, ReplayingTheSameMusicRestartsWithoutReopening) {
    audio->playBackgroundMusic(music.c_str(), true);
    ASSERT_TRUE(audio->isBackgroundMusicPlaying());
    platform::MusicPlayer* player = musicPlayer();
    ASSERT_TRUE(player);
    ASSERT_TRUE(musicAdvancesPast(0.3));
    audio->playBackgroundMusic(music.c_str(), true);
    ASSERT_EQ(musicPlayer(), player);
    EXPECT_LT(player->currentTime(), 0.3);
    EXPECT_TRUE(audio->isBackgroundMusicPlaying());
}

TEST_F(SimpleAudioEngineTest, FiniteMusicCallsBackOnceOnTheMainThread) {
    const std::string shortSong = tones.tone("jingle.wav", 0.05);
    int finished = 0;
    std::thread::id thread;
    manager()->setBackgroundMusicCompletionListener([&] {
        ++finished;
        thread = std::this_thread::get_id();
    });
    audio->playBackgroundMusic(shortSong.c_str(), false);
    ASSERT_TRUE(pumpUntil([&] { return finished > 0; }));
    EXPECT_EQ(thread, std::this_thread::get_id());
    EXPECT_FALSE(audio->isBackgroundMusicPlaying());
    EXPECT_FALSE(pumpUntil([&] { return finished > 1; }, std::chrono::milliseconds(200)));
}

TEST_F(SimpleAudioEngineTest, PauseResumeAndRewindDoWhatTheySay) {
    audio->playBackgroundMusic(music.c_str(), false);
    ASSERT_TRUE(musicAdvancesPast(0.2));
    audio->pauseBackgroundMusic();
    EXPECT_FALSE(audio->isBackgroundMusicPlaying());
    platform::MusicPlayer* player = musicPlayer();
    ASSERT_TRUE(player);
    const double pausedAt = player->currentTime();
    audio->resumeBackgroundMusic();
    EXPECT_TRUE(audio->isBackgroundMusicPlaying());
    EXPECT_TRUE(musicAdvancesPast(pausedAt + 0.05));
    audio->rewindBackgroundMusic();
    ASSERT_EQ(musicPlayer(), player);
    EXPECT_LT(player->currentTime(), pausedAt);
    EXPECT_TRUE(audio->isBackgroundMusicPlaying());
    audio->stopBackgroundMusic();
    audio->resumeBackgroundMusic();  // a stopped channel is not paused
    EXPECT_FALSE(audio->isBackgroundMusicPlaying());
}

TEST_F(SimpleAudioEngineTest, BackgroundInterruptsTheSessionAndForegroundResumesIt) {
    platform::AudioSession& session = platform::AudioSession::shared();
    audio->playBackgroundMusic(music.c_str(), true);
    ASSERT_TRUE(musicAdvancesPast(0.1));
    session.beginInterruption();
    EXPECT_TRUE(manager()->isInterrupted());
    EXPECT_FALSE(session.isActive());
    EXPECT_FALSE(audio->isBackgroundMusicPlaying());
    EXPECT_FALSE(CDSoundEngine::isAnyContextCurrent());
    session.endInterruption();
    EXPECT_FALSE(manager()->isInterrupted());
    EXPECT_TRUE(session.isActive());
    EXPECT_TRUE(CDSoundEngine::isAnyContextCurrent());
    EXPECT_TRUE(audio->isBackgroundMusicPlaying());
    EXPECT_LT(audio->playEffect(effect.c_str()), 0xFEEDBABu);
}

TEST_F(SimpleAudioEngineTest, MutingSilencesEffectsAndMusicAndKeepsMusicFromStarting) {
    kite::audio::SimpleAudioEngine* engine = kite::audio::SimpleAudioEngine::sharedEngine();
    audio->setEffectsVolume(0.5f);
    engine->setMute(true);
    EXPECT_TRUE(manager()->soundEngine()->mute());
    EXPECT_TRUE(manager()->audioSourceForChannel(0)->mute());
    EXPECT_TRUE(manager()->audioSourceForChannel(1)->mute());
    audio->playBackgroundMusic(music.c_str(), true);
    EXPECT_FALSE(audio->isBackgroundMusicPlaying());
    platform::MusicPlayer* player = musicPlayer();
    ASSERT_TRUE(player) << "the music is loaded while muted";
    EXPECT_FLOAT_EQ(player->volume(), 0.0f);
    engine->setMute(false);
    EXPECT_FLOAT_EQ(audio->getEffectsVolume(), 0.5f);
    ASSERT_EQ(musicPlayer(), player);
    EXPECT_FLOAT_EQ(player->volume(), 1.0f);
}

TEST_F(SimpleAudioEngineTest, OtherAudioPlayingKeepsMusicLoadedButSilentInTheDefaultMode) {
    platform::AudioSession::shared().setOtherAudioPlaying(true);
    EXPECT_FALSE(audio->willPlayBackgroundMusic());
    EXPECT_EQ(platform::AudioSession::shared().category(), platform::AudioSession::Category::Ambient);
    audio->playBackgroundMusic(music.c_str(), true);
    EXPECT_TRUE(musicPlayer());
    EXPECT_FALSE(audio->isBackgroundMusicPlaying());
    EXPECT_FALSE(manager()->isObservingAppEvents());
}

TEST_F(SimpleAudioEngineTest, PreloadedMusicStaysSilentWhenPlayedWhileOtherAudioPlays) {
    platform::AudioSession::shared().setOtherAudioPlaying(true);
    ASSERT_FALSE(audio->willPlayBackgroundMusic());
    audio->preloadBackgroundMusic(music.c_str());
    platform::MusicPlayer* player = musicPlayer();
    ASSERT_TRUE(player);
    audio->playBackgroundMusic(music.c_str(), true);
    ASSERT_EQ(musicPlayer(), player);
    EXPECT_FALSE(audio->isBackgroundMusicPlaying());
    EXPECT_DOUBLE_EQ(player->currentTime(), 0.0);
}

TEST_F(SimpleAudioEngineTest, PreloadedMusicStaysSilentWhenPlayedOrLoadedAgainWhileMuted) {
    kite::audio::SimpleAudioEngine* engine = kite::audio::SimpleAudioEngine::sharedEngine();
    audio->preloadBackgroundMusic(music.c_str());
    engine->setMute(true);
    audio->playBackgroundMusic(music.c_str(), true);
    EXPECT_FALSE(audio->isBackgroundMusicPlaying());
    audio->preloadBackgroundMusic(music.c_str());
    EXPECT_FALSE(audio->isBackgroundMusicPlaying());
    // Unmuted, the same file plays from its start.
    engine->setMute(false);
    audio->playBackgroundMusic(music.c_str(), true);
    EXPECT_TRUE(audio->isBackgroundMusicPlaying());
    platform::MusicPlayer* player = musicPlayer();
    ASSERT_TRUE(player);
    EXPECT_LT(player->currentTime(), 0.3);
}

TEST_F(SimpleAudioEngineTest, ResignAndReturnPauseAndResumeWithStopAndResumeBehaviour) {
    manager()->setResignBehavior(CDAudioManager::kResignBehaviorStopAndResume, true);
    EXPECT_TRUE(manager()->isObservingAppEvents());
    audio->playBackgroundMusic(music.c_str(), true);
    platform::postAppNotification(platform::AppNotification::WillResignActive);
    EXPECT_FALSE(audio->isBackgroundMusicPlaying());
    EXPECT_TRUE(backgroundMusic()->systemPaused);
    EXPECT_EQ(platform::AudioSession::shared().category(), platform::AudioSession::Category::Ambient);
    platform::postAppNotification(platform::AppNotification::DidBecomeActive);
    EXPECT_TRUE(audio->isBackgroundMusicPlaying());
    EXPECT_EQ(platform::AudioSession::shared().category(), platform::AudioSession::Category::SoloAmbient);

    // Stop behaviour: resigning stops the music, and becoming active again leaves it stopped.
    manager()->setResignBehavior(CDAudioManager::kResignBehaviorStop, true);
    platform::postAppNotification(platform::AppNotification::WillResignActive);
    EXPECT_FALSE(audio->isBackgroundMusicPlaying());
    platform::postAppNotification(platform::AppNotification::DidBecomeActive);
    EXPECT_FALSE(audio->isBackgroundMusicPlaying());
}

TEST_F(SimpleAudioEngineTest, SwitchingAudioOffStopsTheMusicAtItsStartWithoutPlayingIt) {
    kite::audio::SimpleAudioEngine* engine = kite::audio::SimpleAudioEngine::sharedEngine();
    audio->playBackgroundMusic(music.c_str(), true);
    ASSERT_TRUE(musicAdvancesPast(0.2));
    engine->setEnabled(false);
    EXPECT_FALSE(audio->isBackgroundMusicPlaying());
    platform::MusicPlayer* player = musicPlayer();
    ASSERT_TRUE(player);
    EXPECT_DOUBLE_EQ(player->currentTime(), 0.0);
    EXPECT_FALSE(pumpUntil([&] { return player->currentTime() > 0.0; }, std::chrono::milliseconds(200)));
    // Rewinding and playing again while off stay silent.
    audio->rewindBackgroundMusic();
    audio->playBackgroundMusic(music.c_str(), true);
    EXPECT_FALSE(audio->isBackgroundMusicPlaying());
    // Switched on again, the next play starts from the beginning.
    engine->setEnabled(true);
    EXPECT_FALSE(audio->isBackgroundMusicPlaying());
    audio->playBackgroundMusic(music.c_str(), true);
    EXPECT_TRUE(audio->isBackgroundMusicPlaying());
    ASSERT_EQ(musicPlayer(), player);
    EXPECT_LT(player->currentTime(), 0.2);
}

TEST_F(SimpleAudioEngineTest, WillTerminateStopsTheMusicOnceAppEventsAreHandled) {
    audio->playBackgroundMusic(music.c_str(), true);
    platform::postAppNotification(platform::AppNotification::WillTerminate);
    EXPECT_TRUE(audio->isBackgroundMusicPlaying()) << "no observer before the resign behaviour is set";
    manager()->setResignBehavior(CDAudioManager::kResignBehaviorDoNothing, true);
    platform::postAppNotification(platform::AppNotification::WillTerminate);
    EXPECT_FALSE(audio->isBackgroundMusicPlaying());
    kite::audio::SimpleAudioEngine::end();
    kite::test::drainAutoreleasePool();
    platform::postAppNotification(platform::AppNotification::WillTerminate);  // the manager is gone, its observer too
}

// Starting the audio tells the manager's listeners; one that uses the audio at once must not hang
// the game. Run in a child process that a hang ends by its alarm.
TEST(AudioStart, AListenerOfTheManagersStartMayUseTheAudioAtOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            alarm(10);
            kite::audio::SimpleAudioEngine::end();
            kite::EventDispatcher* events = kite::Director::getInstance()->getEventDispatcher();
            events->setEnabled(true);
            float heard = -1.0f;
            events->addCustomEventListener("kCDN_AudioManagerInitialised", [&](kite::EventCustom*) {
                heard = KiteAudio::SimpleAudioEngine::getInstance()->getEffectsVolume();
                CDAudioManager::sharedManager()->setMute(false);
            });
            KiteAudio::SimpleAudioEngine::getInstance()->setEffectsVolume(0.5f);
            const bool ok = heard == 1.0f && KiteAudio::SimpleAudioEngine::getInstance()->getEffectsVolume() == 0.5f;
            std::_Exit(ok ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
}

// The state of the shared manager never goes back, so a child process starts it afresh.
TEST(AudioStart, AnAsynchronousStartMakesTheManagerOnceInItsModeAtTheMainThreadsNextPass) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            alarm(10);
            platform::AudioSession::shared().reset();
            kite::EventDispatcher* events = kite::Director::getInstance()->getEventDispatcher();
            events->setEnabled(true);
            int told = 0;
            events->addCustomEventListener("kCDN_AudioManagerInitialised", [&](kite::EventCustom*) { ++told; });
            bool ok = CDAudioManager::sharedManagerState() == CDAudioManager::kStateNotStarted;
            CDAudioManager::initAsynchronously(CDAudioManager::kModeFxOnly);
            CDAudioManager::initAsynchronously(CDAudioManager::kModeFxPlusMusic);  // already starting
            ok = ok && CDAudioManager::sharedManagerState() == CDAudioManager::kStateStarting &&
                 !CDAudioManager::sharedManagerIfMade() && told == 0;
            kite::Director::getInstance()->getScheduler()->update(1.0f / 60);
            CDAudioManager* made = CDAudioManager::sharedManagerIfMade();
            ok = ok && made && CDAudioManager::sharedManagerState() == CDAudioManager::kStateReady && told == 1 &&
                 !made->willPlayBackgroundMusic() && CDAudioManager::sharedManager() == made;
            CDAudioManager::initAsynchronously(CDAudioManager::kModeFxPlusMusic);
            kite::Director::getInstance()->getScheduler()->update(1.0f / 60);
            std::_Exit(ok && told == 1 ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
}

// A file the game names that is not among its files, or one that is damaged, gets one line naming it
// and why, however often it is played; the music too is named.
TEST_F(SimpleAudioEngineTest, AnEffectOrMusicThatCannotBeReadIsNamedOnce) {
    kite::test::LogCapture log;
    const std::string damaged = tones.put("damaged.mp3", std::string(4096, '\x55'));
    audio->preloadEffect("Music/no-such-effect.mp3");
    for (int play = 0; play < 54; ++play) {
        EXPECT_EQ(audio->playEffect("Music/no-such-effect.mp3"), CD_NO_SOUND);
        EXPECT_EQ(audio->playEffect(damaged.c_str()), CD_NO_SOUND);
    }
    audio->playBackgroundMusic("Music/no-such-song.mp3", true);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "CDSoundEngine: cannot read Music/no-such-effect.mp3: No such file or directory",
                               "CDSoundEngine: cannot read " + damaged + ": Format not recognised.",
                               "CDLongAudioSource: cannot read Music/no-such-song.mp3: No such file or directory"}));
    // Released, a file is tried again.
    audio->unloadEffect(damaged.c_str());
    audio->playEffect(damaged.c_str());
    EXPECT_EQ(log.count("CDSoundEngine: cannot read " + damaged), 2u);
}

TEST_F(SimpleAudioEngineTest, UnreadableMusicLeavesTheChannelSilent) {
    kite::test::LogCapture log;
    const std::string broken = tones.put("broken.mp3", "ID3 but nothing else");
    audio->playBackgroundMusic(broken.c_str(), true);
    EXPECT_FALSE(audio->isBackgroundMusicPlaying());
    EXPECT_TRUE(log.contains("CDLongAudioSource: "));
    audio->pauseBackgroundMusic();
    audio->rewindBackgroundMusic();
    EXPECT_FALSE(audio->isBackgroundMusicPlaying());
}

}  // namespace
