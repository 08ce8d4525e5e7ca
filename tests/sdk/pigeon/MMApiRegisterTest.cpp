// The registration record on the "pigeon_register" pasteboard and the start of statistics.
#include "sdk/pigeon/MMApiRegister.h"

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "PigeonFixture.h"
#include "platform/AppNotifications.h"
#include "platform/DeviceProfile.h"
#include "platform/PlistXml.h"
#include "support/BinaryPlistBuilder.h"

namespace pigeon {
namespace {

using Dictionary = MMApiRegister::Dictionary;

class MMApiRegisterTest : public test::PigeonTest {
protected:
    void SetUp() override {
        PigeonTest::SetUp();
        setenv("STARGRID_RESOURCES", bundle_.path().c_str(), 1);
        writeInfo(R"(<key>CFBundleIdentifier</key><string>com.quarnwell.stargrid</string>
                     <key>CFBundleName</key><string>stargrid</string>
                     <key>CFBundleDisplayName</key><string>Stargrid</string>)");
        bundle_.put("Icon.png", "one-x icon");
        bundle_.put("Icon@2x.png", "two-x icon");
        MMApiRegister::setClockForTesting([this] { return now_; });
        useProfile("iphone5");
    }
    void TearDown() override {
        MMApiRegister::setClockForTesting(nullptr);
        MMApiRegister::setStatisticsHooks({});
        unsetenv("STARGRID_RESOURCES");
        useProfile("iphone5");
        PigeonTest::TearDown();
    }

    void writeInfo(const std::string& entries) {
        bundle_.put("Info.plist", "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>" + entries + "</dict></plist>");
    }
    static void useProfile(const char* name) {
        platform::setCurrentDeviceProfile(*platform::deviceProfileNamed(name));
        PigeonApiUtil::resetCachesForTesting();
    }
    static Dictionary all() {
        auto pasteboard = platform::Pasteboard::named("pigeon_register", false);
        if (!pasteboard) return {};
        return MMApiRegister::getRegisterDictionary(*pasteboard).value_or(Dictionary());
    }
    static Dictionary entry(const std::string& appid) {
        const Dictionary everything = all();
        const auto found = everything.find(appid);
        return found != everything.end() && found->second.asDictionary() ? *found->second.asDictionary() : Dictionary();
    }
    static std::string text(const Dictionary& entry, const char* key) {
        const auto found = entry.find(key);
        return found != entry.end() && found->second.asString() ? *found->second.asString() : "<none>";
    }
    static std::string iconText(const Dictionary& entry) {
        const auto found = entry.find("appIcon");
        if (found == entry.end() || !found->second.asData()) return "<none>";
        return std::string(found->second.asData()->begin(), found->second.asData()->end());
    }

    kite::test::TemporaryFolder bundle_{"stargrid-bundle"};
    std::uint32_t now_ = 1700000000;
};

TEST_F(MMApiRegisterTest, TheRecordCarriesTheApplicationAndKeepsItsFirstLaunch) {
    ASSERT_TRUE(MMApiRegister::registerApp("pg5e18c0a7d94b2f63"));
    Dictionary first = entry("pg5e18c0a7d94b2f63");
    EXPECT_EQ(text(first, "appID"), "pg5e18c0a7d94b2f63");
    EXPECT_EQ(text(first, "appIdentifier"), "com.quarnwell.stargrid");
    EXPECT_EQ(text(first, "appName"), "Stargrid");
    EXPECT_EQ(text(first, "firstLaunchTime"), "1700000000");
    EXPECT_EQ(text(first, "laststLaunchTime"), "1700000000");
    EXPECT_EQ(text(first, "appDescriptionSDK"), "<none>");
    EXPECT_EQ(iconText(first), "two-x icon") << "the phone profiles have 2x screens";

    now_ = 1700000500;
    ASSERT_TRUE(MMApiRegister::registerApp("pg5e18c0a7d94b2f63", "消灭星星"));
    Dictionary second = entry("pg5e18c0a7d94b2f63");
    EXPECT_EQ(text(second, "firstLaunchTime"), "1700000000");
    EXPECT_EQ(text(second, "laststLaunchTime"), "1700000500");
    EXPECT_EQ(text(second, "appDescriptionSDK"), "消灭星星");
}

TEST_F(MMApiRegisterTest, TheFirstLaunchOutlivesTheSessionAndTheRecordIsABinaryList) {
    ASSERT_TRUE(MMApiRegister::registerApp("pg5e18c0a7d94b2f63"));
    // Logging out empties the runtime folder; the record is persistent.
    std::filesystem::remove_all(platform::Pasteboard::folder());
    now_ += 3600;
    ASSERT_TRUE(MMApiRegister::registerApp("pg5e18c0a7d94b2f63"));
    const Dictionary later = entry("pg5e18c0a7d94b2f63");
    EXPECT_EQ(text(later, "firstLaunchTime"), "1700000000");
    EXPECT_EQ(text(later, "laststLaunchTime"), "1700003600");

    const auto content = platform::Pasteboard::named("pigeon_register", false)->data("content");
    ASSERT_TRUE(content);
    EXPECT_EQ(std::string(content->begin(), content->begin() + 8), "bplist00");
}

TEST_F(MMApiRegisterTest, OtherApplicationsStayAndADamagedRecordIsReplaced) {
    auto pasteboard = platform::Pasteboard::named("pigeon_register", true);
    ASSERT_TRUE(pasteboard->setData("content", {'n', 'o', 't', ' ', 'a', ' ', 'p', 'l', 'i', 's', 't'}));
    ASSERT_TRUE(MMApiRegister::registerApp("pgother"));
    EXPECT_EQ(all().size(), 1u);
    ASSERT_TRUE(MMApiRegister::registerApp("pgmine"));
    EXPECT_EQ(all().size(), 2u);
    EXPECT_EQ(text(entry("pgother"), "appID"), "pgother");

    EXPECT_FALSE(MMApiRegister::registerApp(""));
}

TEST_F(MMApiRegisterTest, ARecordWhoseSharedObjectsDecodePastTheBudgetIsReplaced) {
    // Another program's record: under 4 KB naming an application, with 62,500 copies of 3,300 bytes beside it.
    kite::test::BinaryPlistBuilder plist;
    const std::size_t padding = kite::test::addSharedFanOut(plist, 3300, 250);
    const std::size_t other = plist.dictionary({plist.ascii("appID")}, {plist.ascii("pgother")});
    const auto record =
        plist.build(plist.dictionary({plist.ascii("pgother"), plist.ascii("padding")}, {other, padding}));
    auto pasteboard = platform::Pasteboard::named("pigeon_register", true);
    ASSERT_TRUE(pasteboard->setData("content", Bytes(record.begin(), record.end())));
    testing::internal::CaptureStderr();
    ASSERT_TRUE(MMApiRegister::registerApp("pgmine"));
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("PigeonApiUtil: not a property list: decodes to more than "), std::string::npos) << log;
    EXPECT_EQ(all().size(), 1u);
    EXPECT_EQ(text(entry("pgmine"), "appID"), "pgmine");
}

TEST_F(MMApiRegisterTest, ADescriptionLongerThan1024CharactersIsLeftOut) {
    ASSERT_TRUE(MMApiRegister::registerApp("pgapp", std::string(1025, 'd')));
    EXPECT_EQ(text(entry("pgapp"), "appDescriptionSDK"), "<none>");
    ASSERT_TRUE(MMApiRegister::registerApp("pgapp", std::string(1024, 'd')));
    EXPECT_EQ(text(entry("pgapp"), "appDescriptionSDK"), std::string(1024, 'd'));
}

TEST_F(MMApiRegisterTest, TheIconFollowsTheScreenAndTheNameFallsBack) {
    writeInfo(R"(<key>CFBundleName</key><string>stargrid</string>
                 <key>CFBundleDisplayName</key><string></string>
                 <key>CFBundleIconFiles</key><array><string>Icon.png</string><string>Icon@2x.png</string></array>)");
    ASSERT_TRUE(MMApiRegister::registerApp("pgapp"));
    EXPECT_EQ(iconText(entry("pgapp")), "two-x icon");
    EXPECT_EQ(text(entry("pgapp"), "appName"), "stargrid");
    EXPECT_EQ(text(entry("pgapp"), "appIdentifier"), "<none>");

    useProfile("ipad");
    ASSERT_TRUE(MMApiRegister::registerApp("pgapp"));
    EXPECT_EQ(iconText(entry("pgapp")), "one-x icon");

    // A named icon that cannot be read falls back to "Icon.png".
    writeInfo("<key>CFBundleIconFile</key><string>Missing.png</string>");
    ASSERT_TRUE(MMApiRegister::registerApp("pgapp"));
    EXPECT_EQ(iconText(entry("pgapp")), "one-x icon");

    // Without an information list no icon is looked for.
    ::unlink((bundle_.path() + "/Info.plist").c_str());
    ASSERT_TRUE(MMApiRegister::registerApp("pgapp"));
    EXPECT_EQ(iconText(entry("pgapp")), "<none>");
    EXPECT_EQ(text(entry("pgapp"), "appID"), "pgapp");
}

TEST_F(MMApiRegisterTest, StatisticsStartForTheIdAndHearOfEachMoveToTheBackground) {
    std::vector<std::string> started;
    int backgrounds = 0;
    MMApiRegister::setStatisticsHooks({[&](const std::string& id) { started.push_back(id); }, [&] { ++backgrounds; }});
    // Registrations of earlier tests in this process observe as well.
    platform::postAppNotification(platform::AppNotification::DidEnterBackground);
    const int earlier = backgrounds;
    backgrounds = 0;
    // Statistics start even when the record cannot be written.
    setenv("XDG_RUNTIME_DIR", "/proc/no-such-folder", 1);
    EXPECT_FALSE(MMApiRegister::registerApp("pgapp"));
    setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
    EXPECT_TRUE(MMApiRegister::registerApp("pgapp"));
    EXPECT_EQ(started, (std::vector<std::string>{"pgapp", "pgapp"}));

    platform::postAppNotification(platform::AppNotification::DidEnterBackground);
    EXPECT_EQ(backgrounds, earlier + 2) << "one observation per registration";
}

}  // namespace
}  // namespace pigeon
