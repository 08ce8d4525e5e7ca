// The statistics core: start, sessions and the send, store or drop decision of each strategy.
#include "sdk/pigeon/statistics/PGStat.h"

#include <future>

#include "StatTestSupport.h"

namespace pigeon {
namespace test {
namespace {

using Text = PGStatConfig::Text;

std::vector<Json::Value> ofType(const std::vector<Json::Value>& events, int type) {
    std::vector<Json::Value> found;
    for (const Json::Value& event : events) {
        if (event["et"].asInt() == type) found.push_back(event);
    }
    return found;
}

class PGStatCore : public StatTest {
protected:
    void start() {
        PGStat::startWithAppkey("KEY");
        ASSERT_TRUE(idle());
    }
    void custom(const std::string& id, bool realTime = false) {
        PGStat::trackCustomEvent(id, {}, std::nullopt, realTime);
    }
};

TEST_F(PGStatCore, StartingAgainAppendsTheKey) {
    PGStat::startWithAppkey("");
    EXPECT_FALSE(PGStatConfig::getInstance().get(Text::appkey));
    PGStat::startWithAppkey("A");
    PGStat::startWithAppkey("B");
    EXPECT_EQ(PGStatConfig::getInstance().get(Text::appkey), "A|B");
    EXPECT_FALSE(PGStat::startWithAppkey("C", "1.5"));
    EXPECT_FALSE(PGStatConfig::getInstance().statEnable);
}

TEST_F(PGStatCore, SessionsBeginAfterThirtyQuietSecondsAndAtMidnight) {
    start();
    const std::uint32_t first = PGStat::currentSessionId();
    EXPECT_NE(first, 0u);
    now_ += 29;
    EXPECT_EQ(PGStat::refreshSession(true, std::nullopt, false), first);
    now_ += 29;
    EXPECT_EQ(PGStat::refreshSession(false, std::nullopt, false), first);  // no idle check
    now_ += 30;
    const std::uint32_t second = PGStat::refreshSession(true, std::nullopt, false);
    EXPECT_NE(second, first);
    now_ += 86400;  // past the next local midnight
    EXPECT_NE(PGStat::refreshSession(false, std::nullopt, false), second);
    PGStat::stopSession();
    const std::uint32_t third = PGStat::currentSessionId();
    EXPECT_NE(PGStat::refreshSession(true, std::nullopt, false), third);
    ASSERT_TRUE(idle());
    // Each session began with its environment event, kept for later on a mobile network.
    EXPECT_EQ(storedRows(), 4u);
}

TEST_F(PGStatCore, EventsAreDecidedOnTheCoresQueueInTheirTurn) {
    start();
    // While the queue is held, a recorded event waits for its decision; then it is stored.
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    PGStat::getInstance().getTaskQueue().async([released] { released.wait(); });
    custom("held");
    PGStatStore::getInstance().waitForQueue();
    EXPECT_EQ(storedRows(), 1u);  // the session's environment only
    release.set_value();
    ASSERT_TRUE(idle());
    EXPECT_EQ(storedRows(), 2u);
}

TEST_F(PGStatCore, WifiSendsAtOnceAndMobileNetworkStores) {
    StatServer server;
    platform::setNetworkPathForTesting(platform::NetworkPath::WiFi);
    start();
    custom("wifi");
    ASSERT_TRUE(idle());
    EXPECT_EQ(ofType(server.events(), 1000).size(), 1u);
    EXPECT_EQ(ofType(server.events(), 2).size(), 1u);
    platform::setNetworkPathForTesting(platform::NetworkPath::Cellular);
    custom("mobile");
    ASSERT_TRUE(idle());
    EXPECT_EQ(storedRows(), 1u);
    // A new session flushes the store first.
    now_ += 60;
    PGStat::startNewSession();
    ASSERT_TRUE(idle());
    EXPECT_EQ(ofType(server.events(), 1000).size(), 2u);
    // The new session's own event is stored behind the flush: it leaves with it or waits.
    EXPECT_EQ(ofType(server.events(), 2).size() + storedRows(), 2u);
}

TEST_F(PGStatCore, RealTimeEventsGoAtOnceOrAreKept) {
    StatServer server;
    PGStatConfig::getInstance().reportStrategy = 6;
    start();
    EXPECT_EQ(storedRows(), 1u);  // the session event, under strategy 6
    custom("now", true);
    ASSERT_TRUE(idle());
    // The stored one leaves first, then the real-time one.
    const std::vector<Json::Value> events = server.events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0]["et"].asInt(), 2);
    EXPECT_EQ(events[1]["ei"].asString(), "now");
    platform::setNetworkPathForTesting(platform::NetworkPath::None);
    custom("later", true);
    ASSERT_TRUE(idle());
    EXPECT_EQ(server.events().size(), 2u);
    EXPECT_EQ(storedRows(), 1u);
}

TEST_F(PGStatCore, StrategySevenSendsOnWifiAndDropsOtherwise) {
    StatServer server;
    PGStatConfig::getInstance().reportStrategy = 7;
    platform::setNetworkPathForTesting(platform::NetworkPath::WiFi);
    start();
    custom("sent");
    ASSERT_TRUE(idle());
    platform::setNetworkPathForTesting(platform::NetworkPath::Cellular);
    custom("dropped");
    ASSERT_TRUE(idle());
    EXPECT_EQ(ofType(server.events(), 1000).size(), 1u);
    EXPECT_EQ(storedRows(), 0u);
}

TEST_F(PGStatCore, BatchStrategySendsFullBatches) {
    StatServer server;
    PGStatConfig::getInstance().reportStrategy = 2;
    PGStatConfig::getInstance().minBatchReportCount = 3;
    start();  // the session event is the first of the batch
    custom("a");
    ASSERT_TRUE(idle());
    EXPECT_TRUE(server.reports().empty());
    custom("b");
    ASSERT_TRUE(idle());
    ASSERT_EQ(server.reports().size(), 1u);
    EXPECT_EQ(server.reports()[0].events.size(), 3u);
    EXPECT_EQ(storedRows(), 0u);
}

TEST_F(PGStatCore, OnlineConfigurationChangesThePolicy) {
    StatServer server;
    server.answer(200, R"({"cfg":{"1":{"c":{"rs":7},"v":2,"m":""}}})");
    platform::setNetworkPathForTesting(platform::NetworkPath::WiFi);
    start();
    EXPECT_EQ(PGStatConfig::getInstance().reportStrategy, 7);
    platform::setNetworkPathForTesting(platform::NetworkPath::Cellular);
    custom("dropped under strategy seven");
    ASSERT_TRUE(idle());
    EXPECT_EQ(storedRows(), 0u);
    EXPECT_TRUE(ofType(server.events(), 1000).empty());
}

TEST_F(PGStatCore, EventsPerSessionAreCapped) {
    PGStatConfig::getInstance().maxSessionStatReportCount = 5;
    start();  // the session event counts
    for (int i = 0; i < 6; ++i) custom("e" + std::to_string(i));
    ASSERT_TRUE(idle());
    EXPECT_EQ(storedRows(), 5u);
    now_ += 60;
    PGStat::startNewSession();
    custom("next session");
    ASSERT_TRUE(idle());
    EXPECT_EQ(storedRows(), 7u);
}

TEST_F(PGStatCore, PeriodicStrategyFlushesAfterItsPeriod) {
    StatServer server;
    PGStatConfig::getInstance().reportStrategy = 5;
    PGStatConfig::getInstance().sendPeriodMinutes = 1;
    start();  // the first event only records the time
    custom("a");
    ASSERT_TRUE(idle());
    EXPECT_TRUE(server.reports().empty());
    now_ += 60;
    custom("b");
    ASSERT_TRUE(idle());
    EXPECT_EQ(ofType(server.events(), 1000).size(), 2u);
}

TEST_F(PGStatCore, QQNumberFollowsEachSessionEvent) {
    StatServer server;
    PGStatConfig::getInstance().set(Text::qq, "12345");
    platform::setNetworkPathForTesting(platform::NetworkPath::WiFi);
    start();
    const std::vector<Json::Value> events = server.events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0]["et"].asInt(), 2);
    EXPECT_EQ(events[1]["et"].asInt(), 1001);
    EXPECT_EQ(events[1]["qq"].asString(), "12345");
}

}  // namespace
}  // namespace test
}  // namespace pigeon
