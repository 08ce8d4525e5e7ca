// The statistics module's queues in a process that may start no thread: work waited for runs on the caller,
// other work is dropped and nothing waits for it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "sdk/pigeon/statistics/PGStatSupport.h"
#include "support/NoThreads.h"

namespace pigeon {
namespace {

[[noreturn]] void queueWithoutItsThread() {
    if (!kite::test::startNoMoreThreads()) std::_Exit(2);
    StatQueue queue("no-room");
    bool waited = false, dropped = true;
    queue.sync([&waited] { waited = true; });
    queue.async([&dropped] { dropped = false; });
    const bool idle = StatQueue::waitUntilIdle(std::chrono::milliseconds(0));
    std::fprintf(stderr, "waited-for work %s, other work %s, idle %s\n", waited ? "ran" : "lost",
                 dropped ? "dropped" : "ran", idle ? "yes" : "no");
    std::_Exit(0);
}

TEST(StatQueueDeathTest, WithoutItsThreadWorkWaitedForRunsHereAndOtherWorkIsDropped) {
    if (getuid() != 0) GTEST_SKIP() << "needs root to become a user held to the limit";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        queueWithoutItsThread(), ::testing::ExitedWithCode(0),
        "PGStat: the no-room queue's thread cannot start \\(Resource temporarily unavailable\\); the statistics "
        "it would keep are dropped\nwaited-for work ran, other work dropped, idle yes\n$");
}

}  // namespace
}  // namespace pigeon
