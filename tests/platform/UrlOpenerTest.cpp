#include "platform/UrlOpener.h"

#include <gtest/gtest.h>

#include "support/SchemeHandlers.h"

using kite::test::RecordPipe;
using kite::test::SchemeHandlers;

TEST(UrlOpener, CanOpenOnlyOnceAHandlerIsRegistered) {
    SchemeHandlers& handlers = SchemeHandlers::instance();
    EXPECT_FALSE(platform::canOpenUrl("stargridprobe://anything"));
    EXPECT_FALSE(platform::openUrl("stargridprobe://anything"));

    handlers.registerHandler("stargridprobe", STARGRID_URL_RECORDER " /dev/null");
    EXPECT_TRUE(SchemeHandlers::waitUntil([] { return platform::canOpenUrl("stargridprobe://anything"); }));
    EXPECT_FALSE(platform::canOpenUrl("stargridother://anything"));
}

TEST(UrlOpener, TextWithoutASchemeCannotBeOpened) {
    EXPECT_FALSE(platform::canOpenUrl(""));
    EXPECT_FALSE(platform::canOpenUrl("no scheme here"));
    EXPECT_FALSE(platform::openUrl("://"));
}

TEST(UrlOpener, OpenLaunchesTheHandlerWithTheUrl) {
    SchemeHandlers& handlers = SchemeHandlers::instance();
    RecordPipe record(handlers.path() + "/opened");
    handlers.registerHandler("stargridopen", STARGRID_URL_RECORDER " " + record.path());
    ASSERT_TRUE(SchemeHandlers::waitUntil([] { return platform::canOpenUrl("stargridopen://"); }));

    const std::string url = "stargridopen://app/share?title=%E6%98%9F&x=a%3Db";
    ASSERT_TRUE(platform::openUrl(url));
    EXPECT_EQ(record.read(std::chrono::seconds(20)), url);
}
