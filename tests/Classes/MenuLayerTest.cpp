#include "Classes/MenuLayer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "Classes/GameData.h"
#include "Classes/GameScene.h"
#include "Classes/MenuScene.h"
#include "Classes/PopupBoxLayer.h"
#include "Classes/SaleLayer.h"
#include "ServerTestSupport.h"
#include "kite/scene/Director.h"
#include "kite/scene/Label.h"
#include "kite/scene/MenuItem.h"
#include "support/DirectorShutdown.h"

namespace {

using game::test::ServerGameTest;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class MenuLayerTest : public ServerGameTest {
protected:
    MenuLayer* openMenu() {
        MenuLayer* menu = MenuLayer::create();
        scene->addChild(menu);
        return menu;
    }
    // Frames until the chain has nothing more in flight.
    void runChain() { ASSERT_TRUE(settle()); }
    // Every step closes its wait box: with no alert to show, no popup is left.
    void expectNoPopup() { EXPECT_EQ(QKSingleton::getInstance()->getCurrentPopup(), nullptr); }
};

// The start-up preloads the menu's pictures that take long to decode: they are all it shows.
TEST_F(MenuLayerTest, TheLargePicturesOfTheMenuAreThoseThePreloadAsksFor) {
    kite::Director::getInstance()->getTextureCache()->removeAllTextures();
    openMenu();
    const std::vector<std::string> preloaded = MenuScene::picturesToPreload();
    for (const std::string& shown : game::test::largePicturesInTheCache())
        EXPECT_THAT(preloaded, ::testing::Contains(shown));
    runChain();
}

TEST_F(MenuLayerTest, WithoutAPhoneTheChainIsTheBootstrapPageThenTheVersion) {
    QKSingleton::getInstance()->setHttpRequestURL("");
    MenuLayer* menu = openMenu();
    EXPECT_NE(QKSingleton::getInstance()->getCurrentPopup(), nullptr);  // the wait box
    EXPECT_EQ(QKSingleton::getInstance()->getCurrentPopup()->getParent(), menu);
    runChain();
    expectNoPopup();
    EXPECT_THAT(requestedPaths(), ElementsAre("/bus_ser_ios.html", "/game/Version"));
    EXPECT_EQ(server->requestLog().since(0)[1].query, "devicetype=1&version=1&apptype=1&channel=8888");
    EXPECT_EQ(QKSingleton::getInstance()->getHttpRequestURL(), server->url("/game"));
}

TEST_F(MenuLayerTest, WithABoundPhoneItLogsInCountsRedPacketsThenChecksTheVersion) {
    bindAccount("13812345678", "1234", 3, 5);
    GameData::getInstance()->setDiamond(20);
    GameData::getInstance()->setGameTag("1");
    openMenu();
    runChain();
    expectNoPopup();
    EXPECT_THAT(requestedPaths(),
                ElementsAre("/bus_ser_ios.html", "/game/BindAccount", "/game/RedbagCount", "/game/Version"));
    EXPECT_EQ(server->requestLog().since(0)[1].body,
              "{\"cellphone\":\"13812345678\",\"channel\":\"8888\",\"devicetype\":\"0\",\"password\":\"MTIzNA==\","
              "\"tag\":\"0\"}\n");
    EXPECT_EQ(QKSingleton::getInstance()->redPacketCount, 3);
    EXPECT_EQ(GameData::getInstance()->getDiamond(), 25);
    EXPECT_FALSE(GameData::getInstance()->newGameRequested);
}

TEST_F(MenuLayerTest, AnotherGameTagFromTheServerAsksForANewGame) {
    bindAccount("13812345678", "1234");
    GameData::getInstance()->setGameTag("1");
    server->store().setSetting("gametag", "2");
    openMenu();
    runChain();
    EXPECT_TRUE(GameData::getInstance()->newGameRequested);
    EXPECT_EQ(GameData::getInstance()->pendingGameTag, "2");
}

TEST_F(MenuLayerTest, EveryKindOfBadReplyAtEveryStepClosesTheWaitBoxAndEndsTheChain) {
    bindAccount("13812345678", "1234");
    const char* steps[] = {"/bus_ser_ios.html", "/game/BindAccount", "/game/RedbagCount", "/game/Version"};
    for (const char* kind : {"malformed", "deep", "wrongtype", "empty", "error", "drop"}) {
        for (std::size_t step = 0; step < 4; ++step) {
            server->requestLog().clear();
            nextReply(steps[step], kind);
            openMenu();
            runChain();
            expectNoPopup();
            EXPECT_EQ(requestedPaths().size(), step == 0 && std::string(kind) == "error" ? 1u : step + 1)
                << kind << " at " << steps[step];
        }
    }
}

TEST_F(MenuLayerTest, AnotherCodeEndsTheChainQuietly) {
    nextCode("/bus_ser_ios.html", "9999");
    kite::test::LogCapture log;
    openMenu();
    runChain();
    EXPECT_THAT(requestedPaths(), ElementsAre("/bus_ser_ios.html"));
    EXPECT_THAT(log.text(), ::testing::Not(HasSubstr("QKSingleton: alert")));
}

TEST_F(MenuLayerTest, VersionRuleWarnsOfForcedAndNewerVersions) {
    kite::test::LogCapture log;
    server->store().setSetting("forcedupdate", "1");
    openMenu();
    runChain();
    EXPECT_THAT(log.text(), HasSubstr("QKSingleton: alert \"版本更新\" / \"您的游戏版本太低，"));
    server->store().setSetting("forcedupdate", "0");
    server->store().setSetting("version", "2");
    QKSingleton::getInstance()->removePopup();
    openMenu();
    runChain();
    EXPECT_THAT(log.text(), HasSubstr("QKSingleton: alert \"版本更新\" / \"发现新版本，请前往"));
}

TEST_F(MenuLayerTest, TheDailySaleOfferOpensOncePerDayAndOnlyWithoutDiamonds) {
    auto sales = [](MenuLayer* menu) {
        int count = 0;
        for (kite::Node* child : menu->getChildren()) count += dynamic_cast<SaleLayer*>(child) != nullptr;
        return count;
    };
    GameData::getInstance()->setDiamond(0);
    MenuLayer* first = openMenu();
    runChain();
    EXPECT_EQ(QKSingleton::getInstance()->getCurrentTime(), dateString());
    EXPECT_EQ(sales(first), 1);
    MenuLayer* second = openMenu();
    runChain();
    EXPECT_EQ(sales(second), 0);
}

TEST_F(MenuLayerTest, ANegativeRedPacketCountIsRefused) {
    bindAccount("13812345678", "1234");
    stargrid_server::ReplyOverride negative;
    negative.path = "/game/RedbagCount";
    negative.body = "{\"code\":\"0000\",\"bodymessage\":\"-3\"}";
    server->overrides().push(negative);
    kite::test::LogCapture log;
    openMenu();
    runChain();
    EXPECT_EQ(QKSingleton::getInstance()->redPacketCount, 0);
    EXPECT_TRUE(log.contains("MenuLayer: refused a negative red-packet count (-3)"));
    expectNoPopup();
}

TEST_F(MenuLayerTest, TheRedPacketBadgeShowsOnlyANonZeroCount) {
    bindAccount("13812345678", "1234", 0);
    MenuLayer* menu = openMenu();
    runChain();
    // The badge sits on a button of the menu and holds one label: the count.
    kite::Node* badge = nullptr;
    std::function<void(kite::Node*)> find = [&](kite::Node* node) {
        for (kite::Node* child : node->getChildren()) {
            if (dynamic_cast<kite::MenuItemImage*>(node) && child->getChildrenCount() == 1 &&
                dynamic_cast<kite::Label*>(child->getChildren().at(0)))
                badge = child;
            find(child);
        }
    };
    find(menu);
    ASSERT_NE(badge, nullptr);
    auto* count = static_cast<kite::Label*>(badge->getChildren().at(0));
    EXPECT_FALSE(badge->isVisible());
    QKSingleton::getInstance()->redPacketCount = 4;
    menu->updateRedbagBadge();
    EXPECT_TRUE(badge->isVisible());
    EXPECT_EQ(count->getString(), "4");
    QKSingleton::getInstance()->redPacketCount = 12;
    menu->updateRedbagBadge();
    EXPECT_EQ(count->getString(), "12");
    QKSingleton::getInstance()->redPacketCount = 0;
    menu->updateRedbagBadge();
    EXPECT_FALSE(badge->isVisible());
}

TEST_F(MenuLayerTest, ButtonsThatNeedTheNetworkRefuseWithoutIt) {
    kite::test::LogCapture log;
    MenuLayer* menu = openMenu();
    runChain();
    QKSingleton::getInstance()->networkReachable = false;
    menu->menuRankedCallback();
    EXPECT_THAT(log.text(), HasSubstr("\"当前无网络，无法访\r\n问排行榜！\""));
    QKSingleton::getInstance()->removePopup();
    menu->menuActivityCallback();
    EXPECT_THAT(log.text(), HasSubstr("\"当前无网络，请连接\r\n您的网络！\""));
    QKSingleton::getInstance()->removePopup();
    QKSingleton::getInstance()->networkReachable = true;
    menu->menuRankedCallback();  // no phone: the bind prompt of kind 4
    EXPECT_THAT(log.text(), HasSubstr("QKSingleton: confirm 4"));
}

TEST_F(MenuLayerTest, TheSoundToggleSwitchesAllThreeTogether) {
    QKSingleton* state = QKSingleton::getInstance();
    state->setVoiceOnOff(true);
    MenuLayer* menu = openMenu();
    menu->menuVoiceCallback();
    EXPECT_FALSE(state->getVoiceOnOff());
    EXPECT_FALSE(state->getMusicOnOff());
    EXPECT_FALSE(state->getSoundOnOff());
    menu->menuVoiceCallback();
    EXPECT_TRUE(state->getVoiceOnOff() && state->getMusicOnOff() && state->getSoundOnOff());
}

TEST_F(MenuLayerTest, StartingWithoutAPhoneAsksToBindAndNotNowStillStartsTheGame) {
    kite::Director* director = kite::Director::getInstance();
    director->runWithScene(kite::Scene::create());  // the play scene replaces a running one
    director->mainLoop();
    MenuLayer* menu = openMenu();
    runChain();
    menu->menuStartCallback();
    kite::RefPtr<PopupBoxLayer> confirm(QKSingleton::getInstance()->getCurrentPopup());
    ASSERT_TRUE(confirm);
    confirm->onConfirmLeft();
    EXPECT_EQ(QKSingleton::getInstance()->getCurrentPopup(), nullptr);
    EXPECT_EQ(confirm->getParent(), nullptr);
    director->mainLoop();
    EXPECT_TRUE(QKSingleton::getInstance()->inGame);
    EXPECT_NE(dynamic_cast<GameScene*>(director->getRunningScene()), nullptr);
    kite::test::shutDownDirector();
}

}  // namespace
