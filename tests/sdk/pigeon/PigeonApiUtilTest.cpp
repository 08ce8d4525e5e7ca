#include "sdk/pigeon/PigeonApiUtil.h"

#include <gtest/gtest.h>

#include "platform/DeviceProfile.h"
#include "platform/Pasteboard.h"
#include "sdk/pigeon/PigeonFixture.h"
#include "support/BinaryPlistBuilder.h"

using namespace pigeon;
using platform::PlistValue;

namespace {
using PigeonApiUtilTest = test::PigeonTest;
}

TEST_F(PigeonApiUtilTest, BuildsTheMessengerAndApplicationUrls) {
    EXPECT_EQ(PigeonApiUtil::getPigeonUrl("pg1"), "pigeon://app/pg1/");
    EXPECT_EQ(PigeonApiUtil::getPigeonUrl("pg1", ""), "pigeon://app/pg1/");
    EXPECT_EQ(PigeonApiUtil::getPigeonUrl("pg1", "sendreq/?"), "pigeon://app/pg1/sendreq/?");
    EXPECT_EQ(PigeonApiUtil::getPigeonUrl(""), "");
    EXPECT_EQ(PigeonApiUtil::getAppUrl("pg1"), "pg1://");
    EXPECT_EQ(PigeonApiUtil::getAppUrlWithPlatformId("pg1"), "pg1://platformId=pigeon");
    EXPECT_EQ(PigeonApiUtil::getAppUrlWithPlatformId("pg1", "a=1"), "pg1://platformId=pigeon/a=1");
    EXPECT_TRUE(PigeonApiUtil::isAppOpenUrl("pg1://pigeon/sendresp/?", "pg1"));
    EXPECT_FALSE(PigeonApiUtil::isAppOpenUrl("pg12://x", "pg1"));
    EXPECT_FALSE(PigeonApiUtil::isAppOpenUrl("pg1://x", ""));
}

TEST_F(PigeonApiUtilTest, SystemVersionAndScreenKindAreReadOnce) {
    useSystemVersion("6.1.3");
    EXPECT_FALSE(PigeonApiUtil::isiOS7plus());
    setenv("STARGRID_SYSTEM_VERSION", "8.0", 1);
    EXPECT_FALSE(PigeonApiUtil::isiOS7plus()) << "kept from the first call";
    useSystemVersion("7.0");
    EXPECT_TRUE(PigeonApiUtil::isiOS7plus());

    const platform::DeviceProfile phone = platform::currentDeviceProfile();
    EXPECT_TRUE(PigeonApiUtil::is2xScreen());
    platform::setCurrentDeviceProfile(*platform::deviceProfileNamed("ipad"));
    PigeonApiUtil::resetCachesForTesting();
    EXPECT_FALSE(PigeonApiUtil::is2xScreen());
    platform::setCurrentDeviceProfile(phone);
}

TEST_F(PigeonApiUtilTest, SdkVersionComesFromTheMessengersPasteboardOrItsApiScheme) {
    EXPECT_EQ(PigeonApiUtil::getSDKVersion(), "");
    EXPECT_FALSE(platform::Pasteboard::named("pigeon_sdk_infomation", false)) << "asking does not make it";

    auto information = platform::Pasteboard::named("pigeon_sdk_infomation", true);
    information->setPropertyList("content", PlistValue(PlistValue::Dictionary{{"version", PlistValue("1.6")}}));
    EXPECT_EQ(PigeonApiUtil::getSDKVersion(), "1.6");
    information->setPropertyList("content", PlistValue(PlistValue::Dictionary{{"version", PlistValue::integer(2)}}));
    EXPECT_EQ(PigeonApiUtil::_internal_getSDKVersion(), std::nullopt);

    kite::test::SchemeHandlers::instance().registerHandler("pigeonapi", "/bin/true");
    EXPECT_TRUE(kite::test::SchemeHandlers::waitUntil([] { return PigeonApiUtil::getSDKVersion() == "1.0"; }));
}

TEST_F(PigeonApiUtilTest, Base64RoundTripsAndRefusesWhatIsNotBase64) {
    EXPECT_EQ(PigeonApiUtil::EncodeBase64("13800138000"), "MTM4MDAxMzgwMDA=");
    EXPECT_EQ(PigeonApiUtil::DecodeBase64("MTM4MDAxMzgwMDA="), "13800138000");
    EXPECT_EQ(PigeonApiUtil::DecodeBase64("MTM4MDAxMzgwMDA"), "13800138000") << "an unpadded last group decodes";
    EXPECT_EQ(PigeonApiUtil::DecodeBase64(*PigeonApiUtil::EncodeBase64("星星")), "星星");
    EXPECT_EQ(PigeonApiUtil::NsDataEncodeBase64(Bytes{0xff, 0}), "/wA=");
    EXPECT_EQ(PigeonApiUtil::DecodeWithBase64("/wA="), (Bytes{0xff, 0}));
    EXPECT_FALSE(PigeonApiUtil::EncodeBase64(""));
    EXPECT_FALSE(PigeonApiUtil::NsDataEncodeBase64(Bytes{}));
    EXPECT_FALSE(PigeonApiUtil::DecodeWithBase64(""));
    EXPECT_FALSE(PigeonApiUtil::DecodeWithBase64("MTM4*DAx"));
    EXPECT_FALSE(PigeonApiUtil::DecodeBase64("/w==")) << "not UTF-8 text";
}

TEST_F(PigeonApiUtilTest, UrlArgumentsSurviveEscapingAndUnescaping) {
    const std::string hard = "消灭 星星 & a=b=c #1 100% +/?";
    const std::string escaped = pgApi_stringByEscapingForURLArgument(hard);
    EXPECT_EQ(escaped.find_first_of(" &=#%+/?"), escaped.find('%'));
    EXPECT_EQ(escaped.find_first_of(" &=#+/?"), std::string::npos);
    EXPECT_EQ(pgApi_stringByUnescapingFromURLArgument(escaped), hard);
    EXPECT_EQ(pgApi_stringByEscapingForURLArgument("a-b_c.d~e"), "a-b_c.d~e");

    EXPECT_EQ(pgApi_stringByEscapingForURLArgumentOnly("a b/c?d=e&f#g%20星"), "a%20b/c?d=e&f%23g%20%E6%98%9F");
    EXPECT_EQ(pgApi_stringByUnescapingFromURLArgument("a+b%2Bc%zz%4"), "a b+c%zz%4");
    EXPECT_EQ(pgApi_stringByEncodeByJsonAndUrlEncode("\\X41\\x42+\\xE6\\x98\\x9F"), "AB 星");
}

TEST_F(PigeonApiUtilTest, AListWhoseSharedObjectsDecodePastTheBudgetIsRefusedWithALogLine) {
    // Under 4 KB that decode to 62,500 copies of 3,300 bytes.
    kite::test::BinaryPlistBuilder plist;
    const auto list = plist.build(kite::test::addSharedFanOut(plist, 3300, 250));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(PigeonApiUtil::propertyListFromData(Bytes(list.begin(), list.end())));
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("PigeonApiUtil: not a property list: decodes to more than "), std::string::npos) << log;
}
