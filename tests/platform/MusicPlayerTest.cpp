#include "platform/MusicPlayer.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include <gtest/gtest.h>

#include "support/SoundFiles.h"
#include "support/TemporaryFolder.h"

namespace {

using namespace std::chrono_literals;

// Stands for the main thread: tasks posted by the player wait here until run.
class PostedTasks {
public:
    platform::MusicPlayer::Poster poster() {
        return [this](platform::MusicPlayer::Task task) {
            std::lock_guard<std::mutex> lock(mutex_);
            tasks_.push_back(std::move(task));
            arrived_.notify_all();
        };
    }
    bool waitForOne(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        return arrived_.wait_for(lock, timeout, [this] { return !tasks_.empty(); });
    }
    int runAll() {
        std::deque<platform::MusicPlayer::Task> taken;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            taken.swap(tasks_);
        }
        for (auto& task : taken) task();
        return static_cast<int>(taken.size());
    }

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<platform::MusicPlayer::Task> tasks_;
};

template <class Predicate>
bool eventually(Predicate predicate, std::chrono::milliseconds timeout = 5s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::mutex mutex;
    std::condition_variable never;
    std::unique_lock<std::mutex> lock(mutex);
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        never.wait_for(lock, 5ms);  // polls the player's published state
    }
    return true;
}

class MusicPlayerTest : public ::testing::Test {
protected:
    std::unique_ptr<platform::MusicPlayer> openTone(double seconds) {
        kite::test::Tone tone;
        tone.frames = static_cast<std::int64_t>(seconds * tone.sampleRate);
        const std::string path = folder.path() + "/tone.wav";
        if (!kite::test::writeTone(path, tone)) return nullptr;
        std::string error;
        auto player = platform::MusicPlayer::open(path, error);
        EXPECT_TRUE(player) << error;
        return player;
    }
    kite::test::TemporaryFolder folder{"music-player"};
};

TEST_F(MusicPlayerTest, FiniteLoopEndsOnceThroughThePoster) {
    auto player = openTone(0.05);
    ASSERT_TRUE(player);
    PostedTasks main;
    int finished = 0;
    player->setPoster(main.poster());
    player->setFinishHandler([&] { ++finished; });
    player->setNumberOfLoops(1);
    ASSERT_TRUE(player->play());
    EXPECT_TRUE(player->isPlaying());

    ASSERT_TRUE(main.waitForOne(5000ms));
    EXPECT_EQ(finished, 0);  // nothing runs before the owner runs its tasks
    main.runAll();
    EXPECT_EQ(finished, 1);
    EXPECT_FALSE(player->isPlaying());
    EXPECT_DOUBLE_EQ(player->currentTime(), 0.0);
    EXPECT_FALSE(main.waitForOne(200ms));  // and only once
}

TEST_F(MusicPlayerTest, PauseHoldsAndPlayGoesOnFromThere) {
    auto player = openTone(3.0);
    ASSERT_TRUE(player);
    EXPECT_NEAR(player->duration(), 3.0, 1e-6);
    player->play();
    ASSERT_TRUE(eventually([&] { return player->currentTime() > 0.05; }));
    player->pause();
    EXPECT_FALSE(player->isPlaying());
    player->setCurrentTime(2.0);
    EXPECT_DOUBLE_EQ(player->currentTime(), 2.0);
    player->play();
    ASSERT_TRUE(eventually([&] { return player->currentTime() > 2.02; }));
    EXPECT_LT(player->currentTime(), 2.9);
}

TEST_F(MusicPlayerTest, VolumeIsClampedAndLoopsAreKept) {
    auto player = openTone(0.1);
    ASSERT_TRUE(player);
    player->setVolume(1.5f);
    EXPECT_FLOAT_EQ(player->volume(), 1.0f);
    player->setVolume(0.25f);
    EXPECT_FLOAT_EQ(player->volume(), 0.25f);
    player->setNumberOfLoops(-1);
    EXPECT_EQ(player->numberOfLoops(), -1);
}

TEST_F(MusicPlayerTest, DestroyedPlayerDropsItsQueuedEnd) {
    auto player = openTone(0.02);
    ASSERT_TRUE(player);
    PostedTasks main;
    int finished = 0;
    player->setPoster(main.poster());
    player->setFinishHandler([&] { ++finished; });
    player->play();
    ASSERT_TRUE(main.waitForOne(5000ms));
    player.reset();
    main.runAll();
    EXPECT_EQ(finished, 0);
}

TEST_F(MusicPlayerTest, UnreadableFileOpensNoPlayer) {
    folder.put("broken.ogg", "not a sound");
    std::string error;
    EXPECT_FALSE(platform::MusicPlayer::open(folder.path() + "/broken.ogg", error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
