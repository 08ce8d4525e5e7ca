// The share and red-packet dialog against the local game server and the messenger stand-in.
#include "Classes/ShareLayer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <fstream>
#include <functional>
#include <iterator>

#include "Classes/GameData.h"
#include "Classes/MenuLayer.h"
#include "Classes/PlatformAlert.h"
#include "Classes/PopupBoxLayer.h"
#include "Classes/QKShare.h"
#include "ServerTestSupport.h"
#include "StandinSupport.h"
#include "kite/scene/Label.h"
#include "kite/scene/MenuItem.h"
#include "sdk/pigeon/PGApi.h"
#include "support/SchemeHandlers.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr char kAppId[] = "pgsharelayer0000001";

// Every node below, depth first.
template <typename Visit>
void forEachNode(kite::Node* node, Visit visit) {
    for (kite::Node* child : node->getChildren()) {
        visit(child);
        forEachNode(child, visit);
    }
}

class ShareLayerTest : public game::test::ServerGameTest {
protected:
    void SetUp() override {
        ServerGameTest::SetUp();
        kite::test::SchemeHandlers& handlers = kite::test::SchemeHandlers::instance();
        setenv("XDG_DATA_HOME", (handlers.path() + "/data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (handlers.path() + "/config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", environment->root().c_str(), 1);
        log_ = environment->root() + "/standin.log";
        setenv("PIGEON_STANDIN_LOG", log_.c_str(), 1);
        setenv("PIGEON_STANDIN_ANSWER", "send", 1);
        pigeon::PGApi::resetForTesting();
        ASSERT_TRUE(pigeon::PGApi::registerApp(kAppId));
        platformAlert::setPresenter([this](const std::string& title, const std::string& message, const std::string&) {
            platformAlerts.push_back(title + "|" + message);
        });
        menu = MenuLayer::create();
        scene->addChild(menu);
        ASSERT_TRUE(settle());
        server->requestLog().clear();
    }
    void TearDown() override {
        game::test::runStandin("--uninstall");
        platformAlert::setPresenter(nullptr);
        pigeon::PGApi::resetForTesting();
        unsetenv("PIGEON_STANDIN_LOG");
        unsetenv("PIGEON_STANDIN_ANSWER");
        ServerGameTest::TearDown();
    }

    ShareLayer* openDialog() {
        ShareLayer* dialog = ShareLayer::create();
        dialog->menuLayer = menu;
        menu->addChild(dialog, 2, 6666);
        return dialog;
    }
    static std::string countText(ShareLayer* dialog) {
        std::string text = "<none>";
        forEachNode(dialog, [&](kite::Node* node) {
            if (auto* label = dynamic_cast<kite::Label*>(node)) text = label->getString();
        });
        return text;
    }
    static kite::MenuItemImage* receiveButton(ShareLayer* dialog) {
        kite::MenuItemImage* last = nullptr;
        forEachNode(dialog, [&](kite::Node* node) {
            if (auto* item = dynamic_cast<kite::MenuItemImage*>(node)) last = item;
        });
        return last;
    }
    bool standinLogged(const std::string& text) {
        return kite::test::SchemeHandlers::waitUntil([&] {
            kite::Director::getInstance()->getScheduler()->update(1.0f / 60);
            return kite::test::readWholeFile(log_).find(text) != std::string::npos;
        });
    }

    MenuLayer* menu = nullptr;
    std::string log_;
    std::vector<std::string> platformAlerts;
};

TEST_F(ShareLayerTest, TheReceiveButtonAndTheCountFollowTheRedPackets) {
    ShareLayer* dialog = openDialog();
    EXPECT_EQ(countText(dialog), "当前红包个数：0");
    ASSERT_NE(receiveButton(dialog), nullptr);
    EXPECT_FALSE(receiveButton(dialog)->isEnabled());
    QKSingleton::getInstance()->redPacketCount = 3;
    dialog->updateRedbagCount();
    EXPECT_EQ(countText(dialog), "当前红包个数：3");
    EXPECT_TRUE(receiveButton(dialog)->isEnabled());
}

TEST_F(ShareLayerTest, SharingNeedsABoundPhoneAndTheNetwork) {
    kite::test::LogCapture log;
    ShareLayer* dialog = openDialog();
    dialog->menuShareFriendCallback();
    ASSERT_NE(QKSingleton::getInstance()->getCurrentPopup(), nullptr);
    EXPECT_EQ(QKSingleton::getInstance()->getCurrentPopup()->getParent(), menu) << "the bind prompt is the menu's";
    QKSingleton::getInstance()->removePopup();

    bindAccount("13812345678", "1234");
    QKSingleton::getInstance()->networkReachable = false;
    dialog->menuShareTimelineCallback();
    dialog->menuReceiveCallback();
    EXPECT_THAT(log.text(), HasSubstr("当前无网络，无法使\r\n用分享！"));
    EXPECT_THAT(log.text(), HasSubstr("当前无网络，请连接\r\n网络后领奖！"));
    ASSERT_TRUE(settle());
    EXPECT_TRUE(requestedPaths().empty());
}

TEST_F(ShareLayerTest, TheServersPageGoesToTheChosenTargetWithThePhoneInItsAddress) {
    bindAccount("13812345678", "1234");
    ShareLayer* dialog = openDialog();
    dialog->menuShareFriendCallback();
    ASSERT_TRUE(settle());
    EXPECT_THAT(requestedPaths(), ElementsAre("/game/ShareInfo_iOS"));
    EXPECT_EQ(QKSingleton::getInstance()->getCurrentPopup(), nullptr) << "the wait box is closed";
    EXPECT_THAT(platformAlerts, ElementsAre("提示|您还没有安装“信鸽”，需要安装“信鸽”才能正常使用分享功能！"));

    ASSERT_EQ(game::test::runStandin("--install"), 0);
    ASSERT_TRUE(kite::test::SchemeHandlers::waitUntil([] { return pigeon::PGApi::isPGAppInstalled(); }));
    dialog->menuShareTimelineCallback();
    ASSERT_TRUE(settle());
    ASSERT_TRUE(standinLogged("to the timeline\ntitle: Stargrid\n"));
    EXPECT_THAT(kite::test::readWholeFile(log_),
                HasSubstr("url: " + server->url("/pages/share.html") + "?cellphone=13812345678\n"));
    // The server's icon went with it as the thumbnail.
    EXPECT_THAT(kite::test::readWholeFile(log_), HasSubstr("thumbnail: "));
    EXPECT_THAT(kite::test::readWholeFile(log_), ::testing::Not(HasSubstr("thumbnail: 0 bytes")));
}

TEST_F(ShareLayerTest, RedPacketsAreClaimedOnceAndCreditedOnce) {
    bindAccount("13812345678", "1234", 2);
    GameData::getInstance()->setDiamond(10);
    QKSingleton::getInstance()->redPacketCount = 2;
    kite::test::LogCapture log;
    ShareLayer* dialog = openDialog();
    dialog->menuReceiveCallback();
    ASSERT_TRUE(settle());
    EXPECT_EQ(server->requestLog().since(0).at(0).body, "{\"cellphone\":\"13812345678\"}\n");
    EXPECT_THAT(log.text(), HasSubstr("恭喜"));
    const int credited = GameData::getInstance()->getDiamond();
    EXPECT_GT(credited, 10);
    EXPECT_EQ(QKSingleton::getInstance()->redPacketCount, 0);
    QKSingleton::getInstance()->removePopup();  // the alert, whose label and button would be found first
    EXPECT_EQ(countText(dialog), "当前红包个数：0");
    EXPECT_FALSE(receiveButton(dialog)->isEnabled());

    dialog->menuReceiveCallback();
    ASSERT_TRUE(settle());
    EXPECT_THAT(log.text(), HasSubstr("领取失败，请稍后重试！"));
    EXPECT_EQ(GameData::getInstance()->getDiamond(), credited);
}

TEST_F(ShareLayerTest, RedPacketDiamondsStopAtTheLargestCountAndANegativeAmountIsRefused) {
    bindAccount("13812345678", "1234", 1);
    QKSingleton::getInstance()->redPacketCount = 1;
    ShareLayer* dialog = openDialog();
    auto receive = [&](const std::string& diamonds) {
        stargrid_server::ReplyOverride reply;
        reply.path = "/game/ReceiveRedbag";
        reply.body = "{\"code\":\"0000\",\"bodymessage\":{\"diamond\":\"" + diamonds + "\",\"redbag\":\"0\"}}";
        server->overrides().push(reply);
        dialog->menuReceiveCallback();
        ASSERT_TRUE(settle());
    };
    kite::test::LogCapture log;
    GameData::getInstance()->setDiamond(10);
    receive("-5");
    EXPECT_EQ(GameData::getInstance()->getDiamond(), 10);
    EXPECT_TRUE(log.contains("GameData: refused a negative amount of diamonds (-5) from the red packets"));
    EXPECT_THAT(log.text(), HasSubstr("领取失败，请稍后重试！"));
    receive("2147483647");
    EXPECT_EQ(GameData::getInstance()->getDiamond(), 2147483647);
}

TEST_F(ShareLayerTest, BadRepliesCloseTheWaitBoxAndChangeNothing) {
    bindAccount("13812345678", "1234", 1);
    GameData::getInstance()->setDiamond(10);
    QKSingleton::getInstance()->redPacketCount = 1;
    ShareLayer* dialog = openDialog();
    // Each request's wait box, kept alive here so that its removal can be seen.
    auto waitBoxOf = [](const std::function<void()>& request) {
        request();
        return kite::RefPtr<PopupBoxLayer>(QKSingleton::getInstance()->getCurrentPopup());
    };
    for (const char* kind : {"malformed", "deep", "wrongtype", "empty", "error", "drop"}) {
        SCOPED_TRACE(kind);
        kite::test::LogCapture log;
        nextReply("/game/ReceiveRedbag", kind);
        kite::RefPtr<PopupBoxLayer> receiving = waitBoxOf([dialog] { dialog->menuReceiveCallback(); });
        ASSERT_NE(receiving.get(), nullptr);
        ASSERT_TRUE(settle());
        EXPECT_EQ(receiving->getParent(), nullptr) << "the wait box stays";
        nextReply("/game/ShareInfo_iOS", kind);
        kite::RefPtr<PopupBoxLayer> sharing = waitBoxOf([dialog] { dialog->menuShareFriendCallback(); });
        ASSERT_NE(sharing.get(), nullptr);
        ASSERT_TRUE(settle());
        EXPECT_EQ(sharing->getParent(), nullptr) << "the wait box stays";
        if (std::string(kind) != "drop") {
            EXPECT_THAT(log.text(), HasSubstr("领取失败，请稍后重试！"));
            EXPECT_THAT(log.text(), HasSubstr("获取分享信息失败！"));
        }
    }
    EXPECT_EQ(GameData::getInstance()->getDiamond(), 10);
    EXPECT_EQ(QKSingleton::getInstance()->redPacketCount, 1);
    EXPECT_TRUE(platformAlerts.empty());
}

}  // namespace
