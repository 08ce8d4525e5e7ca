// The layout container drawn headless: stencil and scissor clipping (nested too) and backgrounds, by pixels.
#include "kite/widgets/Layout.h"

#include <GLES2/gl2.h>
#include <gtest/gtest.h>

#include "kite/scene/Layer.h"
#include "support/LogCapture.h"
#include "support/TemporaryFolder.h"
#include "tests/kite/widgets/WidgetTestSupport.h"

namespace kite {
namespace {

using test::kBlack;
using test::kBlue;
using test::kRed;
using ui::Layout;

class LayoutTest : public test::WidgetTest, public testing::WithParamInterface<Layout::ClippingType> {
protected:
    // A clipping layout at (x, y) of the given size, filled past its bounds with red.
    Layout* clippedRed(Node* parent, float x, float y, float w, float h) {
        Layout* layout = Layout::create();
        layout->setContentSize(Size(w, h));
        layout->setPosition(Vec2(x, y));
        layout->setClippingType(GetParam());
        layout->setClippingEnabled(true);
        LayerColor* red = LayerColor::create(Color4B(255, 0, 0, 255), 1000, 1000);
        red->setPosition(-500, -500);
        layout->addChild(red);
        parent->addChild(layout);
        return layout;
    }
};

TEST_P(LayoutTest, ClippingCutsTheChildrenAtTheBounds) {
    clippedRed(scene, 100, 100, 100, 100);
    frame();
    EXPECT_EQ(readPixel(101, 101), kRed);
    EXPECT_EQ(readPixel(198, 198), kRed);
    EXPECT_EQ(readPixel(98, 150), kBlack);
    EXPECT_EQ(readPixel(150, 202), kBlack);
    EXPECT_EQ(readPixel(300, 300), kBlack);
}

TEST_P(LayoutTest, NestedClippingDrawsOnlyTheIntersection) {
    Layout* outer = clippedRed(scene, 100, 100, 200, 200);  // 100..300
    clippedRed(outer, 50, 50, 200, 200);                    // 150..350, cut to 150..300
    static_cast<LayerColor*>(outer->getChildren().at(0))->setColor(Color3B(0, 0, 255));
    frame();
    saveFrame();
    EXPECT_EQ(readPixel(125, 125), kBlue);  // the outer only
    EXPECT_EQ(readPixel(200, 200), kRed);   // both
    EXPECT_EQ(readPixel(298, 298), kRed);
    EXPECT_EQ(readPixel(320, 320), kBlack);  // the inner only
    EXPECT_EQ(readPixel(320, 200), kBlack);
}

TEST_P(LayoutTest, DrawingAfterAClippedLayoutIsNotClipped) {
    clippedRed(scene, 100, 100, 50, 50);
    LayerColor* after = LayerColor::create(Color4B(0, 0, 255, 255), 60, 60);
    after->setPosition(300, 300);
    scene->addChild(after);
    frame();
    EXPECT_EQ(readPixel(330, 330), kBlue);
    EXPECT_FALSE(glIsEnabled(GL_STENCIL_TEST));
    EXPECT_FALSE(glIsEnabled(GL_SCISSOR_TEST));
}

TEST_P(LayoutTest, LayoutMovedOutOfAClippingParentIsNoLongerCutByIt) {
    Layout* outer = clippedRed(scene, 100, 100, 100, 100);
    Layout* inner = clippedRed(outer, 50, 50, 100, 100);
    frame();
    RefPtr<Layout> keep(inner);
    inner->removeFromParent();
    outer->removeFromParent();
    inner->setPosition(Vec2(150, 150));
    scene->addChild(inner);
    frame();
    EXPECT_EQ(readPixel(240, 240), kRed);
}

TEST_P(LayoutTest, ClippingFollowsTheLayoutWhenItMoves) {
    Layout* layout = clippedRed(scene, 100, 100, 50, 50);
    frame();
    layout->setPosition(Vec2(250, 250));
    frame();
    EXPECT_EQ(readPixel(120, 120), kBlack);
    EXPECT_EQ(readPixel(270, 270), kRed);
}

INSTANTIATE_TEST_SUITE_P(ByStencilAndScissor, LayoutTest,
                         testing::Values(Layout::ClippingType::STENCIL, Layout::ClippingType::SCISSOR),
                         [](const testing::TestParamInfo<Layout::ClippingType>& info) {
                             return info.param == Layout::ClippingType::STENCIL ? "Stencil" : "Scissor";
                         });

class LayoutDrawTest : public test::WidgetTest {};

TEST_F(LayoutDrawTest, TooManyNestedStencilsLogAndStopClippingInsteadOfOverflowing) {
    test::LogCapture logged;
    Node* parent = scene;
    // Nine layouts, each 10 points in from the last; the ninth would need a ninth stencil bit.
    for (int depth = 0; depth < 9; ++depth) {
        Layout* layout = Layout::create();
        layout->setContentSize(Size(300 - 20 * depth, 300 - 20 * depth));
        layout->setPosition(depth == 0 ? Vec2(50, 50) : Vec2(10, 10));
        layout->setClippingEnabled(true);
        parent->addChild(layout);
        parent = layout;
    }
    LayerColor* red = LayerColor::create(Color4B(255, 0, 0, 255), 1000, 1000);
    red->setPosition(-500, -500);
    parent->addChild(red);
    frame();
    frame();
    // The eighth layout (70 points in) still clips; the ninth does not, so red fills the eighth.
    EXPECT_EQ(readPixel(125, 125), kRed);
    EXPECT_EQ(readPixel(118, 118), kBlack);
    EXPECT_EQ(logged.count("nested stencil clips"), 1u);
    EXPECT_FALSE(glIsEnabled(GL_STENCIL_TEST));
}

TEST_F(LayoutDrawTest, BackgroundColourTypesAddAndRemoveTheirLayers) {
    Layout* layout = Layout::create();
    layout->setContentSize(Size(100, 100));
    layout->setPosition(Vec2(50, 50));
    scene->addChild(layout);
    layout->setBackGroundColor(Color3B(0, 0, 255));
    layout->setBackGroundColorType(Layout::BackGroundColorType::SOLID);
    frame();
    EXPECT_EQ(readPixel(100, 100), kBlue);
    layout->setBackGroundColor(Color3B(255, 0, 0), Color3B(255, 0, 0));
    layout->setBackGroundColorType(Layout::BackGroundColorType::GRADIENT);
    frame();
    EXPECT_EQ(readPixel(100, 100), kRed);
    layout->setBackGroundColorType(Layout::BackGroundColorType::NONE);
    frame();
    EXPECT_EQ(readPixel(100, 100), kBlack);
    layout->setBackGroundImage("");  // an empty name is ignored
    EXPECT_EQ(layout->getBackGroundImage(), nullptr);
}

TEST_F(LayoutDrawTest, BackgroundImageIsCentredAndNineSlicedToTheLayoutsSize) {
    test::TemporaryFolder folder("layout-background");
    ASSERT_TRUE(folder.made());
    const std::string image = folder.path() + "/blue.png";
    ASSERT_TRUE(test::writePNG(image, 8, 8, std::vector<std::uint8_t>(8 * 8 * 4, 255)));
    Layout* layout = Layout::create();
    layout->setContentSize(Size(100, 100));
    layout->setPosition(Vec2(50, 50));  // 50..150
    layout->setBackGroundImage(image);
    layout->setBackGroundImageColor(Color3B(0, 0, 255));
    scene->addChild(layout);
    frame();
    EXPECT_EQ(layout->getBackGroundImageTextureSize(), Size(8, 8));
    EXPECT_EQ(readPixel(100, 100), kBlue);  // the 8 x 8 image in the middle
    EXPECT_EQ(readPixel(60, 60), kBlack);
    layout->setBackGroundImageScale9Enabled(true);
    layout->setBackGroundImageCapInsets(Rect(2, 2, 4, 4));
    frame();
    EXPECT_EQ(readPixel(60, 60), kBlue);  // stretched over the whole layout
    EXPECT_EQ(readPixel(148, 148), kBlue);
    EXPECT_EQ(readPixel(152, 100), kBlack);
}

}  // namespace
}  // namespace kite
