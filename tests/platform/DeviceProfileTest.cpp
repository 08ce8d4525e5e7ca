#include "platform/DeviceProfile.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(DeviceProfile, NamesGiveTheScreenSizesAndTallIphoneIsTheDefault) {
    EXPECT_STREQ(currentDeviceProfile().name, "iphone5");
    auto iphone4 = deviceProfileNamed("iphone4");
    ASSERT_TRUE(iphone4);
    EXPECT_EQ(iphone4->width, 640);
    EXPECT_EQ(iphone4->height, 960);
    auto ipad = deviceProfileNamed("ipad");
    ASSERT_TRUE(ipad);
    EXPECT_EQ(ipad->width, 768);
    EXPECT_EQ(ipad->height, 1024);
    EXPECT_TRUE(ipad->pad);
    EXPECT_FALSE(deviceProfileNamed("iphone6"));
    EXPECT_FALSE(deviceProfileNamed(""));
    setCurrentDeviceProfile(*ipad);
    EXPECT_STREQ(currentDeviceProfile().name, "ipad");
}

TEST(DeviceProfile, TheValidNamesAreListedForAMessage) { EXPECT_EQ(deviceProfileNames(), "iphone4, iphone5, ipad"); }

}  // namespace
}  // namespace platform
