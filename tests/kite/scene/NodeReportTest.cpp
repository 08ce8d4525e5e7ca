// The report of a scene's shown nodes: one line a node in drawing order, with its depth, class, world box,
// what it is (a tappable item, a label, a sprite with its file) and nothing of what is hidden.
#include "kite/scene/NodeReport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "SceneDrawSupport.h"
#include "kite/foundation/Create.h"
#include "kite/scene/Label.h"
#include "kite/scene/Menu.h"
#include "kite/scene/MenuItem.h"
#include "kite/scene/Scene.h"
#include "kite/scene/Sprite.h"
#include "support/ScopedLocale.h"
#include "support/TemporaryFolder.h"

namespace kite {
namespace {

using ::testing::ElementsAre;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

class NodeReportTest : public test::DirectorDrawTest {
protected:
    void SetUp() override {
        DirectorDrawTest::SetUp();
        if (!director) return;
        ASSERT_TRUE(folder.made());
        const std::vector<std::uint8_t> red(20 * 10 * 4, 200);
        image = folder.path() + "/panel.png";
        test::writePNG(image, 20, 10, red);
        scene = Scene::create();
        director->runWithScene(scene);
    }

    test::TemporaryFolder folder{"node-report"};
    std::string image;
    Scene* scene = nullptr;
};

TEST_F(NodeReportTest, ShownNodesComeInDrawingOrderWithTheirWorldBoxes) {
    Sprite* panel = Sprite::create(image);
    ASSERT_NE(panel, nullptr);
    panel->setPosition(30, 20);  // centred: 20 x 10 from (20, 15)
    panel->setScale(2.0f);       // 40 x 20 from (10, 10)
    scene->addChild(panel, 1);
    Label* caption = Label::createWithSystemFont("OK\r\ngo", "DejaVu Sans", 12);
    ASSERT_NE(caption, nullptr);
    caption->setAnchorPoint(Vec2::ZERO);
    caption->setPosition(2, 1);  // in the panel, scaled with it
    panel->addChild(caption);
    Node* hidden = Node::create();
    hidden->setVisible(false);
    hidden->addChild(Sprite::create(image));
    scene->addChild(hidden, 2);
    MenuItemSprite* on = MenuItemSprite::create(Sprite::create(image), Sprite::create(image));
    MenuItemSprite* off = MenuItemSprite::create(Sprite::create(image), Sprite::create(image));
    off->setEnabled(false);
    Menu* menu = Menu::create(on, off);
    menu->setPosition(Vec2::ZERO);
    on->setPosition(70, 50);
    off->setPosition(70, 30);
    scene->addChild(menu, 0);
    director->mainLoop();

    const std::vector<std::string> report = lines(nodeReport(scene));
    EXPECT_THAT(
        report,
        ElementsAre("0\tkite::Scene\t0.0 0.0 96.0 64.0\tnode\t", "1\tkite::Camera\t0.0 0.0 0.0 0.0\tnode\t",
                    // The menu (z 0) before the panel (z 1); the hidden node is not there.
                    "1\tkite::Menu\t0.0 0.0 96.0 64.0\tnode\t", "2\tkite::MenuItemSprite\t60.0 45.0 80.0 55.0\titem\t",
                    "3\tkite::Sprite\t60.0 45.0 80.0 55.0\tsprite\t" + image,
                    // Disabled: it takes no taps.
                    "2\tkite::MenuItemSprite\t60.0 25.0 80.0 35.0\tnode\t",
                    "3\tkite::Sprite\t60.0 25.0 80.0 35.0\tsprite\t" + image,
                    "1\tkite::Sprite\t10.0 10.0 50.0 30.0\tsprite\t" + image,
                    ::testing::AllOf(::testing::StartsWith("2\tkite::Label\t14.0 12.0 "),
                                     ::testing::EndsWith("\tlabel\tOK\\ngo"))));
}

// A scroll view's window onto what it holds.
struct Window : Node, ReportsWindow {
    Rect getViewRect() const override { return Rect(5, 6, 30, 20); }
};

TEST_F(NodeReportTest, AWindowedNodeReportsItsWindow) {
    auto* window = createAutoreleased<Window>();
    window->setContentSize(Size(500, 500));
    scene->addChild(window);
    EXPECT_THAT(lines(nodeReport(scene)),
                ::testing::Contains("1\tkite::(anonymous namespace)::Window\t5.0 6.0 35.0 26.0\tnode\t"));
}

// A library that switches the process to the player's locale (GTK does) does not change what programs read.
TEST_F(NodeReportTest, BoxesKeepTheirDecimalPointUnderADecimalCommaLocale) {
    auto* window = createAutoreleased<Window>();
    scene->addChild(window);
    test::DecimalComma comma;
    ASSERT_TRUE(comma.active());
    EXPECT_THAT(lines(nodeReport(scene)),
                ::testing::Contains("1\tkite::(anonymous namespace)::Window\t5.0 6.0 35.0 26.0\tnode\t"));
}

TEST_F(NodeReportTest, NoRootGivesAnEmptyReport) { EXPECT_EQ(nodeReport(nullptr), ""); }

}  // namespace
}  // namespace kite
