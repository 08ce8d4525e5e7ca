#include "app-shell/AlertView.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "Classes/GameTestSupport.h"
#include "Classes/PopupBoxLayer.h"
#include "app-shell/AppDelegate.h"
#include "kite/foundation/Create.h"
#include "kite/foundation/Ref.h"
#include "kite/scene/Label.h"
#include "kite/scene/Scene.h"
#include "kite/scene/SceneDrawSupport.h"
#include "kite/scene/Sprite.h"
#include "platform/Clock.h"
#include "platform/DeviceProfile.h"
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

// The alert over an empty scene on a device profile's frame, with the game's design size on it as the app
// delegate sets it.
class AlertViewOnDeviceTest : public game::test::GameGLTest, public ::testing::WithParamInterface<const char*> {
protected:
    platform::DeviceProfile profile() const { return *platform::deviceProfileNamed(GetParam()); }
    int frameWidth() const override { return profile().width; }
    int frameHeight() const override { return profile().height; }

    void SetUp() override {
        GameGLTest::SetUp();
        if (!context()) GTEST_SKIP() << "no GL context";
        platform::Clock::setFixed(10.0);
        kite::test::shutDownDirector();
        kite::Director* director = kite::Director::getInstance();
        auto* view = kite::createAutoreleased<kite::test::FixtureView>(context(), frameWidth(), frameHeight());
        ASSERT_TRUE(view);
        designHeight = AppDelegate::designHeightFor(frameHeight(), profile().pad);
        view->setDesignResolutionSize(480, designHeight, kite::ResolutionPolicy::EXACT_FIT);
        director->setGLView(view);
        scene = kite::Scene::create();
        director->runWithScene(scene.get());
        frames(1);
    }
    void TearDown() override {
        std::vector<PopupBoxLayer*> shown;
        if (scene)
            for (kite::Node* child : scene->getChildren())
                if (auto* alert = dynamic_cast<PopupBoxLayer*>(child)) shown.push_back(alert);
        for (PopupBoxLayer* alert : shown) alert->close();
        scene = nullptr;
        kite::test::shutDownDirector();
        platform::Clock::useRealTime();
        GameGLTest::TearDown();
    }
    void frames(int count) {
        for (int i = 0; i < count; ++i) {
            platform::Clock::advance(1.0 / 60.0);
            kite::Director::getInstance()->mainLoop();
        }
    }
    // The label of the alert's message, on its box.
    kite::Label* messageLabel(const std::string& message) const {
        for (kite::Node* child : scene->getChildren()) {
            if (!dynamic_cast<PopupBoxLayer*>(child)) continue;
            for (kite::Node* box : child->getChildren())
                for (kite::Node* node : box->getChildren())
                    if (auto* label = dynamic_cast<kite::Label*>(node); label && label->getString() == message)
                        return label;
        }
        return nullptr;
    }

    // The rows of ink of a message on the alert's light card, as the frame shows them: each run of rows with
    // ink between the card's edges is a line of the message.
    struct Line {
        int top, bottom, left, right;
    };
    struct Inked {
        int cardLeft = 0, cardRight = 0;
        std::vector<Line> lines;
        float centre() const { return (cardLeft + cardRight) / 2.0f; }
        std::string where(const Line& line) const {
            return "the line in rows " + std::to_string(line.top) + " to " + std::to_string(line.bottom) +
                   ", inked from " + std::to_string(line.left) + " to " + std::to_string(line.right) +
                   ", on the card from " + std::to_string(cardLeft) + " to " + std::to_string(cardRight);
        }
    };
    // Empty lines when the frame has no card under the label.
    Inked inkOf(const kite::Label& label, const std::string& frameName = "") const {
        const std::vector<std::uint8_t> rgba = readFrame();
        saveFrame(frameName);
        const int width = frameWidth();
        const float scaleY = static_cast<float>(frameHeight()) / designHeight;
        auto at = [&](int x, int row) { return &rgba[(static_cast<std::size_t>(row) * width + x) * 4]; };
        // The card is light (from (250, 247, 255) down to (226, 218, 252)); the text on it is blue (64, 105, 167).
        auto light = [&](int x, int row) {
            return at(x, row)[0] >= 200 && at(x, row)[1] >= 190 && at(x, row)[2] >= 230;
        };
        auto ink = [&](int x, int row) { return at(x, row)[0] < 160; };

        // The label's rows on the frame (rows from the top), and a row of bare card 10 points below them.
        const kite::Vec2 low = label.convertToWorldSpace(kite::Vec2::ZERO);
        const kite::Vec2 high = label.convertToWorldSpace(kite::Vec2(0, label.getContentSize().height));
        const int firstRow = static_cast<int>((designHeight - high.y) * scaleY) - 2;
        const int lastRow = static_cast<int>(std::ceil((designHeight - low.y) * scaleY)) + 2;
        const int bare = static_cast<int>((designHeight - low.y + 10) * scaleY);
        Inked inked;
        inked.cardLeft = inked.cardRight = width / 2;
        if (!light(inked.cardLeft, bare)) return inked;
        while (inked.cardLeft > 0 && light(inked.cardLeft - 1, bare)) --inked.cardLeft;
        while (inked.cardRight < width - 1 && light(inked.cardRight + 1, bare)) ++inked.cardRight;
        bool inLine = false;
        for (int row = firstRow; row <= lastRow; ++row) {
            int left = -1, right = -1;
            for (int x = inked.cardLeft; x <= inked.cardRight; ++x) {
                if (!ink(x, row)) continue;
                if (left < 0) left = x;
                right = x;
            }
            if (left < 0) {
                inLine = false;
                continue;
            }
            if (!inLine) inked.lines.push_back({row, row, left, right});
            inLine = true;
            Line& line = inked.lines.back();
            line.bottom = row;
            line.left = std::min(line.left, left);
            line.right = std::max(line.right, right);
        }
        return inked;
    }

    kite::RefPtr<kite::Scene> scene;
    float designHeight = 0;
};

// A message too wide for one line breaks into lines, each centred on the box's light card and kept the
// card's margin (20 points) from its edges, as a one-line message sits centred on it.
TEST_P(AlertViewOnDeviceTest, TheLinesOfAWrappedMessageAreCentredInTheCardWithItsMargin) {
    const std::string message = "付款成功，但钻石暂时无法保存，下次启动游戏时补发!";
    showAlertView("提示", message, "确认");
    frames(30);  // the box pops in within 0.15 s
    kite::Label* label = messageLabel(message);
    ASSERT_NE(label, nullptr);
    const Inked inked = inkOf(*label);
    const float margin = 20 * static_cast<float>(frameWidth()) / 480;
    ASSERT_GE(inked.lines.size(), 2u) << "the card spans " << inked.cardLeft << " to " << inked.cardRight;
    for (const Line& line : inked.lines) {
        SCOPED_TRACE(inked.where(line));
        EXPECT_NEAR((line.left + line.right) / 2.0f, inked.centre(), 2.0f);
        EXPECT_GE(line.left - inked.cardLeft, margin - 1);
        EXPECT_GE(inked.cardRight - line.right, margin - 1);
    }
}

// The start's news of payments of each outcome, a line each, and the store's one-line alerts: every line
// centred on the card, as a wrapped message's are, and kept the same margin from its edges.
TEST_P(AlertViewOnDeviceTest, EachLineOfAMessageItDoesNotWrapIsCentredInTheCardWithItsMargin) {
    const std::string news = std::string("上次付款未成功，未扣款!") + "\r\n" + "上次付款成功，钻石已到账!";
    const struct {
        std::string message;
        std::size_t lines;
    } alerts[] = {{news, 2},
                  {"上次付款成功，钻石已到账!", 1},
                  {"上次付款未成功，未扣款!", 1},
                  {"付款结果未保存，重启后告知!", 1},
                  {"本机无法记录购买，未扣款!", 1},
                  {"无法连接到 iTunes Store!", 1}};
    const float margin = 20 * static_cast<float>(frameWidth()) / 480;
    for (std::size_t shown = 0; shown < std::size(alerts); ++shown) {
        const auto& alert = alerts[shown];
        SCOPED_TRACE(alert.message);
        showAlertView("提示", alert.message, "确认");
        frames(30);  // the box pops in within 0.15 s
        kite::Label* label = messageLabel(alert.message);
        ASSERT_NE(label, nullptr);
        const Inked inked = inkOf(*label, "." + std::to_string(shown + 1));
        ASSERT_EQ(inked.lines.size(), alert.lines) << "the card spans " << inked.cardLeft << " to " << inked.cardRight;
        for (const Line& line : inked.lines) {
            SCOPED_TRACE(inked.where(line));
            // Within the pixels a glyph's own sides leave (the "!" a line ends with is inked left of its middle).
            EXPECT_NEAR((line.left + line.right) / 2.0f, inked.centre(), 2.0f);
            EXPECT_GE(line.left - inked.cardLeft, margin - 1);
            EXPECT_GE(inked.cardRight - line.right, margin - 1);
        }
        std::vector<PopupBoxLayer*> popups;
        for (kite::Node* child : scene->getChildren())
            if (auto* popup = dynamic_cast<PopupBoxLayer*>(child)) popups.push_back(popup);
        for (PopupBoxLayer* popup : popups) popup->close();
        frames(1);
    }
}

INSTANTIATE_TEST_SUITE_P(EveryDevice, AlertViewOnDeviceTest, ::testing::Values("iphone4", "iphone5", "ipad"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace
