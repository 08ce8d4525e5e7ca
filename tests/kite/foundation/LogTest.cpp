#include "kite/foundation/Log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kite {
namespace {

std::vector<std::string> forwarded;
void collect(const char* line) { forwarded.emplace_back(line); }

TEST(Log, LongTextIsCutAndEndsWithANewline) {
    forwarded.clear();
    setLogForwarder(&collect);
    std::string text(20000, 'x');
    testing::internal::CaptureStdout();
    log("%s", text.c_str());
    std::string out = testing::internal::GetCapturedStdout();
    setLogForwarder(nullptr);
    EXPECT_EQ(out.size(), 16381u);
    EXPECT_EQ(out.back(), '\n');
    ASSERT_EQ(forwarded.size(), 1u);
    EXPECT_EQ(forwarded[0], out);
}

TEST(Log, FormatsLikePrintf) {
    testing::internal::CaptureStdout();
    log("frame %d of %s", 3, "main");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "frame 3 of main\n");
}

}  // namespace
}  // namespace kite
