#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "ServerTestSupport.h"
#include "support/TemporaryFolder.h"

namespace stargrid_server::test {
namespace {

Json::Value scoreBody(const std::string& phone, const std::string& game, const std::string& level,
                      const std::string& history, const std::string& remain) {
    Json::Value body;
    body["devicetype"] = "0";
    body["cellphone"] = phone;
    body["gameid"] = game;
    body["level"] = level;
    body["score"] = history;
    body["remain"] = remain;
    return body;
}

Json::Value phoneBody(const std::string& phone) {
    Json::Value body;
    body["devicetype"] = "0";
    body["cellphone"] = phone;
    return body;
}

using GameServerTest = ServerTest;

TEST_F(GameServerTest, BootstrapPageNamesTheBaseOfEveryOtherRequest) {
    Json::Value reply = get("/bus_ser_ios.html");
    EXPECT_EQ(reply["code"].asString(), "0000");
    EXPECT_EQ(reply["bodymessage"].asString(), server->url("/game"));
}

TEST_F(GameServerTest, FirstLoginBindsThePasswordAndLaterOnesMustMatchIt) {
    EXPECT_EQ(login("13812345678", "MTIzNA==")["code"].asString(), "0000");
    EXPECT_EQ(login("13812345678", "OTk5OQ==")["code"].asString(), "1111");
    EXPECT_EQ(login("not-a-phone", "MTIzNA==")["code"].asString(), "1001");
    Json::Value reply = login("13812345678", "MTIzNA==");
    EXPECT_EQ(reply["bodymessage"]["score"].asString(), "0");
    EXPECT_EQ(reply["bodymessage"]["gametag"].asString(), "1");
}

TEST_F(GameServerTest, DiamondsCreditedToAnAccountAreHandedOverByOneLoginOnly) {
    Json::Value seed;
    seed["cellphone"] = "13812345678";
    seed["password"] = "MTIzNA==";
    seed["diamond"] = 5;
    seed["score"] = 4200;
    ASSERT_TRUE(control("/control/account", seed));
    Json::Value first = login("13812345678", "MTIzNA==");
    EXPECT_EQ(first["bodymessage"]["diamond"].asString(), "5");
    EXPECT_EQ(first["bodymessage"]["score"].asString(), "4200");
    EXPECT_EQ(login("13812345678", "MTIzNA==")["bodymessage"]["diamond"].asString(), "0");
}

TEST_F(GameServerTest, ALevelCountsOnlyWhenItsGroupsAndLeftPiecesCoverTheBoard) {
    login("13812345678", "MTIzNA==");
    // 95 popped and 5 left: 10x10 cells. 9 groups of 10 and one of 5: 9*500 + 125, bonus 2000 - 500.
    const std::string history = "10|10|10|10|10|10|10|10|10|5";
    Json::Value counted = post("/game/SubmitScore", scoreBody("13812345678", "{G}", "1", history, "5"));
    EXPECT_EQ(counted["code"].asString(), "0000");
    EXPECT_EQ(counted["bodymessage"]["score"].asString(), "6125");
    EXPECT_EQ(
        post("/game/SubmitScore", scoreBody("13812345678", "{G}", "1", "10|10|10|10|10|10|10|10|10|4", "5"))["code"]
            .asString(),
        "3001");
    // The same level again is not counted twice.
    EXPECT_EQ(post("/game/SubmitScore", scoreBody("13812345678", "{G}", "1", history, "5"))["bodymessage"]["total"]
                  .asString(),
              "6125");
    EXPECT_EQ(post("/game/SubmitScore", scoreBody("13900000000", "{G}", "1", history, "5"))["code"].asString(), "1002");
    EXPECT_EQ(login("13812345678", "MTIzNA==")["bodymessage"]["score"].asString(), "6125");
}

TEST_F(GameServerTest, ABombedPieceIsAGroupOfOneAndAnEmptyGroupIsRefused) {
    login("13812345678", "MTIzNA==");
    // One piece bombed and 99 left: 5 points, no bonus.
    Json::Value bombed = post("/game/SubmitScore", scoreBody("13812345678", "{G}", "1", "1", "99"));
    EXPECT_EQ(bombed["code"].asString(), "0000");
    EXPECT_EQ(bombed["bodymessage"]["score"].asString(), "5");
    // Groups of 2, a bomb between them, 95 left: 20 + 5 + 20 points.
    Json::Value mixed = post("/game/SubmitScore", scoreBody("13812345678", "{G}", "2", "2|1|2", "95"));
    EXPECT_EQ(mixed["code"].asString(), "0000");
    EXPECT_EQ(mixed["bodymessage"]["score"].asString(), "45");
    EXPECT_EQ(post("/game/SubmitScore", scoreBody("13812345678", "{G}", "3", "0|2", "98"))["code"].asString(), "3001");
    EXPECT_EQ(login("13812345678", "MTIzNA==")["bodymessage"]["score"].asString(), "50");
}

TEST_F(GameServerTest, AHistoryWithMoreBombsThanALevelHasIsRefusedLikeAnyImpossibleOne) {
    login("13812345678", "MTIzNA==");
    // A level has three bombs: three groups of one and 97 left count (15 points).
    Json::Value three = post("/game/SubmitScore", scoreBody("13812345678", "{G}", "1", "1|1|1", "97"));
    EXPECT_EQ(three["code"].asString(), "0000");
    EXPECT_EQ(three["bodymessage"]["score"].asString(), "15");
    // A fourth one cannot come from the game, and its answer is that of an empty group.
    const Json::Value empty = post("/game/SubmitScore", scoreBody("13812345678", "{G}", "2", "0|2", "98"));
    const Json::Value four = post("/game/SubmitScore", scoreBody("13812345678", "{G}", "2", "1|1|2|1|1", "94"));
    EXPECT_EQ(empty["code"].asString(), "3001");
    EXPECT_EQ(compactJson(four), compactJson(empty));
    Json::Value log = get("/control/log");
    ASSERT_GE(log.size(), 2u);
    const Json::Value& emptyEntry = log[log.size() - 2];
    const Json::Value& fourEntry = log[log.size() - 1];
    EXPECT_EQ(fourEntry["status"], emptyEntry["status"]);
    EXPECT_EQ(fourEntry["note"], emptyEntry["note"]);
    // Nothing of the refused level was kept: level 2 still counts, with three bombs (35 points).
    EXPECT_EQ(login("13812345678", "MTIzNA==")["bodymessage"]["score"].asString(), "15");
    Json::Value again = post("/game/SubmitScore", scoreBody("13812345678", "{G}", "2", "1|1|2|1", "95"));
    EXPECT_EQ(again["bodymessage"]["total"].asString(), "50");
}

TEST_F(GameServerTest, LeaderboardRanksBestScoresAndShowsThePlayersOwnRowOnce) {
    // Eleven players scored: 1000, 1100 ... 2000 points.
    for (int i = 0; i <= 10; ++i) {
        Json::Value seed;
        seed["cellphone"] = "138000000" + std::to_string(10 + i);
        seed["password"] = "cA==";
        seed["score"] = 1000 + 100 * i;
        ASSERT_TRUE(control("/control/account", seed));
    }
    // Among the best ten: the player's row is where the rank puts it, and nowhere else.
    Json::Value rows = get("/game/GameRanked?devicetype=0&cellphone=13800000019")["bodymessage"];
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_EQ(rows[0]["cellphone"].asString(), "138****0020");
    EXPECT_EQ(rows[0]["ranked"].asString(), "1");
    int own = 0;
    for (const Json::Value& row : rows) own += row["oneself"].asString() == "1";
    EXPECT_EQ(own, 1);
    EXPECT_EQ(rows[1]["oneself"].asString(), "1");
    EXPECT_EQ(rows[1]["ranked"].asString(), "2");
    EXPECT_EQ(rows[1]["score"].asString(), "1900");
    // Below them: the best ten, then the player's own row with its rank.
    rows = get("/game/GameRanked?devicetype=0&cellphone=13800000010")["bodymessage"];
    ASSERT_EQ(rows.size(), 11u);
    EXPECT_EQ(rows[9]["oneself"].asString(), "0");
    EXPECT_EQ(rows[10]["oneself"].asString(), "1");
    EXPECT_EQ(rows[10]["ranked"].asString(), "11");
    EXPECT_EQ(rows[10]["score"].asString(), "1000");
    Json::Value stranger = get("/game/GameRanked?devicetype=0&cellphone=")["bodymessage"];
    EXPECT_EQ(stranger[stranger.size() - 1]["ranked"].asString(), "0");
}

TEST_F(GameServerTest, AScoredGameOverEarnsOneRedPacketThatOpensIntoDiamonds) {
    login("13812345678", "MTIzNA==");
    post("/game/SubmitScore", scoreBody("13812345678", "{G}", "1", "50|50", "0"));
    Json::Value over = phoneBody("13812345678");
    over["gameid"] = "{G}";
    over["level"] = "2";
    EXPECT_EQ(post("/game/SubmitGameover", over)["code"].asString(), "0000");
    EXPECT_EQ(post("/game/SubmitGameover", over)["code"].asString(), "0000");
    EXPECT_EQ(post("/game/RedbagCount", phoneBody("13812345678"))["bodymessage"].asString(), "1");
    Json::Value opened = post("/game/ReceiveRedbag", phoneBody("13812345678"));
    EXPECT_EQ(opened["bodymessage"]["diamond"].asString(), "10");
    EXPECT_EQ(opened["bodymessage"]["redbag"].asString(), "0");
    EXPECT_EQ(post("/game/ReceiveRedbag", phoneBody("13812345678"))["code"].asString(), "2001");
}

TEST_F(GameServerTest, PrizesAreNamedByTypeAndClaimedOnce) {
    EXPECT_EQ(post("/game/RewardsType", phoneBody("13812345678"))["bodymessage"].asString(), "0");
    Json::Value prize;
    prize["cellphone"] = "13812345678";
    prize["type"] = 2;
    prize["amount"] = 30;
    ASSERT_TRUE(control("/control/prize", prize));
    EXPECT_EQ(post("/game/RewardsType", phoneBody("13812345678"))["bodymessage"].asString(), "2");
    EXPECT_EQ(post("/game/ReceiveTelFee", phoneBody("13812345678"))["code"].asString(), "1001");
    EXPECT_EQ(post("/game/ReceiveDiamond", phoneBody("13812345678"))["bodymessage"].asString(), "30");
    EXPECT_EQ(post("/game/ReceiveDiamond", phoneBody("13812345678"))["code"].asString(), "2001");
    prize["type"] = 1;
    ASSERT_TRUE(control("/control/prize", prize));
    EXPECT_EQ(post("/game/RewardsType", phoneBody("13812345678"))["bodymessage"].asString(), "1");
    EXPECT_EQ(post("/game/ReceiveDiamond", phoneBody("13812345678"))["code"].asString(), "2001");
    Json::Value claim = phoneBody("13812345678");
    claim["awardphone"] = "12";
    EXPECT_EQ(post("/game/ReceiveTelFee", claim)["code"].asString(), "1001");
    claim["awardphone"] = "13912345678";
    EXPECT_EQ(post("/game/ReceiveTelFee", claim)["bodymessage"].asString(), "30");
    EXPECT_EQ(post("/game/RewardsType", phoneBody("13812345678"))["bodymessage"].asString(), "0");
}

TEST_F(GameServerTest, PagesVersionAndShareInformationAreServed) {
    EXPECT_EQ(get("/game/ActivityURL?devicetype=1")["bodymessage"].asString(), server->url("/pages/activity.html"));
    EXPECT_EQ(get("/game/AgreementURL?devicetype=1")["bodymessage"].asString(), server->url("/pages/agreement.html"));
    for (const char* page : {"/pages/activity.html", "/pages/agreement.html", "/pages/help.html"}) {
        auto result = client->Get(page);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, 200);
        EXPECT_NE(result->body.find("<html"), std::string::npos);
    }
    EXPECT_EQ(client->Get("/pages/nothing.html")->status, 404);
    Json::Value setting;
    setting["key"] = "version";
    setting["value"] = "7";
    ASSERT_TRUE(control("/control/setting", setting));
    Json::Value version = get("/game/Version?devicetype=1&version=1&apptype=1&channel=8888");
    EXPECT_EQ(version["bodymessage"]["version"].asString(), "7");
    EXPECT_EQ(version["bodymessage"]["forcedupdate"].asString(), "0");
    EXPECT_EQ(get("/game/ShareInfo_iOS?u=1")["bodymessage"]["shareurl"].asString(), server->url("/pages/share.html"));
}

TEST_F(GameServerTest, TheShareIconItNamesIsServedAsTheGamesIcon) {
    const std::string iconUrl = get("/game/ShareInfo_iOS?u=1")["bodymessage"]["iconurl"].asString();
    ASSERT_EQ(iconUrl, server->url("/pages/icon.png"));
    auto icon = client->Get("/pages/icon.png");
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->status, 200);
    EXPECT_EQ(icon->get_header_value("Content-Type"), "image/png");
    const std::string expected = kite::test::readWholeFile(STARGRID_SOURCE_DIR "/Resources/Icon.png");
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(icon->body, expected);
}

TEST_F(GameServerTest, RequestBodiesThatAreNotFlatTextObjectsAreRefused) {
    for (const char* body : {"", "[]", "{\"cellphone\":13812345678}", "{\"cellphone\":"}) {
        auto result = client->Post("/game/RedbagCount", body, "text/plain");
        ASSERT_TRUE(result);
        EXPECT_EQ(parseJson(result->body)["code"].asString(), "1001") << body;
    }
}

TEST_F(GameServerTest, OverridesReplaceTheNextMatchingReplyOnly) {
    Json::Value spec;
    spec["path"] = "/game/Version";
    spec["kind"] = "malformed";
    ASSERT_TRUE(control("/control/reply", spec));
    spec["kind"] = "wrongtype";
    ASSERT_TRUE(control("/control/reply", spec));
    Json::Value coded;
    coded["code"] = "4321";
    ASSERT_TRUE(control("/control/reply", coded));

    EXPECT_EQ(get("/bus_ser_ios.html")["code"].asString(), "4321");  // any path
    auto malformed = client->Get("/game/Version?version=1");
    EXPECT_EQ(malformed->body, "{\"code\":\"0000\",\"bodymessage\":");
    EXPECT_TRUE(get("/game/Version?version=1")["code"].isInt());
    EXPECT_EQ(get("/game/Version?version=1")["code"].asString(), "0000");
}

TEST_F(GameServerTest, AnErrorStatusADroppedReplyAndASlowOneAreWhatTheyClaim) {
    Json::Value spec;
    spec["kind"] = "error";
    ASSERT_TRUE(control("/control/reply", spec));
    EXPECT_EQ(client->Get("/bus_ser_ios.html")->status, 500);
    spec["kind"] = "drop";
    ASSERT_TRUE(control("/control/reply", spec));
    auto dropped = client->Get("/bus_ser_ios.html");
    EXPECT_TRUE(!dropped || dropped->body.empty());
    spec["kind"] = "slow";
    spec["delayMs"] = 50;
    ASSERT_TRUE(control("/control/reply", spec));
    EXPECT_EQ(get("/bus_ser_ios.html")["code"].asString(), "0000");
    spec["kind"] = "sideways";
    EXPECT_FALSE(control("/control/reply", spec));

    std::vector<LoggedRequest> log = server->requestLog().since(0);
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].status, 500);
    EXPECT_EQ(log[1].status, 0);
    EXPECT_EQ(log[2].note, "override delay=50ms");
}

TEST_F(GameServerTest, RequestLogListsGameRequestsInOrderFromAGivenPoint) {
    get("/bus_ser_ios.html");
    login("13812345678", "MTIzNA==");
    get("/game/Version?devicetype=1&version=1&apptype=1&channel=8888");
    Json::Value all = parseJson(client->Get("/control/log")->body);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0]["path"].asString(), "/bus_ser_ios.html");
    EXPECT_EQ(all[1]["path"].asString(), "/game/BindAccount");
    EXPECT_EQ(parseJson(all[1]["body"].asString())["tag"].asString(), "0");
    EXPECT_EQ(all[2]["query"].asString(), "devicetype=1&version=1&apptype=1&channel=8888");
    Json::Value later = parseJson(client->Get("/control/log?since=2")->body);
    ASSERT_EQ(later.size(), 1u);
    EXPECT_EQ(later[0]["path"].asString(), "/game/Version");
    ASSERT_TRUE(control("/control/reset", Json::Value()));
    EXPECT_EQ(parseJson(client->Get("/control/log")->body).size(), 0u);
}

TEST_F(GameServerTest, AccountsAndScoresOutliveARestartOnTheSameFile) {
    kite::test::TemporaryFolder folder("stargrid-server");
    const std::string file = folder.path() + "/server.db";
    server.reset();
    startServer(file);
    login("13812345678", "MTIzNA==");
    post("/game/SubmitScore", scoreBody("13812345678", "{G}", "1", "50|50", "0"));
    server.reset();
    startServer(file);
    EXPECT_EQ(login("13812345678", "MTIzNA==")["bodymessage"]["score"].asString(), "27000");
    server.reset();
}

// The mode of a file, or -1 when it is not there.
int modeOf(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? static_cast<int>(status.st_mode & 07777) : -1;
}

// The usual mask of a login session while it lives: new files readable by everyone.
class OpenUmask {
public:
    OpenUmask() : before_(::umask(022)) {}
    ~OpenUmask() { ::umask(before_); }
    OpenUmask(const OpenUmask&) = delete;
    OpenUmask& operator=(const OpenUmask&) = delete;

private:
    mode_t before_;
};

TEST_F(GameServerTest, TheDatabaseAndItsJournalsAreTheOwnersAloneInAnOpenFolder) {
    kite::test::TemporaryFolder folder("stargrid-server");
    const OpenUmask umask;
    const std::string open = folder.path() + "/shared";
    ASSERT_EQ(::mkdir(open.c_str(), 0755), 0);
    // A database and its write-ahead log that an earlier run left readable by everyone.
    const std::string file = open + "/server.db";
    for (const std::string& left : {file, file + "-wal"}) {
        ASSERT_TRUE(std::ofstream(left).good());
        ASSERT_EQ(::chmod(left.c_str(), 0644), 0);
    }
    server.reset();
    startServer(file);
    login("13812345678", "MTIzNA==");
    post("/game/SubmitScore", scoreBody("13812345678", "{G}", "1", "50|50", "0"));
    for (const std::string& written : {file, file + "-wal", file + "-shm"}) EXPECT_EQ(modeOf(written), 0600) << written;
    // Made anew.
    server.reset();
    ::unlink((file + "-wal").c_str());
    ::unlink((file + "-shm").c_str());
    ::unlink(file.c_str());
    startServer(file);
    login("13812345678", "MTIzNA==");
    for (const std::string& written : {file, file + "-wal", file + "-shm"}) EXPECT_EQ(modeOf(written), 0600) << written;
    server.reset();
}

}  // namespace
}  // namespace stargrid_server::test
