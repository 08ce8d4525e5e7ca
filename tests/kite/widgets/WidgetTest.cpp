// The widget base under scripted touches: phases and clicks, sizes and positions against the parent, flipping, cloning.
#include "kite/widgets/Widget.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "kite/foundation/ObjectFactory.h"
#include "kite/widgets/Layout.h"
#include "tests/kite/widgets/WidgetTestSupport.h"

namespace kite {
namespace {

using testing::ElementsAre;
using ui::Widget;
using Phase = Widget::TouchEventType;

// Every phase and click a widget reports, in order.
struct TouchLog {
    void attach(Widget* widget) {
        widget->addTouchEventListener([this](Ref*, Phase phase) { phases.push_back(phase); });
        widget->addClickEventListener([this](Ref*) { ++clicks; });
    }
    std::vector<Phase> phases;
    int clicks = 0;
};

class WidgetTest : public test::WidgetTest {
protected:
    // A touchable 100 x 100 widget centred at (200, 200): it covers 150..250 both ways.
    Widget* button(Node* parent = nullptr) {
        Widget* widget = Widget::create();
        widget->setContentSize(Size(100, 100));
        widget->setPosition(Vec2(200, 200));
        widget->setTouchEnabled(true);
        (parent ? parent : scene)->addChild(widget);
        log.attach(widget);
        return widget;
    }
    TouchLog log;
};

TEST_F(WidgetTest, TapInsideReportsBeganEndedAndOneClick) {
    Widget* widget = button();
    touchDown(210, 190);
    EXPECT_TRUE(widget->isHighlighted());
    touchUp(210, 190);
    EXPECT_THAT(log.phases, ElementsAre(Phase::BEGAN, Phase::ENDED));
    EXPECT_EQ(log.clicks, 1);
    EXPECT_FALSE(widget->isHighlighted());
}

TEST_F(WidgetTest, TouchThatMovesOutIsCancelledWithoutClick) {
    button();
    touchDown(200, 200);
    touchMove(300, 200);
    touchUp(300, 200);
    EXPECT_THAT(log.phases, ElementsAre(Phase::BEGAN, Phase::MOVED, Phase::CANCELED));
    EXPECT_EQ(log.clicks, 0);
}

TEST_F(WidgetTest, TouchThatComesBackInsideStillClicks) {
    button();
    touchDown(200, 200);
    touchMove(300, 200);
    touchMove(240, 240);
    touchUp(240, 240);
    EXPECT_THAT(log.phases, ElementsAre(Phase::BEGAN, Phase::MOVED, Phase::MOVED, Phase::ENDED));
    EXPECT_EQ(log.clicks, 1);
}

TEST_F(WidgetTest, NoClaimOutsideWhenDisabledOrUnderADisabledParent) {
    Widget* parent = Widget::create();
    scene->addChild(parent);
    Widget* widget = button(parent);
    touchDown(100, 100);
    touchUp(100, 100);
    widget->setEnabled(false);
    touchDown(200, 200);
    touchUp(200, 200);
    widget->setEnabled(true);
    parent->setEnabled(false);
    touchDown(200, 200);
    touchUp(200, 200);
    parent->setEnabled(true);
    parent->setVisible(false);
    touchDown(200, 200);
    touchUp(200, 200);
    EXPECT_TRUE(log.phases.empty());
}

TEST_F(WidgetTest, TouchOutsideAClippingLayoutIsNotClaimed) {
    ui::Layout* clip = ui::Layout::create();
    clip->setContentSize(Size(200, 100));  // 0..200 x 0..100 in the scene
    clip->setClippingEnabled(true);
    scene->addChild(clip);
    Widget* widget = button(clip);
    widget->setPosition(Vec2(150, 100));  // covers 100..200 x 50..150
    touchDown(150, 125);                  // in the widget, above the layout
    touchUp(150, 125);
    EXPECT_TRUE(log.phases.empty());
    touchDown(150, 75);
    touchUp(150, 75);
    EXPECT_EQ(log.clicks, 1);
}

TEST_F(WidgetTest, NoClaimUnderADisabledWidgetWithAPlainNodeBetween) {
    Widget* parent = Widget::create();
    scene->addChild(parent);
    Node* holder = Node::create();
    parent->addChild(holder);
    button(holder);
    parent->setEnabled(false);
    touchDown(200, 200);
    touchUp(200, 200);
    EXPECT_TRUE(log.phases.empty());
    parent->setEnabled(true);
    touchDown(200, 200);
    touchUp(200, 200);
    EXPECT_EQ(log.clicks, 1);
}

TEST_F(WidgetTest, TouchOutsideAClippingLayoutIsNotClaimedWithAPlainNodeBetween) {
    ui::Layout* clip = ui::Layout::create();
    clip->setContentSize(Size(200, 100));  // 0..200 x 0..100 in the scene
    clip->setClippingEnabled(true);
    scene->addChild(clip);
    Node* holder = Node::create();
    clip->addChild(holder);
    Widget* widget = button(holder);
    widget->setPosition(Vec2(150, 100));  // covers 100..200 x 50..150
    touchDown(150, 125);                  // in the widget, in the clipped-away part
    touchUp(150, 125);
    EXPECT_TRUE(log.phases.empty());
    touchDown(150, 75);
    touchUp(150, 75);
    EXPECT_EQ(log.clicks, 1);
}

TEST_F(WidgetTest, EnablingTouchTwiceRegistersOneListener) {
    Widget* widget = button();
    widget->setTouchEnabled(true);
    touchDown(200, 200);
    touchUp(200, 200);
    EXPECT_THAT(log.phases, ElementsAre(Phase::BEGAN, Phase::ENDED));
    widget->setTouchEnabled(false);
    touchDown(200, 200);
    touchUp(200, 200);
    EXPECT_EQ(log.clicks, 1);
}

TEST_F(WidgetTest, PercentSizeAndPositionFollowTheParent) {
    ui::Layout* parent = ui::Layout::create();
    parent->setContentSize(Size(300, 200));
    scene->addChild(parent);
    Widget* child = Widget::create();
    child->setIgnoreRendererSize(false);
    child->setSizeType(Widget::SizeType::PERCENT);
    child->setSizePercent(Vec2(0.5f, 0.25f));
    child->setPositionType(Widget::PositionType::PERCENT);
    child->setPositionPercent(Vec2(0.5f, 1.0f));
    parent->addChild(child);
    EXPECT_EQ(child->getContentSize(), Size(150, 50));
    EXPECT_EQ(child->getPosition(), Vec2(150, 200));
    parent->setContentSize(Size(100, 400));
    EXPECT_EQ(child->getContentSize(), Size(50, 100));
    EXPECT_EQ(child->getPosition(), Vec2(50, 400));
}

TEST_F(WidgetTest, PercentSetWhileIgnoringTheRendererSizeIsKeptForLaterLayouts) {
    ui::Layout* parent = ui::Layout::create();
    parent->setContentSize(Size(300, 200));
    scene->addChild(parent);
    Widget* child = Widget::create();  // follows its renderer's size, which is zero
    child->setSizeType(Widget::SizeType::PERCENT);
    parent->addChild(child);
    child->setSizePercent(Vec2(0.5f, 0.25f));
    EXPECT_EQ(child->getSizePercent(), Vec2(0.5f, 0.25f));
    EXPECT_EQ(child->getContentSize(), Size::ZERO);
    parent->setContentSize(Size(100, 400));
    child->setIgnoreRendererSize(false);
    EXPECT_EQ(child->getContentSize(), Size(50, 100));
}

TEST_F(WidgetTest, ZeroSizedParentGivesZeroPercentagesNotADivision) {
    ui::Layout* parent = ui::Layout::create();
    parent->setContentSize(Size(0, 200));
    scene->addChild(parent);
    Widget* child = Widget::create();
    child->setContentSize(Size(40, 40));
    child->setPosition(Vec2(10, 20));
    parent->addChild(child);
    EXPECT_EQ(child->getPositionPercent(), Vec2::ZERO);
    EXPECT_EQ(child->getSizePercent(), Vec2(0.0f, 0.2f));
}

TEST_F(WidgetTest, FlippingMirrorsTheDrawingButKeepsTheScale) {
    Widget* widget = button();
    widget->setScaleX(2.0f);
    widget->setFlippedX(true);
    EXPECT_EQ(widget->getScaleX(), 2.0f);
    EXPECT_EQ(widget->convertToWorldSpace(Vec2(0, 50)).x, 300.0f);  // left edge now on the right
    widget->setFlippedX(false);
    EXPECT_EQ(widget->convertToWorldSpace(Vec2(0, 50)).x, 100.0f);
    widget->setFlippedY(true);
    widget->setScale(0.5f);
    EXPECT_EQ(widget->getScaleY(), 0.5f);
    EXPECT_EQ(widget->convertToWorldSpace(Vec2(50, 0)).y, 225.0f);
}

TEST_F(WidgetTest, CloneKeepsCallbacksAndClonesChildrenButNotTheEventCallback) {
    Widget* model = button();
    int events = 0;
    model->setEventCallback([&](Ref*, int) { ++events; });
    model->setTag(5);
    Widget* inner = Widget::create();
    inner->setName("inner");
    model->addChild(inner);
    Widget* copy = model->clone();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->getTag(), 5);
    EXPECT_EQ(copy->getContentSize(), Size(100, 100));
    ASSERT_EQ(copy->getChildrenCount(), 1u);
    EXPECT_NE(copy->getChildren().at(0), inner);
    EXPECT_EQ(copy->getChildren().at(0)->getName(), "inner");
    model->removeFromParent();
    scene->addChild(copy);
    touchDown(200, 200);
    touchUp(200, 200);
    EXPECT_EQ(log.clicks, 1);
    EXPECT_EQ(events, 0);
}

TEST_F(WidgetTest, RemovedFocusedWidgetGivesUpTheFocus) {
    Widget* widget = button();
    Widget::dispatchFocusEvent(nullptr, widget);
    EXPECT_TRUE(widget->isFocused());
    EXPECT_EQ(Widget::getCurrentFocusedWidget(), widget);
    widget->removeFromParent();
    EXPECT_EQ(Widget::getCurrentFocusedWidget(), nullptr);
}

TEST(WidgetFactory, CreatesWidgetsAndLayoutsByName) {
    ObjectFactory* factory = ObjectFactory::getInstance();
    RefPtr<Ref> widget(factory->createObject("Widget"));
    RefPtr<Ref> layout(factory->createObject("Layout"));
    ASSERT_NE(dynamic_cast<ui::Widget*>(widget.get()), nullptr);
    ASSERT_NE(dynamic_cast<ui::Layout*>(layout.get()), nullptr);
    EXPECT_EQ(static_cast<ui::Layout*>(layout.get())->description(), "Layout");
}

}  // namespace
}  // namespace kite
