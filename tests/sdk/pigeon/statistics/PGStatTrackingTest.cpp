// Tracking operations: timed pages and events, refusals, accounts, monitor records, life cycle.
#include "StatTestSupport.h"
#include "platform/AppNotifications.h"
#include "sdk/pigeon/statistics/PGStat.h"

namespace pigeon {
namespace test {
namespace {

using Text = PGStatConfig::Text;

class PGStatTracking : public StatTest {
protected:
    void SetUp() override {
        StatTest::SetUp();
        server_ = std::make_unique<StatServer>();
        platform::setNetworkPathForTesting(platform::NetworkPath::WiFi);
        PGStatConfig::getInstance().debugEnable = true;
        captureLog();
        PGStat::startWithAppkey("KEY");
        EXPECT_TRUE(idle());
    }
    void TearDown() override {
        StatTest::TearDown();
        server_.reset();
    }
    std::vector<Json::Value> sent(int type) {
        EXPECT_TRUE(idle());
        std::vector<Json::Value> found;
        for (const Json::Value& event : server_->events()) {
            if (event["et"].asInt() == type) found.push_back(event);
        }
        return found;
    }
    std::unique_ptr<StatServer> server_;
};

TEST_F(PGStatTracking, PageViewsKeepTheirFirstStartAndReferToTheLastPage) {
    PGStat::trackPageViewBegin("menu");
    now_ += 5;
    PGStat::trackPageViewBegin("menu");  // refused: the first start stays
    now_ += 5;
    PGStat::trackPageViewEnd("menu");
    PGStat::trackPageViewEnd("menu");
    EXPECT_TRUE(logged("[ERROR]Duplicate entry page menu"));
    EXPECT_TRUE(logged("[ERROR]NULL entry for page:menu"));
    PGStat::trackPageViewBegin("play");
    PGStat::trackPageViewEnd("play");  // the same second
    const std::vector<Json::Value> views = sent(1);
    ASSERT_EQ(views.size(), 2u);
    EXPECT_EQ(views[0]["du"].asUInt(), 10u);
    EXPECT_FALSE(views[0].isMember("rf"));
    EXPECT_EQ(views[1]["du"].asUInt(), 1u);
    EXPECT_EQ(views[1]["rf"].asString(), "menu");
    EXPECT_FALSE(PGStat::getInstance().currentPage());
}

TEST_F(PGStatTracking, TimedEventsMeetByTheirTimingKey) {
    PGStat::trackCustomEventBegin("id", {"a", "b"});
    now_ += 3;
    PGStat::trackCustomEventEnd("id", {"b", "a"});
    EXPECT_TRUE(logged("[ERROR]NULL key id[ba for event_id:id"));
    PGStat::trackCustomEventEnd("id", {"ab"});
    PGStat::trackCustomKeyValueEventBegin("kv", {{"k", "v"}});
    now_ += 2;
    PGStat::trackCustomKeyValueEventEnd("kv", {{"k", "v"}});
    const std::vector<Json::Value> events = sent(1000);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0]["du"].asInt(), 3);
    EXPECT_EQ(events[0]["ar"][0].asString(), "ab");
    EXPECT_EQ(events[1]["du"].asInt(), 2);
    EXPECT_EQ(events[1]["kv"]["k"].asString(), "v");
}

TEST_F(PGStatTracking, ParallelTimingIsLimited) {
    PGStatConfig::getInstance().maxParallelTimingEvents = 2;
    PGStat::trackCustomEventBegin("a", {});
    PGStat::trackCustomEventBegin("b", {});
    PGStat::trackCustomEventBegin("c", {});
    EXPECT_TRUE(logged("[ERROR]Too many parallel events in memory."));
    PGStat::trackPageViewBegin("p1");
    PGStat::trackPageViewBegin("p2");
    PGStat::trackPageViewBegin("p3");
    EXPECT_TRUE(logged("[ERROR]Too many parallel page events in memory."));
}

TEST_F(PGStatTracking, RefusedArgumentsRecordNothing) {
    PGStat::trackCustomEvent(std::string(), {});  // an empty id is accepted
    PGStat::trackCustomEvent(std::nullopt, {});
    PGStat::trackCustomKeyValueEvent("", {});
    PGStat::trackError("");
    PGStat::trackException(nullptr);
    PGStat::reportAppMonitorStat(PGStatAppMonitorStat{});
    PGStat::trackGameUser(std::nullopt, "w", "l");
    EXPECT_EQ(sent(1000).size(), 1u);
    EXPECT_TRUE(sent(3).empty());
    EXPECT_TRUE(sent(1002).empty());
    EXPECT_TRUE(logged("[ERROR]Failed to trace nil event_id."));
    EXPECT_TRUE(logged("[ERROR]Failed to trace nil/empty event_id."));
    EXPECT_TRUE(logged("[ERROR]Invalid arguments for trackGameUser: null uid."));
}

TEST_F(PGStatTracking, ErrorsExceptionsMonitorsAndGameUsers) {
    PGStat::trackError("it broke");
    const std::runtime_error failure("thrown");
    PGStat::trackException(&failure);
    PGStatAppMonitorStat stat;
    stat.interface = "login";
    stat.consumedMilliseconds = 250;
    PGStat::reportAppMonitorStat(stat);
    PGStat::trackGameUser(std::string("u1"), "w1", "9");
    const std::vector<Json::Value> errors = sent(3);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0]["er"].asString(), "it broke");
    EXPECT_EQ(errors[0]["ea"].asInt(), 0);
    EXPECT_EQ(errors[1]["er"].asString().substr(0, 7), "thrown\n");
    EXPECT_EQ(errors[1]["ea"].asInt(), 1);
    EXPECT_NE(errors[1]["si"].asUInt(), PGStat::currentSessionId());  // a number of its own
    EXPECT_EQ(sent(1002).at(0)["tm"].asInt(), 250);
    EXPECT_EQ(sent(1003).at(0)["lev"].asString(), "9");
}

TEST_F(PGStatTracking, AccountsAndQQNumbers) {
    PGStat::reportAccount(std::nullopt, 3, std::string("ext"));
    EXPECT_EQ(PGStatConfig::getInstance().accountType, 3);
    EXPECT_EQ(PGStatConfig::getInstance().get(Text::accountExt), "ext");
    EXPECT_TRUE(sent(1001).empty());
    PGStat::reportAccount(std::string("alice"), 1, std::nullopt);
    ASSERT_EQ(sent(1001).size(), 1u);
    EXPECT_EQ(sent(1001)[0]["acc"]["a"].asString(), "alice");
    PGStat::reportQQ("555");
    PGStat::reportQQ("555");
    EXPECT_EQ(sent(1001).size(), 3u);
}

TEST_F(PGStatTracking, ResigningActiveEndsThePageAndBecomingActiveResumesIt) {
    PGStat::trackPageViewBegin("play");
    now_ += 4;
    platform::postAppNotification(platform::AppNotification::WillResignActive);
    EXPECT_EQ(PGStat::getInstance().currentPage(), "play");
    now_ += 100;
    platform::postAppNotification(platform::AppNotification::DidBecomeActive);
    now_ += 2;
    PGStat::trackPageViewEnd("play");
    const std::vector<Json::Value> views = sent(1);
    ASSERT_EQ(views.size(), 2u);
    EXPECT_EQ(views[0]["du"].asUInt(), 4u);
    EXPECT_EQ(views[1]["du"].asUInt(), 2u);
    EXPECT_EQ(sent(2).size(), 2u);  // 100 quiet seconds began a session
}

}  // namespace
}  // namespace test
}  // namespace pigeon
