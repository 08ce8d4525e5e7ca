// Every screen and dialog keeps the layout rules (tests/support/ScreenLayout.h) on both design heights
// (720 points: iPhone 4 and iPad; 852 points: the tall iPhone 5): pictures inside their panels, controls
// apart, labels clear of each other and of foreign controls, nothing hidden under a picture.
#include <gtest/gtest.h>

#include <string>

#include "Classes/GameData.h"
#include "Classes/GameLayer.h"
#include "Classes/GameOverLayer.h"
#include "Classes/GuideLayer.h"
#include "Classes/HelpLayer.h"
#include "Classes/LoginLayer.h"
#include "Classes/MenuLayer.h"
#include "Classes/MenuScreens.h"
#include "Classes/PauseLayer.h"
#include "Classes/PopupBoxLayer.h"
#include "Classes/PropPaintLayer.h"
#include "Classes/QKSingleton.h"
#include "Classes/RankedLayer.h"
#include "Classes/SaleLayer.h"
#include "Classes/ShareLayer.h"
#include "Classes/ShopLayer.h"
#include "Classes/StarMatrix.h"
#include "ServerTestSupport.h"
#include "kite/scene/MenuItem.h"
#include "kite/scene/NodeReport.h"
#include "support/ScreenLayout.h"

namespace {

using game::test::DrawnServerGameTest;
using stargrid::test::Screen;

const char* const kPhone = "13812345678";

std::string listed(const std::vector<std::string>& problems) {
    std::string text;
    for (const std::string& p : problems) text += "\n  " + p;
    return text;
}

class ScreenBoundsTest : public DrawnServerGameTest, public ::testing::WithParamInterface<int> {
protected:
    int frameHeight() const override { return GetParam(); }
    void SetUp() override {
        QKSingleton::getInstance()->tallScreen = GetParam() > 720;
        DrawnServerGameTest::SetUp();
        QKSingleton::getInstance()->setGuideStatus(1);
        // With diamonds the menu opens no sale of its own, and the props can be armed.
        GameData::getInstance()->newGame();
        GameData::getInstance()->setDiamond(20);
    }
    void TearDown() override {
        DrawnServerGameTest::TearDown();
        QKSingleton::getInstance()->tallScreen = false;
    }

    Screen screen() { return Screen::parse(kite::nodeReport(director->getRunningScene())); }

    // The screen as drawn now keeps every rule; the shown screen must hold the named class.
    void expectKeepsTheRules(const std::string& name, const std::string& layer) {
        const Screen shown = screen();
        const int top = shown.activeLayer();
        ASSERT_TRUE(top == 0 ? shown.find(layer) >= 0 : shown.nodes()[static_cast<std::size_t>(top)].type == layer)
            << name << ": " << layer << " is not the screen on top";
        const std::vector<std::string> problems = shown.problems();
        EXPECT_TRUE(problems.empty()) << name << " at height " << GetParam() << ":" << listed(problems);
    }

    MenuLayer* openMenu() {
        MenuLayer* menu = MenuLayer::create();
        scene->addChild(menu);
        settleAndDraw();
        return menu;
    }
    // Adds the dialog, lets it pop in and checks it, then takes it away again.
    void checkDialog(kite::Node* parent, kite::Node* dialog, const std::string& name, const std::string& layer) {
        ASSERT_NE(dialog, nullptr) << name;
        if (!dialog->getParent()) parent->addChild(dialog, 2);
        settleAndDraw();
        expectKeepsTheRules(name, layer);
        QKSingleton* state = QKSingleton::getInstance();
        if (dialog == static_cast<kite::Node*>(state->getCurrentPopup()))
            state->removePopup();
        else
            dialog->removeFromParent();
        frames(1);
    }
    GameLayer* openPlayScreen() {
        GameLayer* play = GameLayer::create();
        scene->addChild(play);
        for (int i = 0; i < 600 && !(play->getBoard() && !play->getBoard()->isMoving()); ++i) frames(1);
        return play;
    }
};

TEST_P(ScreenBoundsTest, TheMenuAndItsDialogs) {
    MenuLayer* menu = openMenu();
    expectKeepsTheRules("menu", "MenuLayer");
    checkDialog(menu, HelpLayer::create(), "help", "HelpLayer");
    checkDialog(menu, ShopLayer::create(), "shop", "ShopLayer");
    for (int tier = 0; tier < 4; ++tier) {
        QKSingleton::getInstance()->setPayTier(tier);
        checkDialog(menu, SaleLayer::create(), "sale " + std::to_string(tier), "SaleLayer");
    }
    checkDialog(menu, LoginLayer::create(), "binding", "LoginLayer");
    MenuScreens::openInfo(menu);
    checkDialog(menu, menu->getChildren().back(), "info without a phone", "InfoLayer");
    MenuScreens::openShare(menu);
    checkDialog(menu, menu->getChildren().back(), "share", "ShareLayer");
}

TEST_P(ScreenBoundsTest, TheDialogsOfABoundPlayer) {
    bindAccount(kPhone, "1234", 3);
    for (int k = 0; k < 6; ++k)
        ASSERT_TRUE(server->store().seedAccount({"1390000000" + std::to_string(k), "x", 900 - 100 * k, 0, 0}));
    ASSERT_TRUE(server->store().setPrize(kPhone, {stargrid_server::Prize::PhoneCredit, 10}));
    MenuLayer* menu = openMenu();
    expectKeepsTheRules("menu with red packets", "MenuLayer");
    MenuScreens::openInfo(menu);
    checkDialog(menu, menu->getChildren().back(), "info with a phone", "InfoLayer");
    QKSingleton::getInstance()->redPacketCount = 3;
    MenuScreens::openShare(menu);
    checkDialog(menu, menu->getChildren().back(), "share with red packets", "ShareLayer");
    RankedLayer* ranked = RankedLayer::create();
    menu->addChild(ranked, 2);
    settleAndDraw();
    ASSERT_TRUE(ranked->getReceiveButton()->isVisible());
    expectKeepsTheRules("leaderboard with a prize", "RankedLayer");
    ranked->menuReceiveCallback();
    frames(15);
    expectKeepsTheRules("phone input over the leaderboard", "PopupBoxLayer");
}

TEST_P(ScreenBoundsTest, EveryFormOfThePopup) {
    MenuLayer* menu = openMenu();
    QKSingleton* state = QKSingleton::getInstance();
    state->showAlert(menu, "提示", "当前无网络！系统将不会上传您的成绩到排行榜！");
    checkDialog(menu, state->getCurrentPopup(), "alert", "PopupBoxLayer");
    state->showConfirm(menu, "提示", "绑定账号可获得分享\r\n红包及排名奖励，是\r\n否立即绑定？", 1);
    checkDialog(menu, state->getCurrentPopup(), "confirm", "PopupBoxLayer");
    LoginLayer* login = LoginLayer::create();
    menu->addChild(login, 2);
    state->showNotice(login, "提示", "账号绑定成功！\r\n祝您游戏愉快！");
    checkDialog(login, state->getCurrentPopup(), "notice", "PopupBoxLayer");
    state->showWaitBox(menu);
    checkDialog(menu, state->getCurrentPopup(), "wait box", "PopupBoxLayer");
}

TEST_P(ScreenBoundsTest, ThePlayScreenAndItsDialogs) {
    GameLayer* play = openPlayScreen();
    ASSERT_NE(play->getBoard(), nullptr);
    play->showComboWord(12);
    frames(1);
    expectKeepsTheRules("play screen with a combo", "GameLayer");
    play->getBombToggle()->activate();
    frames(1);
    expectKeepsTheRules("play screen with a prompt", "GameLayer");
    play->getBombToggle()->activate();
    checkDialog(play, PauseLayer::create(), "pause", "PauseLayer");
    checkDialog(play, GameOverLayer::create(), "game over", "GameOverLayer");
    for (int row = 0; row < 10; ++row) {
        PropPaintLayer* chooser = PropPaintLayer::create();
        play->addChild(chooser, 2);
        chooser->placeAt(kite::Vec2(row * 48.0f + 24, row * 48.0f + 24));
        checkDialog(play, chooser, "paint chooser over row " + std::to_string(row), "PropPaintLayer");
    }
    for (int page = 0; page < 3; ++page) {
        GuideLayer* guide = GuideLayer::create();
        guide->gameLayer = play;
        if (page == 0) guide->showBombPage();
        if (page == 1) guide->showPaintPage();
        if (page == 2) guide->showResetPage();
        checkDialog(play, guide, "tutorial page " + std::to_string(page + 1), "GuideLayer");
    }
}

TEST_P(ScreenBoundsTest, TheTopBarFramesItsNumbersAndTheShopButtonCountsTheDiamonds) {
    openPlayScreen();
    const Screen shown = screen();
    const int bar = shown.findPicture("Scene/bg_topmenu.png");
    const int topMenu = shown.find("TopMenu");
    const std::vector<int> shop = shown.controlsShowing("Scene/btn_shop.png");
    ASSERT_TRUE(bar >= 0 && topMenu >= 0 && shop.size() == 1u);
    // The top bar's labels in their order: best score, level, target, score, diamonds, then the counts.
    std::vector<stargrid::test::ScreenNode> numbers;
    for (int i = topMenu + 1; i < shown.nodes()[static_cast<std::size_t>(topMenu)].end; ++i)
        numbers.push_back(shown.nodes()[static_cast<std::size_t>(i)]);
    ASSERT_EQ(numbers.size(), 8u);
    for (int k : {0, 1, 2}) {
        stargrid::test::ScreenNode middle = numbers[static_cast<std::size_t>(k)];
        middle.left = middle.right = (middle.left + middle.right) / 2;
        middle.right += 1;
        middle.bottom = middle.top = (middle.bottom + middle.top) / 2;
        middle.top += 1;
        EXPECT_TRUE(shown.opaqueOver(bar, middle)) << "no frame under " << middle.describe();
    }
    const stargrid::test::ScreenNode& diamonds = numbers[4];
    const stargrid::test::ScreenNode& button = shown.nodes()[static_cast<std::size_t>(shop[0])];
    EXPECT_TRUE(diamonds.left >= button.left && diamonds.right <= button.right && diamonds.bottom >= button.bottom &&
                diamonds.top <= button.top)
        << diamonds.describe() << " is not on the shop button " << button.describe();
}

INSTANTIATE_TEST_SUITE_P(DesignHeights, ScreenBoundsTest, ::testing::Values(720, 852));

}  // namespace
