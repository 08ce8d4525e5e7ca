#include "kite/foundation/FrameCosts.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "support/LogCapture.h"
#include "support/ScopedLocale.h"
#include "support/TemporaryFolder.h"

namespace kite {
namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::Not;

// Keeps the thread busy for the CPU time given.
void spin(double seconds) {
    const double end = platform::threadCpuSeconds() + seconds;
    volatile unsigned sink = 0;
    while (platform::threadCpuSeconds() < end) sink = sink + 1;
}

class FrameCostsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.made());
        FrameCosts::recordTo(path());
    }
    void TearDown() override { FrameCosts::recordTo(""); }

    std::string path() const { return folder_.path() + "/costs.txt"; }
    std::vector<std::string> lines() const {
        std::ifstream in(path());
        std::vector<std::string> out;
        for (std::string line; std::getline(in, line);) out.push_back(line);
        return out;
    }

    test::TemporaryFolder folder_{"stargrid-frame-costs"};
};

TEST_F(FrameCostsTest, EachFrameIsOneLineWithItsCostliestStepsFirst) {
    {
        FrameCosts::Scope outer("update");
        FrameCosts::Scope inner("image decode");
        spin(0.02);
    }
    FrameCosts::frameEnded(7);
    FrameCosts::frameEnded(8);
    const std::vector<std::string> written = lines();
    ASSERT_EQ(written.size(), 2u);
    // The nested step's time is its own, not its caller's too.
    EXPECT_THAT(written[0], MatchesRegex("frame 7: [0-9.]+ ms; image decode [0-9.]+, .*"));
    EXPECT_THAT(written[0], HasSubstr("update"));
    std::istringstream fields(written[0]);
    std::string frame, number;
    double total = 0.0;
    fields >> frame >> number >> total;
    EXPECT_GE(total, 20.0);
    // Nothing was timed in the second frame.
    EXPECT_THAT(written[1], Not(HasSubstr("image decode")));
}

TEST_F(FrameCostsTest, StepsOnOtherThreadsAreNotCounted) {
    std::thread([] {
        FrameCosts::Scope loading("image decode");
        spin(0.005);
    }).join();
    FrameCosts::frameEnded(1);
    const std::vector<std::string> written = lines();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_THAT(written[0], Not(HasSubstr("image decode")));
}

TEST_F(FrameCostsTest, TimesKeepTheirDecimalPointUnderADecimalCommaLocale) {
    test::DecimalComma comma;
    ASSERT_TRUE(comma.active());
    {
        FrameCosts::Scope step("update");
        spin(0.001);
    }
    FrameCosts::frameEnded(1);
    const std::vector<std::string> written = lines();
    ASSERT_EQ(written.size(), 1u);
    EXPECT_THAT(written[0], MatchesRegex("frame 1: [0-9]+\\.[0-9]{3} ms; (update|other) [0-9]+\\.[0-9]{3}.*"));
    EXPECT_THAT(written[0], Not(HasSubstr(",0"))) << "a decimal comma";
}

TEST(FrameCostsOff, NothingIsRecordedWithoutAFile) {
    FrameCosts::recordTo("");
    EXPECT_EQ(FrameCosts::active(), nullptr);
    FrameCosts::Scope step("update");  // a no-op
    FrameCosts::frameEnded(1);
    EXPECT_EQ(FrameCosts::active(), nullptr);
}

TEST(FrameCostsOff, AFileThatCannotBeWrittenIsSaid) {
    test::LogCapture log;
    FrameCosts::recordTo("/nonexistent/costs.txt");
    EXPECT_EQ(FrameCosts::active(), nullptr);
    FrameCosts::frameEnded(1);
    EXPECT_EQ(log.text(),
              "FrameCosts: cannot write /nonexistent/costs.txt: No such file or directory; frame costs are not "
              "recorded\n");
}

// A file that opens but takes nothing (a full disk) is said once, as one that cannot be opened is.
TEST(FrameCostsOff, AFileThatTakesNoMoreIsSaidOnce) {
    test::LogCapture log;
    FrameCosts::recordTo("/dev/full");
    ASSERT_NE(FrameCosts::active(), nullptr);
    for (unsigned frame = 1; frame <= 3; ++frame) FrameCosts::frameEnded(frame);
    FrameCosts::recordTo("");
    EXPECT_EQ(log.text(), "FrameCosts: cannot write /dev/full: No space left on device; frame costs are not recorded\n");
}

// A FIFO is refused, never waited on: with a reader there (which the open would take) and without one.
TEST(FrameCostsOff, AFifoIsRefusedWithoutWaitingOnIt) {
    test::TemporaryFolder folder("stargrid-frame-costs");
    const std::string fifo = folder.path() + "/costs.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    test::LogCapture log;
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    FrameCosts::recordTo(fifo);
    ::close(reader);
    ASSERT_EQ(FrameCosts::active(), nullptr);
    FrameCosts::recordTo(fifo);
    EXPECT_EQ(FrameCosts::active(), nullptr);
    const std::string said =
        "FrameCosts: cannot write " + fifo + ": not a regular file (a FIFO); frame costs are not recorded\n";
    EXPECT_EQ(log.text(), said + said);
}

}  // namespace
}  // namespace kite
