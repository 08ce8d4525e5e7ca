// The scroll view under scripted drags on a fixed-step clock: threshold, deceleration, bounce, zoom and clipping by
// pixels.
#include "kite/widgets/ScrollView.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "kite/platform/Device.h"
#include "kite/scene/Layer.h"
#include "tests/kite/widgets/WidgetTestSupport.h"

namespace kite {
namespace {

using extension::ScrollView;
using extension::ScrollViewDelegate;
using test::Pixel;

const Pixel kBlack{0, 0, 0, 255};
const Pixel kRed{255, 0, 0, 255};
const Pixel kGreen{0, 255, 0, 255};
const Pixel kBlue{0, 0, 255, 255};
const Pixel kYellow{255, 255, 0, 255};

// Every offset the view reports, in order.
struct OffsetLog : ScrollViewDelegate {
    void scrollViewDidScroll(ScrollView* view) override { offsets.push_back(view->getContentOffset()); }
    void scrollViewDidZoom(ScrollView*) override { ++zooms; }
    std::vector<Vec2> offsets;
    int zooms = 0;
};

LayerColor* block(const Color4B& color, float x, float y, float w, float h) {
    LayerColor* layer = LayerColor::create(color, w, h);
    layer->setPosition(x, y);
    return layer;
}

class ScrollViewTest : public test::WidgetTest {
protected:
    // A vertical 200 x 200 view at (100, 100) onto a 200 x 2000 container showing its bottom.
    ScrollView* tallView() {
        ScrollView* view = ScrollView::create(Size(200, 200));
        view->setPosition(100, 100);
        view->setDirection(ScrollView::Direction::VERTICAL);
        view->setContentSize(Size(200, 2000));
        view->setDelegate(&log);
        scene->addChild(view);
        return view;
    }
    // Finger steps of this size pass the move threshold at once.
    float thresholdPoints() const { return ScrollView::MOVE_INCH * static_cast<float>(Device::getDPI()); }

    OffsetLog log;
};

TEST_F(ScrollViewTest, TapBelowTheMoveThresholdMovesNothing) {
    ScrollView* view = tallView();
    const float small = thresholdPoints() * 0.8f;
    drag(Vec2(200, 200), Vec2(0, -small / 2), 2);
    EXPECT_FALSE(view->isTouchMoved());
    frames(30);
    EXPECT_EQ(view->getContentOffset(), Vec2::ZERO);
    EXPECT_TRUE(log.offsets.empty());
    EXPECT_FALSE(view->isDragging());
}

TEST_F(ScrollViewTest, DragFollowsTheFingerAfterTheThresholdStep) {
    ScrollView* view = tallView();
    ASSERT_GT(20.0f, thresholdPoints());
    // The first 20-point step only starts the scroll; the next three move the container.
    drag(Vec2(200, 290), Vec2(0, -20), 4, false);
    EXPECT_TRUE(view->isTouchMoved());
    EXPECT_NEAR(view->getContentOffset().y, -60.0f, 1e-3f);
    // A vertical view ignores sideways motion.
    touchMove(260, 190);
    EXPECT_EQ(view->getContentOffset().x, 0.0f);
    EXPECT_NEAR(view->getContentOffset().y, -80.0f, 1e-3f);
    touchCancel(260, 190);
    EXPECT_FALSE(view->isDragging());
}

TEST_F(ScrollViewTest, FlingDeceleratesByTheRateUntilTheStepIsSpent) {
    ScrollView* view = tallView();
    drag(Vec2(200, 290), Vec2(0, -20), 4);
    log.offsets.clear();
    frames(90);

    // Each frame carries the last step on and keeps 0.95 of it, until it is one point or less:
    // 20 x 0.95^59 < 1 <= 20 x 0.95^58, so 59 steps and no return (the container is inside).
    ASSERT_EQ(log.offsets.size(), 59u);
    float expected = -60.0f;
    float step = -20.0f;
    for (const Vec2& offset : log.offsets) {
        expected += step;
        step *= ScrollView::DECELERATION_RATE;
        EXPECT_NEAR(offset.y, expected, 1e-3f);
        EXPECT_EQ(offset.x, 0.0f);
    }
    EXPECT_NEAR(view->getContentOffset().y, expected, 1e-3f);
}

TEST_F(ScrollViewTest, DragPastTheEdgeIsDampedAndBouncesBackInsideTheLimits) {
    ScrollView* view = tallView();
    // Up past the top limit (0): after the threshold step 20 points, then 0.35 of each step.
    drag(Vec2(200, 150), Vec2(0, 20), 4);
    EXPECT_NEAR(view->getContentOffset().y, 20.0f + 2 * 20.0f * ScrollView::BOUNCE_BACK_FACTOR, 1e-3f);

    // Released at 34 with a step of 7: the next step passes the elastic margin (40), so the
    // deceleration ends and the container is moved back to 0 in 0.15 s (9 frames).
    frames(2);
    EXPECT_GT(view->getContentOffset().y, 40.0f);
    frames(12);
    EXPECT_EQ(view->getContentOffset(), Vec2::ZERO);
    frames(10);
    EXPECT_EQ(view->getContentOffset(), Vec2::ZERO);
    EXPECT_FALSE(view->isDragging());
}

TEST_F(ScrollViewTest, ContainerSmallerThanTheViewReturnsToItsTopLeft) {
    ScrollView* view = ScrollView::create(Size(200, 200));
    view->setContentSize(Size(100, 100));
    scene->addChild(view);
    EXPECT_EQ(view->minContainerOffset(), Vec2(100, 100));
    drag(Vec2(50, 50), Vec2(20, 0), 3);
    frames(40);
    EXPECT_EQ(view->getContentOffset(), Vec2(0, 100));
}

TEST_F(ScrollViewTest, TouchOutsideTheViewIsRefusedAndPinchesKeepTheFixedScale) {
    ScrollView* view = tallView();
    touchDown(50, 50, 1);  // left of the view
    EXPECT_FALSE(view->isDragging());
    touchUp(50, 50, 1);

    // Two fingers pinch instead of dragging; the scale is held at 1, yet the pinch is reported.
    touchDown(160, 200, 1);
    touchDown(170, 200, 2);
    EXPECT_FALSE(view->isDragging());
    touchMove(100, 200, 1);
    EXPECT_EQ(view->getZoomScale(), 1.0f);
    EXPECT_EQ(log.zooms, 1);
    // A third finger is taken but neither drags nor pinches.
    touchDown(180, 200, 3);
    touchMove(60, 200, 1);
    EXPECT_EQ(log.zooms, 1);
    for (intptr_t id = 1; id <= 3; ++id) touchUp(150.0f + 10 * id, 200, id);
    frames(20);
    EXPECT_EQ(view->getContentOffset(), Vec2::ZERO);
    EXPECT_FALSE(view->isDragging());
}

TEST_F(ScrollViewTest, ContentOutsideTheViewIsClippedAndTheScissorIsRestored) {
    ScrollView* view = tallView();
    view->addChild(block(Color4B(255, 0, 0, 255), -50, -50, 300, 400));
    scene->addChild(block(Color4B(0, 0, 255, 255), 320, 0, 40, 40));
    frame();
    saveFrame();
    EXPECT_EQ(readPixel(101, 101), kRed);
    EXPECT_EQ(readPixel(298, 298), kRed);
    EXPECT_EQ(readPixel(98, 150), kBlack);
    EXPECT_EQ(readPixel(150, 302), kBlack);
    EXPECT_EQ(readPixel(150, 98), kBlack);
    // Drawn after the view, outside it: the scissor test is off again.
    EXPECT_EQ(readPixel(340, 20), kBlue);
}

TEST_F(ScrollViewTest, NestedViewsClipToBothRectanglesAndRestoreTheOuterClip) {
    // Outer view over (50, 50)-(250, 250); the inner one over (200, 200)-(300, 300) inside it.
    ScrollView* outer = ScrollView::create(Size(200, 200));
    outer->setPosition(50, 50);
    outer->setContentSize(Size(400, 400));
    outer->addChild(block(Color4B(0, 255, 0, 255), 0, 0, 400, 400), -1);
    ScrollView* inner = ScrollView::create(Size(100, 100));
    inner->setPosition(150, 150);
    inner->setContentSize(Size(400, 400));
    inner->addChild(block(Color4B(255, 0, 0, 255), -100, -100, 400, 400));
    outer->addChild(inner);
    // Drawn in the outer view after the inner one: the outer clip must hold again.
    outer->addChild(block(Color4B(255, 255, 0, 255), 10, 150, 40, 40), 1);
    scene->addChild(outer);
    frame();
    saveFrame();

    EXPECT_EQ(readPixel(100, 100), kGreen);
    EXPECT_EQ(readPixel(225, 225), kRed);
    EXPECT_EQ(readPixel(248, 202), kRed);
    EXPECT_EQ(readPixel(275, 275), kBlack);  // inside the inner view, outside the outer one
    EXPECT_EQ(readPixel(225, 252), kBlack);
    EXPECT_EQ(readPixel(80, 220), kYellow);
    EXPECT_EQ(readPixel(40, 40), kBlack);
}

}  // namespace
}  // namespace kite
