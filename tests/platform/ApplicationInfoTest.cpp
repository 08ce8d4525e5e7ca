// The application's identifier and version come from the bundle's Info.plist as it stands now.
#include "platform/ApplicationInfo.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "support/TemporaryFolder.h"

namespace {

class ApplicationInfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(bundle_.made());
        const char* resources = std::getenv("STARGRID_RESOURCES");
        if (resources) saved_ = resources;
        hadResources_ = resources != nullptr;
        setenv("STARGRID_RESOURCES", bundle_.path().c_str(), 1);
    }
    void TearDown() override {
        if (hadResources_)
            setenv("STARGRID_RESOURCES", saved_.c_str(), 1);
        else
            unsetenv("STARGRID_RESOURCES");
    }
    void writeInfo(const std::string& entries) {
        bundle_.put("Info.plist", "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>" + entries + "</dict></plist>");
    }

    kite::test::TemporaryFolder bundle_{"bundle"};
    std::string saved_;
    bool hadResources_ = false;
};

TEST_F(ApplicationInfoTest, IdentifierAndVersionFollowTheInfoList) {
    writeInfo(
        "<key>CFBundleIdentifier</key><string>org.example.grid</string>"
        "<key>CFBundleShortVersionString</key><string>2.5</string>"
        "<key>CFBundleVersion</key><string>25</string>");
    EXPECT_EQ(platform::bundleIdentifier(), "org.example.grid");
    EXPECT_EQ(platform::bundleShortVersion(), "2.5");
    // A version bump is seen at once, without a restart of the reader.
    writeInfo(
        "<key>CFBundleIdentifier</key><string>org.example.grid</string>"
        "<key>CFBundleShortVersionString</key><string>2.6</string>");
    EXPECT_EQ(platform::bundleShortVersion(), "2.6");
}

TEST_F(ApplicationInfoTest, VersionFallsBackToTheBundleVersion) {
    writeInfo("<key>CFBundleVersion</key><string>31</string>");
    EXPECT_EQ(platform::bundleShortVersion(), "31");
    writeInfo("<key>CFBundleShortVersionString</key><string></string><key>CFBundleVersion</key><string>32</string>");
    EXPECT_EQ(platform::bundleShortVersion(), "32");
}

TEST_F(ApplicationInfoTest, NothingIsMadeUpWhenTheListNamesNothing) {
    EXPECT_EQ(platform::bundleIdentifier(), "") << "no Info.plist at all";
    EXPECT_EQ(platform::bundleShortVersion(), "");
    writeInfo("<key>CFBundleIdentifier</key><integer>7</integer><key>CFBundleVersion</key><true/>");
    EXPECT_EQ(platform::bundleIdentifier(), "");
    EXPECT_EQ(platform::bundleShortVersion(), "");
}

}  // namespace
