#include "kite/scene/GLView.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Create.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventListenerTouch.h"
#include "kite/scene/Node.h"
#include "kite/scene/Touch.h"
#include "support/BareGLView.h"
#include "support/DirectorShutdown.h"
#include "support/TouchRecorder.h"

namespace kite {
namespace {

using ::testing::ElementsAre;
using ::testing::FloatNear;

using test::BareGLView;

struct Expected {
    float scaleX, scaleY;
    Rect viewPort;
};

void expectScalesAndViewPort(const GLView* view, const Expected& e) {
    EXPECT_THAT(view->getScaleX(), FloatNear(e.scaleX, 1e-4f));
    EXPECT_THAT(view->getScaleY(), FloatNear(e.scaleY, 1e-4f));
    const Rect& v = view->getViewPortRect();
    EXPECT_THAT(v.origin.x, FloatNear(e.viewPort.origin.x, 1e-2f));
    EXPECT_THAT(v.origin.y, FloatNear(e.viewPort.origin.y, 1e-2f));
    EXPECT_THAT(v.size.width, FloatNear(e.viewPort.size.width, 1e-2f));
    EXPECT_THAT(v.size.height, FloatNear(e.viewPort.size.height, 1e-2f));
}

class GLViewTest : public ::testing::Test {
protected:
    void TearDown() override {
        GLView::releaseAllTouches();
        test::shutDownDirector();
    }
};

TEST_F(GLViewTest, PhoneProfilesKeepTheDesignAspectUnderEveryPolicy) {
    // iphone4: 640 x 960 with 480 x 720; iphone5: 640 x 1136 with 480 x 852.
    for (auto [w, h, dh] : {std::tuple{640.0f, 960.0f, 720.0f}, std::tuple{640.0f, 1136.0f, 852.0f}}) {
        for (ResolutionPolicy policy :
             {ResolutionPolicy::EXACT_FIT, ResolutionPolicy::NO_BORDER, ResolutionPolicy::SHOW_ALL,
              ResolutionPolicy::FIXED_HEIGHT, ResolutionPolicy::FIXED_WIDTH}) {
            BareGLView* view = BareGLView::create(w, h);
            view->setDesignResolutionSize(480.0f, dh, policy);
            SCOPED_TRACE(static_cast<int>(policy));
            expectScalesAndViewPort(view, {4.0f / 3.0f, 4.0f / 3.0f, Rect(0, 0, w, h)});
            EXPECT_THAT(view->getDesignResolutionSize().width, FloatNear(480.0f, 1e-3f));
            EXPECT_THAT(view->getDesignResolutionSize().height, FloatNear(dh, 1e-3f));
        }
    }
}

TEST_F(GLViewTest, PadProfileScalesAndCentresByPolicy) {
    BareGLView* view = BareGLView::create(768.0f, 1024.0f);
    view->setDesignResolutionSize(480.0f, 720.0f, ResolutionPolicy::EXACT_FIT);
    expectScalesAndViewPort(view, {1.6f, 1024.0f / 720.0f, Rect(0, 0, 768, 1024)});

    view->setDesignResolutionSize(480.0f, 720.0f, ResolutionPolicy::SHOW_ALL);
    const float s = 1024.0f / 720.0f;
    expectScalesAndViewPort(view, {s, s, Rect((768 - 480 * s) / 2, 0, 480 * s, 1024)});
    EXPECT_EQ(view->getVisibleOrigin(), Vec2::ZERO);

    view->setDesignResolutionSize(480.0f, 720.0f, ResolutionPolicy::NO_BORDER);
    expectScalesAndViewPort(view, {1.6f, 1.6f, Rect(0, -64, 768, 1152)});
    EXPECT_THAT(view->getVisibleSize().height, FloatNear(640.0f, 1e-3f));
    EXPECT_THAT(view->getVisibleOrigin().y, FloatNear(40.0f, 1e-3f));

    view->setDesignResolutionSize(480.0f, 720.0f, ResolutionPolicy::FIXED_HEIGHT);
    EXPECT_EQ(view->getDesignResolutionSize().width, 540.0f);  // ceil(768 / 1.4222)
    expectScalesAndViewPort(view, {s, s, Rect(0, 0, 768, 1024)});

    view->setDesignResolutionSize(480.0f, 720.0f, ResolutionPolicy::FIXED_WIDTH);
    EXPECT_EQ(view->getDesignResolutionSize().height, 640.0f);  // ceil(1024 / 1.6)
    expectScalesAndViewPort(view, {1.6f, 1.6f, Rect(0, 0, 768, 1024)});
}

TEST_F(GLViewTest, RetinaPadExamples) {
    BareGLView* view = BareGLView::create(1536.0f, 2048.0f);
    view->setDesignResolutionSize(480.0f, 720.0f, ResolutionPolicy::SHOW_ALL);
    expectScalesAndViewPort(view, {2.8444445f, 2.8444445f, Rect(85.333f, 0, 1365.333f, 2048)});
    view->setDesignResolutionSize(480.0f, 720.0f, ResolutionPolicy::NO_BORDER);
    expectScalesAndViewPort(view, {3.2f, 3.2f, Rect(0, -128, 1536, 2304)});
    EXPECT_THAT(view->getVisibleSize().width, FloatNear(480.0f, 1e-3f));
    EXPECT_THAT(view->getVisibleSize().height, FloatNear(640.0f, 1e-3f));
    EXPECT_THAT(view->getVisibleOrigin().y, FloatNear(40.0f, 1e-3f));

    BareGLView* landscape = BareGLView::create(1024.0f, 768.0f);
    landscape->setDesignResolutionSize(480.0f, 720.0f, ResolutionPolicy::FIXED_HEIGHT);
    EXPECT_THAT(landscape->getScaleX(), FloatNear(1.0666667f, 1e-5f));
    EXPECT_EQ(landscape->getDesignResolutionSize().width, 960.0f);
}

TEST_F(GLViewTest, ZeroDesignSizeChangesNothingNotEvenThePolicy) {
    BareGLView* view = BareGLView::create(640.0f, 1136.0f);
    view->setDesignResolutionSize(0.0f, 852.0f, ResolutionPolicy::SHOW_ALL);
    EXPECT_EQ(view->getResolutionPolicy(), ResolutionPolicy::UNKNOWN);
    EXPECT_EQ(view->getDesignResolutionSize().width, 640.0f);
    EXPECT_EQ(view->getScaleX(), 1.0f);
}

// Touches reach a fixed-priority listener of the director's dispatcher.
class GLViewTouchTest : public GLViewTest {
protected:
    void SetUp() override {
        view = BareGLView::create(768.0f, 1024.0f);
        view->setDesignResolutionSize(480.0f, 720.0f, ResolutionPolicy::SHOW_ALL);
        Director::getInstance()->setGLView(view);
        recorder = std::make_unique<test::TouchRecorder>();
    }
    void TearDown() override {
        recorder.reset();
        GLViewTest::TearDown();
    }

    void begin(intptr_t id, float x = 0, float y = 0) { view->handleTouchesBegin(1, &id, &x, &y); }
    void move(intptr_t id, float x = 0, float y = 0) { view->handleTouchesMove(1, &id, &x, &y); }
    void end(intptr_t id, float x = 0, float y = 0) { view->handleTouchesEnd(1, &id, &x, &y); }

    BareGLView* view = nullptr;
    std::unique_ptr<test::TouchRecorder> recorder;
};

TEST_F(GLViewTouchTest, TouchPositionsArriveInDesignUnits) {
    const float s = 1024.0f / 720.0f;
    const float left = (768 - 480 * s) / 2;
    begin(42, left + 100 * s, 200 * s);
    EXPECT_THAT(recorder->last.x, FloatNear(100.0f, 1e-3f));
    EXPECT_THAT(recorder->last.y, FloatNear(200.0f, 1e-3f));
    move(42, left + 120 * s, 210 * s);
    EXPECT_THAT(recorder->last.x, FloatNear(120.0f, 1e-3f));
    EXPECT_THAT(recorder->log, ElementsAre("began0", "moved0"));
}

TEST_F(GLViewTouchTest, TouchLocationTurnsYUpInTheDirectorsWindow) {
    Touch* seen = nullptr;
    auto* listener = EventListenerTouchOneByOne::create();
    listener->onTouchBegan = [&](Touch* t, Event*) {
        seen = t;
        const Vec2 location = t->getLocation();
        EXPECT_THAT(location.x, FloatNear(100.0f, 0.5f));  // through the inverse 3D projection
        EXPECT_THAT(location.y, FloatNear(720.0f - 200.0f, 0.5f));
        return true;
    };
    Director::getInstance()->getEventDispatcher()->addEventListenerWithFixedPriority(listener, -1);
    const float s = 1024.0f / 720.0f;
    begin(1, (768 - 480 * s) / 2 + 100 * s, 200 * s);
    EXPECT_NE(seen, nullptr);
    EXPECT_EQ(Director::getInstance()->getWinSize(), Size(480.0f, 720.0f));
}

TEST_F(GLViewTouchTest, TouchLandsInANodesSpaceFromItsOriginOrItsAnchor) {
    Node* node = Node::create();
    node->setContentSize(Size(100, 100));
    node->setAnchorPoint(Vec2(0.5f, 0.5f));
    node->setPosition(50, 400);  // origin at (0, 350), anchor at (50, 400)
    Vec2 inNode, fromAnchor;
    auto* listener = EventListenerTouchOneByOne::create();
    listener->onTouchBegan = [&](Touch* t, Event*) {
        inNode = node->convertTouchToNodeSpace(t);
        fromAnchor = node->convertTouchToNodeSpaceAR(t);
        return true;
    };
    Director::getInstance()->getEventDispatcher()->addEventListenerWithFixedPriority(listener, -1);
    const float s = 1024.0f / 720.0f;
    begin(1, (768 - 480 * s) / 2 + 100 * s, 200 * s);  // (100, 520) in GL coordinates
    EXPECT_THAT(inNode.x, FloatNear(100.0f, 0.5f));
    EXPECT_THAT(inNode.y, FloatNear(170.0f, 0.5f));
    EXPECT_THAT(fromAnchor.x, FloatNear(50.0f, 0.5f));
    EXPECT_THAT(fromAnchor.y, FloatNear(120.0f, 0.5f));
}

TEST_F(GLViewTouchTest, SixteenthTouchIsIgnoredAndTheLowestFreeSlotIsReused) {
    for (intptr_t id = 100; id < 115; ++id) begin(id);
    EXPECT_EQ(GLView::getTouchSlotMask(), 0x7FFFu);
    recorder->log.clear();
    begin(115);
    move(115);
    end(115);
    EXPECT_TRUE(recorder->log.empty());

    end(103);
    end(105);
    EXPECT_THAT(recorder->log, ElementsAre("ended3", "ended5"));
    recorder->log.clear();
    begin(200);
    EXPECT_THAT(recorder->log, ElementsAre("began3"));
}

TEST_F(GLViewTouchTest, RepeatedBeganAndUnknownIdsAreIgnored) {
    begin(7);
    begin(7);
    move(8);
    end(8);
    view->handleTouchesCancel(0, nullptr, nullptr, nullptr);
    EXPECT_THAT(recorder->log, ElementsAre("began0"));
    intptr_t id = 7;
    float x = 0, y = 0;
    view->handleTouchesCancel(1, &id, &x, &y);
    EXPECT_THAT(recorder->log, ElementsAre("began0", "cancelled0"));
    EXPECT_EQ(GLView::getTouchSlotMask(), 0u);
}

}  // namespace
}  // namespace kite
