#include "app-shell/AlertView.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Classes/GameTestSupport.h"
#include "Classes/PopupBoxLayer.h"
#include "kite/foundation/Ref.h"
#include "kite/scene/Label.h"
#include "kite/scene/Scene.h"
#include "support/DirectorShutdown.h"
#include "support/LogCapture.h"

namespace {

using ::testing::Contains;
using ::testing::ElementsAre;

// Whether a label below the node reads the text.
bool showsText(kite::Node* node, const std::string& text) {
    for (kite::Node* child : node->getChildren()) {
        auto* label = dynamic_cast<kite::Label*>(child);
        if ((label && label->getString() == text) || showsText(child, text)) return true;
    }
    return false;
}

class AlertViewTest : public game::test::GameGLTest {
protected:
    void SetUp() override {
        GameGLTest::SetUp();
        scene = kite::Scene::create();
        kite::Director::getInstance()->runWithScene(scene.get());
        kite::Director::getInstance()->mainLoop();
    }
    void TearDown() override {
        for (PopupBoxLayer* alert : alerts()) alert->close();
        kite::Director::getInstance()->mainLoop();
        scene = nullptr;
        kite::test::shutDownDirector();
        GameGLTest::TearDown();
    }
    std::vector<PopupBoxLayer*> alerts() const {
        std::vector<PopupBoxLayer*> found;
        for (kite::Node* child : scene->getChildren())
            if (auto* alert = dynamic_cast<PopupBoxLayer*>(child)) found.push_back(alert);
        return found;
    }
    kite::RefPtr<kite::Scene> scene;
};

TEST_F(AlertViewTest, AFloodOfOneKindShowsOneAlertAndTheNewestAfterIt) {
    kite::test::LogCapture log;
    for (int i = 0; i < 150; ++i) showAlertView("add card resp", "cardid:" + std::to_string(i), "确定");
    showAlertView("提示", "分享成功", "确定");
    kite::Director::getInstance()->mainLoop();
    EXPECT_THAT(log.lines(), Contains("AlertView: add card resp / cardid:149 [确定]"));

    std::vector<PopupBoxLayer*> shown = alerts();
    ASSERT_EQ(shown.size(), 2u);  // one of each kind
    EXPECT_TRUE(showsText(shown[0], "cardid:0"));
    EXPECT_TRUE(showsText(shown[1], "分享成功"));
    shown[0]->close();
    kite::Director::getInstance()->mainLoop();
    shown = alerts();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_TRUE(showsText(shown[1], "cardid:149")) << "the newest waited; those between were replaced";
    shown[1]->close();
    kite::Director::getInstance()->mainLoop();
    shown = alerts();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(showsText(shown[0], "分享成功"));
}

// What waits on its drawing (the store's news, finished once seen) is told so only after a frame drew it: not
// when raised, nor while another of its title holds it back; and a newer alert never takes its place.
TEST_F(AlertViewTest, AnAlertHearsItWasDrawnAfterTheFrameThatDrewItAndIsNeverReplaced) {
    int drawn = 0;
    showAlertView("提示", "当前无网络", "确认");
    showAlertView("提示", "上次付款成功", "确认", [&drawn] { ++drawn; });
    showAlertView("提示", "分享成功", "确认");
    for (int frame = 0; frame < 3; ++frame) kite::Director::getInstance()->mainLoop();
    EXPECT_EQ(drawn, 0) << "held back by the first";
    alerts()[0]->close();
    kite::Director::getInstance()->mainLoop();  // shown, and drawn in this frame
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_TRUE(showsText(alerts()[0], "上次付款成功"));
    EXPECT_EQ(drawn, 0) << "not before that frame is over";
    for (int frame = 0; frame < 3; ++frame) kite::Director::getInstance()->mainLoop();
    EXPECT_EQ(drawn, 1);
    alerts()[0]->close();
    kite::Director::getInstance()->mainLoop();
    ASSERT_EQ(alerts().size(), 1u);
    EXPECT_TRUE(showsText(alerts()[0], "分享成功"));
}

TEST_F(AlertViewTest, AnAlertClosedBeforeTheNextFrameHearsItWasDrawnThenAndOnce) {
    int drawn = 0;
    showAlertView("提示", "上次付款成功", "确认", [&drawn] { ++drawn; });
    kite::Director::getInstance()->mainLoop();  // shown, and drawn in this frame
    ASSERT_EQ(alerts().size(), 1u);
    alerts()[0]->close();  // as a quit leaves the screen
    EXPECT_EQ(drawn, 1);
    for (int frame = 0; frame < 3; ++frame) kite::Director::getInstance()->mainLoop();
    EXPECT_EQ(drawn, 1);
}

// At start alerts come before a scene runs (no network, then the store's news of an earlier payment).
class AlertViewAtStartTest : public AlertViewTest {
protected:
    void SetUp() override {
        GameGLTest::SetUp();
        scene = kite::Scene::create();  // run only once the alerts are raised
    }
};

TEST_F(AlertViewAtStartTest, AlertsOfOneTitleRaisedBeforeAnyShowsEachTakeTheirTurn) {
    showAlertView("提示", "当前无网络", "确认");
    showAlertView("提示", "上次付款成功", "确认");
    kite::Director::getInstance()->runWithScene(scene.get());
    for (const char* expected : {"当前无网络", "上次付款成功"}) {
        kite::Director::getInstance()->mainLoop();
        kite::Director::getInstance()->mainLoop();
        const std::vector<PopupBoxLayer*> shown = alerts();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_TRUE(showsText(shown[0], expected));
        shown[0]->close();
    }
}

}  // namespace
