#include "Classes/QKGateway.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Classes/GameData.h"
#include "Classes/ServerExchange.h"
#include "ServerTestSupport.h"
#include "kite/foundation/UserDefault.h"
#include "support/TemporaryFolder.h"

namespace {

using game::test::ServerGameTest;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

class QKGatewayTest : public ServerGameTest {
protected:
    // A board passed at level index 2 with this history and these pieces left.
    void passedBoard(const std::string& history, int left) {
        GameData* data = GameData::getInstance();
        data->newGame();
        data->setLevel(2);
        data->saveLevel();
        data->clearGameScore();
        std::vector<std::string> sizes;
        splitString(history, "|", sizes);
        for (const std::string& size : sizes) data->appendGameScore(stringToInt(size));
        data->setRemainStarCount(left);
    }
};

TEST_F(QKGatewayTest, APassedLevelPostsExactlyItsHistory) {
    bindAccount("13812345678", "1234");
    passedBoard("10|10|10|10|10|10|10|10|10|5", 5);
    QKGateway::getInstance()->submitScore();
    ASSERT_TRUE(settle());
    auto log = server->requestLog().since(0);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].path, "/game/SubmitScore");
    EXPECT_EQ(log[0].body, "{\"cellphone\":\"13812345678\",\"devicetype\":\"0\",\"gameid\":\"" +
                               GameData::getInstance()->getGameId() +
                               "\",\"level\":\"3\",\"remain\":\"5\",\"score\":\"10|10|10|10|10|10|10|10|10|5\"}\n");
}

TEST_F(QKGatewayTest, NothingIsSentForAnInconsistentHistoryNoPhoneOrNoNetwork) {
    bindAccount("13812345678", "1234");
    passedBoard("10|10|10|10|10|10|10|10|10|4", 5);  // 94 and 5 left
    QKGateway::getInstance()->submitScore();
    passedBoard("50|45", 5);
    QKSingleton::getInstance()->networkReachable = false;
    QKGateway::getInstance()->submitScore();
    QKGateway::getInstance()->submitGameover();
    QKSingleton::getInstance()->networkReachable = true;
    QKSingleton::getInstance()->setCellphone("");
    QKGateway::getInstance()->submitScore();
    QKGateway::getInstance()->submitGameover();
    EXPECT_EQ(ServerExchange::waitingCount(), 0u);
    EXPECT_THAT(requestedPaths(), IsEmpty());
}

TEST_F(QKGatewayTest, AFinishedGamePostsItsGameOverAndEarnsARedPacket) {
    bindAccount("13812345678", "1234");
    passedBoard("50|50", 0);
    QKGateway::getInstance()->submitScore();
    QKGateway::getInstance()->submitGameover();
    ASSERT_TRUE(settle());
    auto log = server->requestLog().since(0);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[1].path, "/game/SubmitGameover");
    EXPECT_EQ(log[1].body, "{\"cellphone\":\"13812345678\",\"devicetype\":\"0\",\"gameid\":\"" +
                               GameData::getInstance()->getGameId() + "\",\"level\":\"3\"}\n");
    EXPECT_EQ(server->store().redPacketCount("13812345678"), 1);
}

TEST_F(QKGatewayTest, RepliesOfAnyShapeChangeNothingOnTheDevice) {
    bindAccount("13812345678", "1234");
    passedBoard("50|50", 0);
    GameData* data = GameData::getInstance();
    data->setDiamond(7);
    data->setGameTag("1");
    data->highestScore = 300;
    data->saveHighestScore();
    kite::UserDefault::getInstance()->flush();
    const std::string storedBefore = kite::test::readWholeFile(environment->storePath());
    ASSERT_FALSE(storedBefore.empty());
    // Beside the broken kinds, a success that carries what a login reply would apply.
    const std::string tempting =
        "{\"code\":\"0000\",\"bodymessage\":{\"score\":\"99999\",\"diamond\":\"500\",\"gametag\":\"9\"}}";
    for (const char* kind : {"malformed", "deep", "wrongtype", "empty", "error", "drop", "tempting"}) {
        SCOPED_TRACE(kind);
        for (const char* path : {"/game/SubmitScore", "/game/SubmitGameover"}) {
            stargrid_server::ReplyOverride override;
            override.path = path;
            if (std::string(kind) == "tempting")
                override.body = tempting;
            else
                ASSERT_TRUE(override.applyKind(kind));
            server->overrides().push(override);
        }
        QKGateway::getInstance()->submitScore();
        QKGateway::getInstance()->submitGameover();
        ASSERT_TRUE(settle());
    }
    EXPECT_EQ(requestedPaths().size(), 14u);
    kite::UserDefault::getInstance()->flush();
    EXPECT_EQ(kite::test::readWholeFile(environment->storePath()), storedBefore);
    EXPECT_EQ(data->highestScore, 300);
    EXPECT_FALSE(data->newGameRequested);
    EXPECT_EQ(data->pendingGameTag, "");
}

class ServerExchangeTest : public ServerGameTest {};

TEST_F(ServerExchangeTest, BodiesAreCompactJsonTextsInKeyOrderEndingInANewline) {
    EXPECT_EQ(ServerExchange::bodyText({{"level", "3"}, {"cellphone", "1"}, {"devicetype", "0"}, {"gameid", "g"}}),
              "{\"cellphone\":\"1\",\"devicetype\":\"0\",\"gameid\":\"g\",\"level\":\"3\"}\n");
    EXPECT_EQ(ServerExchange::url("Version?x=1"), server->url("/game") + "/Version?x=1");
}

TEST_F(ServerExchangeTest, DestroyingTheClientGivesEveryWaitingRequestItsFailedReply) {
    std::vector<std::string> outcomes;
    stargrid_server::ReplyOverride slow;
    slow.delayMs = 300;
    server->overrides().push(slow);
    ServerExchange::get(ServerExchange::url("Version?version=1"), "Version", scene.get(),
                        [&](kite::network::HttpClient*, kite::network::HttpResponse* response) {
                            outcomes.push_back(std::string(response->isSucceed() ? "ok " : "failed ") +
                                               response->getHttpRequest()->getTag());
                        });
    ServerExchange::destroyClient();
    EXPECT_THAT(outcomes, ElementsAre("failed Version"));
    EXPECT_EQ(ServerExchange::waitingCount(), 0u);
    // The real reply, when it comes, is not delivered a second time.
    kite::test::stepFramesUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_EQ(outcomes.size(), 1u);
}

TEST_F(ServerExchangeTest, RepliesForAScreenThatClosedAreDropped) {
    kite::RefPtr<kite::Node> screen(kite::Node::create());
    scene->addChild(screen.get());
    int delivered = 0;
    ServerExchange::get(ServerExchange::url("Version?version=1"), "Version", screen.get(),
                        [&](kite::network::HttpClient*, kite::network::HttpResponse*) { ++delivered; });
    screen->removeFromParent();
    kite::test::LogCapture log;
    ASSERT_TRUE(settle());
    EXPECT_EQ(delivered, 0);
    EXPECT_THAT(log.text(), ::testing::HasSubstr("the reply to Version came after its screen closed; dropped"));
}

}  // namespace
