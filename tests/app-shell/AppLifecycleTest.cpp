// The application going to the background and coming back, against the local game server.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Classes/GameData.h"
#include "Classes/GameEffects.h"
#include "Classes/MenuLayer.h"
#include "Classes/PlayTestSupport.h"
#include "Classes/ServerTestSupport.h"
#include "app-shell/AppDelegate.h"
#include "kite/foundation/UserDefault.h"
#include "kite/scene/Director.h"
#include "kite/scene/Sprite.h"
#include "support/LogCapture.h"

namespace {

using game::test::ServerGameTest;

class AppLifecycleTest : public ServerGameTest {
protected:
    AppDelegate app;  // not run: only its lifecycle operations are called
};

TEST_F(AppLifecycleTest, ComingBackLogsInAgainAndMergesTheAccount) {
    bindAccount("13812345678", "1234", 0, 5);
    GameData* data = GameData::getInstance();
    data->setDiamond(20);
    data->setGameTag("1");
    app.willEnterForeground();
    ASSERT_TRUE(settle());
    EXPECT_THAT(requestedPaths(), ::testing::ElementsAre("/game/BindAccount"));
    EXPECT_EQ(data->getDiamond(), 25);
    EXPECT_FALSE(data->newGameRequested);
    app.didEnterBackground();
}

TEST_F(AppLifecycleTest, ANewGameFromTheServerTakesTheStageClearPictureAwayWithThePlayScreen) {
    game::test::SoundLog sounds;
    QKSingleton::getInstance()->setSoundOnOff(true);
    bindAccount("13812345678", "1234");
    ASSERT_TRUE(server->store().setSetting("gametag", "2"));
    GameData::getInstance()->setGameTag("1");
    QKSingleton::getInstance()->inGame = true;
    kite::RefPtr<kite::Node> board(kite::Node::create());
    showStageClear(board.get());  // the level's target was reached before the game went to the background
    ASSERT_NE(currentStageClear(), nullptr);
    app.willEnterForeground();
    ASSERT_TRUE(settle());
    EXPECT_TRUE(GameData::getInstance()->newGameRequested);
    EXPECT_EQ(currentStageClear(), nullptr);
    // The next game's first stage clear shows, with its sound.
    kite::RefPtr<kite::Node> next(kite::Node::create());
    showStageClear(next.get());
    ASSERT_NE(currentStageClear(), nullptr);
    EXPECT_EQ(currentStageClear()->getParent(), next.get());
    EXPECT_EQ(sounds.count("effect Music/nextgame.mp3"), 2);
    removeStageClear();
    QKSingleton::getInstance()->inGame = false;
    app.didEnterBackground();
}

TEST_F(AppLifecycleTest, LoginAmountsOutsideAStoredCountAreRefusedOrStopAtTheLargest) {
    GameData* data = GameData::getInstance();
    QKSingleton::getInstance()->setCellphone(base64Encode("13812345678"));
    QKSingleton::getInstance()->setPassword(base64Encode("1234"));
    data->highestScore = 300;
    data->saveHighestScore();
    auto loginWith = [&](long score, long diamonds) {
        ASSERT_TRUE(server->store().seedAccount({"13812345678", base64Encode("1234"), score, diamonds, 0}));
        app.willEnterForeground();
        ASSERT_TRUE(settle());
    };
    kite::test::LogCapture log;
    data->setDiamond(10);
    loginWith(400, 2147483647);
    EXPECT_EQ(data->getDiamond(), 2147483647) << "the sum wrapped";
    EXPECT_EQ(data->highestScore, 400);
    data->setDiamond(10);
    loginWith(-5, -1000);
    EXPECT_EQ(data->getDiamond(), 10);
    EXPECT_TRUE(log.contains("GameData: refused a negative amount of diamonds (-1000) from the login reply"));
    EXPECT_EQ(data->highestScore, 400) << "a negative score became the best";
    EXPECT_EQ(kite::UserDefault::getInstance()->getIntegerForKey("highestScore"), 400);
    EXPECT_TRUE(log.contains("QKGateway: refused a negative best score (-5) from the login reply"));
    app.didEnterBackground();
}

TEST_F(AppLifecycleTest, ComingBackWithoutAPhoneSendsNothing) {
    app.willEnterForeground();
    EXPECT_EQ(ServerExchange::waitingCount(), 0u);
    app.didEnterBackground();
}

TEST_F(AppLifecycleTest, AFailedReloginLeavesEverythingAsStored) {
    bindAccount("13812345678", "1234", 0, 5);
    GameData::getInstance()->setDiamond(20);
    for (const char* kind : {"malformed", "deep", "wrongtype", "empty", "error", "drop"}) {
        nextReply("/game/BindAccount", kind);
        app.willEnterForeground();
        ASSERT_TRUE(settle());
    }
    EXPECT_EQ(GameData::getInstance()->getDiamond(), 20);
    app.didEnterBackground();
}

TEST_F(AppLifecycleTest, GoingToTheBackgroundClosesTheWaitBoxOfARequestInFlight) {
    stargrid_server::ReplyOverride slow;
    slow.delayMs = 300;
    server->overrides().push(slow);
    scene->addChild(MenuLayer::create());
    ASSERT_NE(QKSingleton::getInstance()->getCurrentPopup(), nullptr);
    app.didEnterBackground();
    EXPECT_EQ(QKSingleton::getInstance()->getCurrentPopup(), nullptr);
    EXPECT_EQ(ServerExchange::waitingCount(), 0u);
}

}  // namespace
