// The report transport: framing at its size boundary, enciphering, answers and failures.
#include "sdk/pigeon/statistics/PGStatDispatcher.h"

#include <ctime>
#include <future>
#include <regex>

#include "StatTestSupport.h"

namespace pigeon {
namespace test {
namespace {

class PGStatDispatcherTest : public StatTest {
protected:
    // The delivery flag of one batch, or none when the callback never came.
    std::optional<bool> send(std::vector<std::string> texts) {
        auto delivered = std::make_shared<std::promise<bool>>();
        std::future<bool> result = delivered->get_future();
        PGStatDispatcher::getInstance().send(std::move(texts), [delivered](bool ok) { delivered->set_value(ok); });
        if (result.wait_for(std::chrono::seconds(15)) != std::future_status::ready) return std::nullopt;
        return result.get();
    }
    // A JSON text of exactly `size` bytes.
    static std::string textOfSize(std::size_t size) { return "\"" + std::string(size - 2, 'x') + "\""; }
};

TEST_F(PGStatDispatcherTest, BatchesFrom256BytesGoOutCompressedBehindTheirLength) {
    StatServer server;
    EXPECT_EQ(send({textOfSize(253)}), true);  // "[" + 253 + "]" = 255 bytes
    EXPECT_EQ(send({textOfSize(254)}), true);  // 256 bytes
    const std::vector<Report> reports = server.reports();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].encoding, "rc4");
    EXPECT_EQ(reports[0].plain, "[" + textOfSize(253) + "]");
    EXPECT_EQ(reports[1].encoding, "rc4,gzip");
    EXPECT_EQ(reports[1].plain.substr(0, 4), std::string("\x00\x00\x01\x00", 4));
    EXPECT_EQ(reports[1].json, "[" + textOfSize(254) + "]");
    EXPECT_EQ(reports[1].events[0].asString().size(), 252u);
}

TEST_F(PGStatDispatcherTest, BatchJoinsItsEventsInOrder) {
    StatServer server;
    EXPECT_EQ(send({"{\"a\":1}", "{\"b\":2}"}), true);
    ASSERT_EQ(server.reports().size(), 1u);
    EXPECT_EQ(server.reports()[0].json, "[{\"a\":1},{\"b\":2}]");
}

TEST_F(PGStatDispatcherTest, FailuresAreReportedAsNotDelivered) {
    StatServer server;
    server.answer(500, "broken");
    EXPECT_EQ(send({"{}"}), false);
    PGStatConfig::getInstance().set(PGStatConfig::Text::statReportURL, "http://127.0.0.1:1/mstat/report");
    EXPECT_EQ(send({"{}"}), false);
}

TEST_F(PGStatDispatcherTest, OversizedEventIsDroppedAsDeliveredUnlessAnError) {
    StatServer server;
    PGStatCustomEvent custom;
    custom.eventID = std::string(5000, 'c');
    std::optional<bool> delivered;
    PGStatDispatcher::getInstance().sendEvent(custom, [&](bool ok) { delivered = ok; });
    EXPECT_EQ(delivered, true);
    PGStatErrorEvent error;
    error.error = std::string(5000, 'e');
    auto sent = std::make_shared<std::promise<bool>>();
    PGStatDispatcher::getInstance().sendEvent(error, [sent](bool ok) { sent->set_value(ok); });
    auto result = sent->get_future();
    ASSERT_EQ(result.wait_for(std::chrono::seconds(15)), std::future_status::ready);
    EXPECT_TRUE(result.get());
    ASSERT_EQ(server.events().size(), 1u);
    EXPECT_EQ(server.events()[0]["et"].asInt(), 3);
}

TEST_F(PGStatDispatcherTest, TheSizeLimitCountsCharactersNotBytes) {
    StatServer server;
    PGStatCustomEvent custom;
    custom.eventID = "";
    for (int i = 0; i < 1400; ++i) *custom.eventID += "星";  // 4,200 bytes, 1,400 characters
    auto sent = std::make_shared<std::promise<bool>>();
    PGStatDispatcher::getInstance().sendEvent(custom, [sent](bool ok) { sent->set_value(ok); });
    auto result = sent->get_future();
    ASSERT_EQ(result.wait_for(std::chrono::seconds(15)), std::future_status::ready);
    EXPECT_TRUE(result.get());
    ASSERT_EQ(server.events().size(), 1u) << "sent, not dropped";
    EXPECT_EQ(server.events()[0]["ei"].asString(), *custom.eventID);
}

TEST_F(PGStatDispatcherTest, AnswersUpdateTheOnlineConfigurationCipheredOrNot) {
    PGStatDataConfigHolder::initSingleton(nullptr)->resetForTesting();
    StatServer server;
    server.answer(200, R"({"cfg":{"1":{"c":{"rs":2},"v":4,"m":""}}})", false);
    EXPECT_EQ(send({"{}"}), true);
    ASSERT_TRUE(idle());
    EXPECT_EQ(PGStatConfig::getInstance().reportStrategy, 2);
    server.answer(200, R"({"cfg":{"1":{"c":{"rs":6},"v":5,"m":""}}})", true);
    EXPECT_EQ(send({"{}"}), true);
    ASSERT_TRUE(idle());
    EXPECT_EQ(PGStatConfig::getInstance().reportStrategy, 6);
    // An answer that is no JSON still counts as delivered.
    server.answer(200, "not json {", false);
    EXPECT_EQ(send({"{}"}), true);
}

TEST_F(PGStatDispatcherTest, OversizedAnswerIsIgnoredButTheReportCounts) {
    StatServer server;
    server.answer(200,
                  R"({"cfg":{"1":{"c":{"rs":2},"v":9,"m":""}}})" + std::string(PGStatDispatcher::kMaxAnswerBytes, ' '),
                  false);
    EXPECT_EQ(send({"{}"}), true);
    ASSERT_TRUE(idle());
    EXPECT_EQ(PGStatConfig::getInstance().reportStrategy, 3);
}

TEST_F(PGStatDispatcherTest, DeeplyNestedAnswersAreIgnoredAndTheQueueGoesOn) {
    PGStatDataConfigHolder::initSingleton(nullptr)->resetForTesting();
    StatServer server;
    const std::string deep = std::string(1100, '[') + std::string(1100, ']');
    for (const std::string& answer : {deep, R"({"cfg":{"1":{"c":{"rs":2,"x":)" + deep + R"(},"v":4,"m":""}}})"}) {
        server.answer(200, answer, true);
        EXPECT_EQ(send({"{}"}), true);  // the report itself was delivered
        ASSERT_TRUE(idle());
        EXPECT_EQ(PGStatConfig::getInstance().reportStrategy, 3);
    }
    server.answer(200, R"({"cfg":{"1":{"c":{"rs":2},"v":4,"m":""}}})", true);
    EXPECT_EQ(send({"{}"}), true);
    ASSERT_TRUE(idle());
    EXPECT_EQ(PGStatConfig::getInstance().reportStrategy, 2);
}

TEST(PGStatDispatcherHelpers, SpeedStringsBecomeAddressesAndEmptyPiecesAreSkipped) {
    EXPECT_EQ(PGStatDispatcher::splitSpeedString("10.0.0.1,80;;speed.test,8080;"),
              (std::vector<std::string>{"http://10.0.0.1:80", "http://speed.test:8080"}));
    EXPECT_TRUE(PGStatDispatcher::splitSpeedString("").empty());
    EXPECT_TRUE(PGStatDispatcher::splitSpeedString(";;").empty());
}

TEST(PGStatDispatcherHelpers, TheCurrentTimeIsLocalWithMilliseconds) {
    auto localSecond = [] {
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        char text[32];
        std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", &local);
        return std::string(text);
    };
    const std::string before = localSecond();
    const std::string now = PGStatDispatcher::GetCurTime();
    const std::string after = localSecond();
    EXPECT_TRUE(std::regex_match(now, std::regex(R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}:\d{3})"))) << now;
    EXPECT_TRUE(now.substr(0, 19) == before || now.substr(0, 19) == after) << now;
    PGStatDispatcher::getInstance().close();
}

}  // namespace
}  // namespace test
}  // namespace pigeon
