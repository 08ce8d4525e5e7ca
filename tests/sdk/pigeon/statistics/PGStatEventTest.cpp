// Events write themselves as JSON with the common envelope and the keys of their kind.
#include "sdk/pigeon/statistics/PGStatEvent.h"

#include "StatTestSupport.h"

namespace pigeon {
namespace test {
namespace {

Json::Value parse(const std::string& text) {
    Json::Value value;
    Json::CharReaderBuilder builder;
    std::string errors;
    std::istringstream stream(text);
    EXPECT_TRUE(Json::parseFromStream(builder, stream, &value, &errors)) << text;
    return value;
}

class PGStatEventJson : public StatTest {};

TEST_F(PGStatEventJson, EnvelopeCarriesTheCommonKeys) {
    PGStatConfig::getInstance().set(PGStatConfig::Text::appkey, "KEY");
    PGStatCustomEvent event;
    event.sid = 77;
    event.eventID = "e";
    const Json::Value d = parse(event.toJsonString(false));
    EXPECT_EQ(d["ts"].asInt64(), now_.load());
    EXPECT_EQ(d["si"].asInt64(), 77);
    EXPECT_EQ(d["idx"].asInt64(), 1);
    EXPECT_EQ(d["sv"].asString(), "1.4.1");
    EXPECT_TRUE(d["ut"].isInt());
    EXPECT_EQ(d["ch"].asString(), "appstore");
    EXPECT_EQ(d["av"].asString(), kTestBundleVersion);
    EXPECT_EQ(d["ui"].asString().size(), 40u);
    EXPECT_EQ(d["mid"].asString(), "none");
    EXPECT_EQ(d["et"].asInt(), 1000);
    EXPECT_EQ(d["ky"].asString(), "KEY");
    EXPECT_FALSE(d.isMember("cui"));
    EXPECT_FALSE(d.isMember("ifa"));
    event.appkey = "OWN";
    PGStatConfig::getInstance().set(PGStatConfig::Text::pushDeviceToken, "token");
    const Json::Value own = parse(event.toJsonString(false));
    EXPECT_EQ(own["ky"].asString(), "OWN");
    EXPECT_EQ(own["mid"].asString(), "token");
}

TEST_F(PGStatEventJson, OnlyCountingEncodingsAdvanceTheIndex) {
    PGStatAdditionEvent event;
    EXPECT_EQ(parse(event.toJsonString())["idx"].asInt64(), 2);
    EXPECT_EQ(parse(event.toJsonString(false))["idx"].asInt64(), 2);
    EXPECT_EQ(parse(event.toJsonString())["idx"].asInt64(), 3);
}

TEST_F(PGStatEventJson, SessionEnvironmentKeepsItsFactsInsideEv) {
    PGStatDataConfigHolder::initSingleton(nullptr);
    PGStatSessionEnv event;
    const Json::Value d = parse(event.toJsonString(false));
    for (const char* key : {"sv", "ut", "ch", "av", "jb"}) EXPECT_FALSE(d.isMember(key)) << key;
    const Json::Value& ev = d["ev"];
    EXPECT_EQ(ev["os"].asInt(), 2);
    EXPECT_EQ(ev["sv"].asString(), "1.4.1");
    EXPECT_EQ(ev["op"].asString(), "");  // set but empty: present
    EXPECT_EQ(ev["cn"].asString(), "CellNetwork");
    EXPECT_EQ(ev["sr"].asString(), "640x1136");
    EXPECT_EQ(parse(ev["wf"].asString())["ss"].asString(), "Not Found");
    EXPECT_TRUE(d["cfg"]["1"].isMember("v"));
}

TEST_F(PGStatEventJson, ErrorTextIsCutAtAHundredLines) {
    std::string text;
    for (int i = 0; i < 150; ++i) text += "line" + std::to_string(i) + (i < 149 ? "\n" : "");
    PGStatErrorEvent event;
    event.error = text;
    event.attr = 1;
    PGStatConfig::getInstance().set(PGStatConfig::Text::account, "acc");
    PGStatConfig::getInstance().set(PGStatConfig::Text::qq, "123");
    const Json::Value d = parse(event.toJsonString(false));
    const std::string reported = d["er"].asString();
    EXPECT_EQ(std::count(reported.begin(), reported.end(), '\n'), 99);
    EXPECT_EQ(reported.substr(reported.size() - 6), "line99");
    EXPECT_EQ(d["ea"].asInt(), 1);
    const Json::Value kv = parse(d["errkv"].asString());
    EXPECT_EQ(kv["qq"].asString(), "123");  // the QQ number wins over the account
    event.error = "a\nb\nc";
    EXPECT_EQ(parse(event.toJsonString(false))["er"].asString(), "a\nb\nc");
}

TEST_F(PGStatEventJson, KindsWriteTheirOwnKeys) {
    PGStatCustomEvent custom;
    custom.eventID = "id";
    EXPECT_FALSE(parse(custom.toJsonString(false)).isMember("du"));
    custom.duration = 1;
    custom.args = std::make_unique<Json::Value>(Json::arrayValue);
    custom.args->append("x");
    Json::Value d = parse(custom.toJsonString(false));
    EXPECT_EQ(d["du"].asInt(), 1);
    EXPECT_EQ(d["ar"][0].asString(), "x");

    PGStatPageView view;
    view.page = "p";
    view.refer = "p";
    EXPECT_EQ(parse(view.toJsonString(false))["rf"].asString(), "-");
    EXPECT_EQ(view.refer, "-");

    PGStatConfig::getInstance().set(PGStatConfig::Text::account, "acc");
    PGStatAccountEvent account;
    d = parse(account.toJsonString(false));
    EXPECT_EQ(d["et"].asInt(), 1001);
    EXPECT_EQ(d["acc"]["a"].asString(), "acc");
    EXPECT_EQ(d["qq"].asString(), "acc");
    EXPECT_EQ(parse(PGStatAdditionEvent().toJsonString(false))["et"].asInt(), 1001);

    PGStatMonitorStatEvent monitor;
    monitor.stat = PGStatAppMonitorStat{};
    EXPECT_FALSE(parse(monitor.toJsonString(false)).isMember("na"));
    monitor.stat->interface = "login";
    d = parse(monitor.toJsonString(false));
    EXPECT_EQ(d["na"].asString(), "login");
    EXPECT_EQ(d["sp"].asInt(), 1);
    EXPECT_EQ(monitor.stat->sampling, 1u);
    EXPECT_EQ(d["op"].asString(), "");
}

}  // namespace
}  // namespace test
}  // namespace pigeon
