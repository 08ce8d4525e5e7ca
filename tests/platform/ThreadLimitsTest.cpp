// Threads that cannot start (a limit on the player's processes): a work queue without its thread refuses
// work and says why, and the GL driver's rasterizer is given no more threads than can start.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "platform/SerialQueue.h"
#include "platform/ThreadLimits.h"
#include "support/NoThreads.h"

namespace platform {
namespace {

class Noted : public SerialQueue::Job {
public:
    void run() override { std::fprintf(stderr, "the job ran\n"); }
};

// In a process of its own, with no room for a thread.
[[noreturn]] void queueWithoutItsThread() {
    if (!kite::test::startNoMoreThreads()) std::_Exit(2);
    {
        SerialQueue queue("no-room");
        std::fprintf(stderr, "running %s, posted %s, finished %s: %s\n", queue.running() ? "yes" : "no",
                     queue.post(std::make_unique<Noted>()) ? "yes" : "no", queue.finished() ? "yes" : "no",
                     queue.startError().c_str());
    }
    std::_Exit(0);
}

TEST(ThreadLimitsDeathTest, AQueueWhoseThreadCannotStartRefusesItsJobsAndSaysWhy) {
    if (getuid() != 0) GTEST_SKIP() << "needs root to become a user held to the limit";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(queueWithoutItsThread(), ::testing::ExitedWithCode(0),
                "^running no, posted no, finished yes: Resource temporarily unavailable\n$");
}

// In a process of its own, with no room for a thread: the rasterizer was to start four.
[[noreturn]] void rasterizerWithoutRoom() {
    if (!kite::test::startNoMoreThreads()) std::_Exit(2);
    setenv("LP_NUM_THREADS", "4", 1);
    fitThreadsToLimits();
    std::fprintf(stderr, "LP_NUM_THREADS=%s\n", std::getenv("LP_NUM_THREADS"));
    std::_Exit(0);
}

// And with room for all it wants.
[[noreturn]] void rasterizerWithRoom() {
    setenv("LP_NUM_THREADS", "4", 1);
    fitThreadsToLimits();
    std::fprintf(stderr, "LP_NUM_THREADS=%s\n", std::getenv("LP_NUM_THREADS"));
    std::_Exit(0);
}

TEST(ThreadLimitsDeathTest, TheRasterizerIsGivenOnlyTheThreadsThatCanStart) {
    if (getuid() != 0) GTEST_SKIP() << "needs root to become a user held to the limit";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(rasterizerWithoutRoom(), ::testing::ExitedWithCode(0),
                "^platform: only 0 more threads can be started \\(Resource temporarily unavailable\\); the GL driver "
                "draws with 0 of its 4\nLP_NUM_THREADS=0\n$");
    EXPECT_EXIT(rasterizerWithRoom(), ::testing::ExitedWithCode(0), "^LP_NUM_THREADS=4\n$");
}

}  // namespace
}  // namespace platform
