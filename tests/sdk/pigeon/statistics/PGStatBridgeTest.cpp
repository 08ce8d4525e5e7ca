// The bridge: registration starts the module with a derived key, the background is recorded.
#include "sdk/pigeon/statistics/PGStatBridge.h"

#include "StatTestSupport.h"

namespace pigeon {
namespace test {
namespace {

class PGStatBridgeTest : public StatTest {};

TEST_F(PGStatBridgeTest, KeyIsThePrefixAndTheApplicationId) {
    captureLog();
    EXPECT_FALSE(PGStatBridge::ConvertPGappkey(std::nullopt));
    EXPECT_TRUE(logged("[WARN]appkey is nil"));
    const std::optional<std::string> key = PGStatBridge::ConvertPGappkey(std::string("wx1234567890abcdef"));
    ASSERT_TRUE(key);
    EXPECT_EQ(key->size(), 23u);
    EXPECT_EQ(key->substr(5), "wx1234567890abcdef");
}

TEST_F(PGStatBridgeTest, RegistrationStartsASessionAndTheBackgroundReachesTheServer) {
    StatServer server;
    PGStatBridge::startWithAppkey(std::string("wx1234567890abcdef"));
    ASSERT_TRUE(idle());
    EXPECT_TRUE(server.reports().empty());  // a mobile network: the session event waits
    EXPECT_EQ(storedRows(), 1u);
    PGStatBridge::onBackground();
    PGStatBridge::onBackground();
    ASSERT_TRUE(idle());
    const std::vector<Json::Value> events = server.events();
    ASSERT_EQ(events.size(), 3u);
    int sessions = 0, backgrounds = 0;
    for (const Json::Value& event : events) {
        EXPECT_EQ(event["ky"].asString(), *PGStatBridge::getInstance().appkey());
        sessions += event["et"].asInt() == 2;
        backgrounds += event["ei"].asString() == "onBackground_PG" && !event.isMember("kv");
    }
    EXPECT_EQ(sessions, 1);
    EXPECT_EQ(backgrounds, 2);
    EXPECT_EQ(storedRows(), 0u);
}

}  // namespace
}  // namespace test
}  // namespace pigeon
