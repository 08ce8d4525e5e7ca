// The menu's account information and help dialogs, and the menu buttons that open the dialogs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "Classes/HelpLayer.h"
#include "Classes/InfoLayer.h"
#include "Classes/LoginLayer.h"
#include "Classes/MenuLayer.h"
#include "Classes/RankedLayer.h"
#include "Classes/WebViewLayer.h"
#include "ServerTestSupport.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventListenerTouch.h"
#include "kite/scene/Label.h"
#include "kite/scene/Layer.h"

namespace {

using game::test::childOf;
using game::test::DrawnServerGameTest;
using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

// Every label text under a node.
std::vector<std::string> labelTexts(kite::Node* root) {
    std::vector<std::string> texts;
    std::function<void(kite::Node*)> walk = [&](kite::Node* node) {
        if (auto* label = dynamic_cast<kite::Label*>(node)) texts.push_back(label->getString());
        for (kite::Node* child : node->getChildren()) walk(child);
    };
    walk(root);
    return texts;
}

class AccountDialogsTest : public DrawnServerGameTest {
protected:
    // A menu with its start-up chain done.
    MenuLayer* openMenu() {
        MenuLayer* menu = MenuLayer::create();
        scene->addChild(menu);
        EXPECT_TRUE(settle());
        return menu;
    }
};

TEST_F(AccountDialogsTest, HelpShowsItsPictureAndTakesEveryTouchUntilClosed) {
    int touchesBelow = 0;
    kite::Layer* below = kite::Layer::create();
    auto* listener = kite::EventListenerTouchOneByOne::create();
    listener->onTouchBegan = [&](kite::Touch*, kite::Event*) { return ++touchesBelow, true; };
    below->getEventDispatcher()->addEventListenerWithSceneGraphPriority(listener, below);
    scene->addChild(below);
    frames(1);
    const kite::test::Pixel before = readPixel(240, 426);

    HelpLayer* help = HelpLayer::create();
    scene->addChild(help, 2);
    frames(15);
    saveFrame();
    EXPECT_NE(readPixel(240, 426), before);
    tap(help);
    EXPECT_EQ(touchesBelow, 0);
    EXPECT_EQ(help->getParent(), scene.get());

    kite::RefPtr<HelpLayer> keep(help);
    help->menuCloseCallback();
    EXPECT_EQ(help->getParent(), nullptr);
    frames(1);
    EXPECT_EQ(readPixel(240, 426), before);
    tap(below);
    EXPECT_EQ(touchesBelow, 1);
}

TEST_F(AccountDialogsTest, InfoWithoutAPhoneOffersBindingWhichOpensOnTheMenu) {
    QKSingleton::getInstance()->versionText = "1.0";
    MenuLayer* menu = openMenu();
    menu->menuInfoCallback();
    InfoLayer* info = childOf<InfoLayer>(menu);
    ASSERT_NE(info, nullptr);
    frames(15);
    saveFrame();
    EXPECT_THAT(labelTexts(info), Contains("版本 V 1.0"));
    kite::RefPtr<InfoLayer> keep(info);
    info->menuBindCallback();
    EXPECT_EQ(info->getParent(), nullptr);
    ASSERT_NE(childOf<LoginLayer>(menu), nullptr);
}

TEST_F(AccountDialogsTest, InfoShowsABoundNumberMasked) {
    bindAccount("13812345678", "1234");
    InfoLayer* info = InfoLayer::create();
    scene->addChild(info, 2);
    EXPECT_THAT(labelTexts(info), Contains("138****5678"));
    EXPECT_EQ(InfoLayer::maskedNumber(""), "****");
    EXPECT_EQ(InfoLayer::maskedNumber("13"), "13****");
    EXPECT_EQ(InfoLayer::maskedNumber("13812345"), "138****5");
}

TEST_F(AccountDialogsTest, TheAgreementPageOpensOnlyWithTheNetwork) {
    kite::test::LogCapture log;
    InfoLayer* info = InfoLayer::create();
    scene->addChild(info, 2);
    auto pagesOpen = [info] {
        int pages = 0;
        for (kite::Node* child : info->getChildren()) pages += dynamic_cast<WebViewLayer*>(child) != nullptr;
        return pages;
    };
    info->menuPactCallback();
    EXPECT_EQ(pagesOpen(), 1);
    QKSingleton::getInstance()->networkReachable = false;
    info->menuPactCallback();
    EXPECT_THAT(log.text(), HasSubstr("\"提示\" / \"当前无网络，请连接\r\n您的网络！\""));
    EXPECT_EQ(pagesOpen(), 1);
}

TEST_F(AccountDialogsTest, TheMenuButtonsOpenTheirDialogs) {
    bindAccount("13812345678", "1234");
    MenuLayer* menu = openMenu();
    menu->menuHelpCallback();
    EXPECT_NE(childOf<HelpLayer>(menu), nullptr);
    menu->menuInfoCallback();
    EXPECT_NE(childOf<InfoLayer>(menu), nullptr);
    menu->menuRankedCallback();
    EXPECT_NE(childOf<RankedLayer>(menu), nullptr);
    ASSERT_TRUE(settle());
    menu->showLoginLayer(3);
    EXPECT_NE(childOf<LoginLayer>(menu), nullptr);
}

}  // namespace
