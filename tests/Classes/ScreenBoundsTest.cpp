// Every button a screen shows lies on the screen, apart from its neighbours, on both design heights
// (720 points: iPhone 4 and iPad; 852 points: the tall iPhone 5); popup texts stay inside their box.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "Classes/GameOverLayer.h"
#include "Classes/HelpLayer.h"
#include "Classes/LoginLayer.h"
#include "Classes/MenuLayer.h"
#include "Classes/MenuScreens.h"
#include "Classes/PauseLayer.h"
#include "Classes/PopupBoxLayer.h"
#include "Classes/QKSingleton.h"
#include "Classes/RankedLayer.h"
#include "Classes/SaleLayer.h"
#include "Classes/ShopLayer.h"
#include "ServerTestSupport.h"
#include "kite/scene/Label.h"
#include "kite/scene/Menu.h"
#include "kite/scene/MenuItem.h"
#include "kite/scene/Sprite.h"

namespace {

using game::test::DrawnServerGameTest;

struct Box {
    float left, bottom, right, top;
    bool overlaps(const Box& other) const {
        return left < other.right && other.left < right && bottom < other.top && other.bottom < top;
    }
};

// A node's content rectangle in world points.
Box worldBox(const kite::Node* node) {
    const kite::Size size = node->getContentSize();
    const kite::Vec2 a = node->convertToWorldSpace(kite::Vec2(0, 0));
    const kite::Vec2 b = node->convertToWorldSpace(kite::Vec2(size.width, size.height));
    return {std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

bool shown(const kite::Node* node) {
    for (; node; node = node->getParent())
        if (!node->isVisible()) return false;
    return true;
}

// The shown items of every menu under a node, menu by menu.
std::vector<std::vector<kite::MenuItem*>> menusUnder(kite::Node* root) {
    std::vector<std::vector<kite::MenuItem*>> menus;
    std::function<void(kite::Node*)> walk = [&](kite::Node* node) {
        if (dynamic_cast<kite::Menu*>(node)) {
            menus.emplace_back();
            for (kite::Node* child : node->getChildren())
                if (auto* item = dynamic_cast<kite::MenuItem*>(child); item && shown(item))
                    menus.back().push_back(item);
        }
        for (kite::Node* child : node->getChildren()) walk(child);
    };
    walk(root);
    return menus;
}

std::string describe(const Box& box) {
    return "[" + std::to_string(box.left) + ", " + std::to_string(box.bottom) + " .. " + std::to_string(box.right) +
           ", " + std::to_string(box.top) + "]";
}

class ScreenBoundsTest : public DrawnServerGameTest, public ::testing::WithParamInterface<int> {
protected:
    int frameHeight() const override { return GetParam(); }
    void SetUp() override {
        QKSingleton::getInstance()->tallScreen = GetParam() > 720;
        DrawnServerGameTest::SetUp();
    }
    void TearDown() override {
        DrawnServerGameTest::TearDown();
        QKSingleton::getInstance()->tallScreen = false;
    }

    MenuLayer* openMenu() {
        MenuLayer* menu = MenuLayer::create();
        scene->addChild(menu);
        settleAndDraw();
        return menu;
    }

    // Adds a dialog to the scene, lets it pop in and checks its buttons.
    void expectButtonsFit(kite::Node* screen, const std::string& name) {
        ASSERT_NE(screen, nullptr) << name;
        if (!screen->getParent()) scene->addChild(screen, 2);
        frames(20);
        const Box visible{0, 0, static_cast<float>(frameWidth()), static_cast<float>(frameHeight())};
        int items = 0;
        for (const auto& menu : menusUnder(screen)) {
            for (std::size_t i = 0; i < menu.size(); ++i) {
                ++items;
                const Box box = worldBox(menu[i]);
                EXPECT_TRUE(box.left >= visible.left && box.right <= visible.right && box.bottom >= visible.bottom &&
                            box.top <= visible.top)
                    << name << " item " << i << " at " << describe(box) << " leaves the screen";
                for (std::size_t j = i + 1; j < menu.size(); ++j)
                    EXPECT_FALSE(box.overlaps(worldBox(menu[j])))
                        << name << " items " << i << " and " << j << " overlap";
            }
        }
        EXPECT_GT(items, 0) << name;
    }

    // The popup's title and message lie inside its box and apart from each other.
    void expectTextsInsideBox(kite::Node* popup) {
        ASSERT_NE(popup, nullptr);
        std::vector<kite::Sprite*> boxes;
        for (kite::Node* child : popup->getChildren())
            if (auto* box = dynamic_cast<kite::Sprite*>(child); box && !box->getChildren().empty())
                boxes.push_back(box);
        ASSERT_EQ(boxes.size(), 1u);
        const Box box = worldBox(boxes[0]);
        std::vector<Box> texts;
        for (kite::Node* child : boxes[0]->getChildren()) {
            auto* label = dynamic_cast<kite::Label*>(child);
            if (!label || label->getString().empty()) continue;
            const Box text = worldBox(label);
            EXPECT_TRUE(text.left >= box.left && text.right <= box.right && text.bottom >= box.bottom &&
                        text.top <= box.top)
                << "\"" << label->getString() << "\" at " << describe(text) << " leaves its box " << describe(box);
            for (const Box& other : texts) EXPECT_FALSE(text.overlaps(other)) << label->getString();
            texts.push_back(text);
        }
        EXPECT_GE(texts.size(), 2u);
    }
};

TEST_P(ScreenBoundsTest, TheMenuAndItsDialogsKeepEveryButtonOnScreen) {
    MenuLayer* menu = openMenu();
    expectButtonsFit(menu, "menu");
    expectButtonsFit(HelpLayer::create(), "help");
    expectButtonsFit(ShopLayer::create(), "shop");
    expectButtonsFit(SaleLayer::create(), "sale");
    expectButtonsFit(LoginLayer::create(), "login");
    expectButtonsFit(RankedLayer::create(), "ranked");
    MenuScreens::openInfo(menu);
    frames(1);
    expectButtonsFit(menu->getChildren().back(), "info");
}

TEST_P(ScreenBoundsTest, ThePlayScreenDialogsKeepEveryButtonOnScreen) {
    expectButtonsFit(PauseLayer::create(), "pause");
    expectButtonsFit(GameOverLayer::create(), "game over");
}

TEST_P(ScreenBoundsTest, PopupTextsStayInsideTheirBox) {
    QKSingleton* state = QKSingleton::getInstance();
    const std::string longMessage = "当前无网络！系统将不会上传您的成绩到排行榜！";
    state->showAlert(scene.get(), "提示", longMessage);
    expectButtonsFit(state->getCurrentPopup(), "alert");
    expectTextsInsideBox(state->getCurrentPopup());
    state->showConfirm(scene.get(), "提示", "绑定账号可获得分享\r\n红包及排名奖励，是\r\n否立即绑定？", 1);
    expectButtonsFit(state->getCurrentPopup(), "confirm");
    expectTextsInsideBox(state->getCurrentPopup());
    state->showPhoneInput(scene.get(), "领取话费", "请输入手机号");
    expectButtonsFit(state->getCurrentPopup(), "phone input");
    expectTextsInsideBox(state->getCurrentPopup());
}

INSTANTIATE_TEST_SUITE_P(DesignHeights, ScreenBoundsTest, ::testing::Values(720, 852));

}  // namespace
