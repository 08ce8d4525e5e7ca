// Linear and relative layout managers and the layout component: where the children end up.
#include "kite/widgets/LayoutManager.h"

#include <gtest/gtest.h>

#include "kite/widgets/Layout.h"
#include "kite/widgets/LayoutComponent.h"
#include "tests/kite/widgets/WidgetTestSupport.h"

namespace kite {
namespace {

using ui::Layout;
using ui::LinearLayoutParameter;
using ui::Margin;
using ui::RelativeLayoutParameter;
using ui::Widget;
using Gravity = LinearLayoutParameter::LinearGravity;
using Align = RelativeLayoutParameter::RelativeAlign;

class LayoutManagerTest : public test::WidgetTest {
protected:
    Layout* layoutOf(Layout::Type type, const Size& size) {
        Layout* layout = Layout::create();
        layout->setContentSize(size);
        layout->setLayoutType(type);
        scene->addChild(layout);
        return layout;
    }
    // A 50 x 40 widget with the anchor in its middle.
    Widget* box(Layout* layout) {
        Widget* widget = Widget::create();
        widget->setContentSize(Size(50, 40));
        layout->addChild(widget);
        return widget;
    }
    LinearLayoutParameter* linear(Widget* widget) {
        return static_cast<LinearLayoutParameter*>(widget->getLayoutParameter());
    }
    RelativeLayoutParameter* relative(Widget* widget, Align align, const std::string& name,
                                      const std::string& to = "") {
        auto* parameter = static_cast<RelativeLayoutParameter*>(widget->getLayoutParameter());
        parameter->setAlign(align);
        parameter->setRelativeName(name);
        parameter->setRelativeToWidgetName(to);
        return parameter;
    }
};

TEST_F(LayoutManagerTest, HorizontalLayoutPutsChildrenSideBySideHangingFromTheTop) {
    Layout* layout = layoutOf(Layout::Type::HORIZONTAL, Size(400, 100));
    Widget* a = box(layout);
    Widget* b = box(layout);
    Widget* c = box(layout);
    Widget* d = box(layout);
    for (Widget* w : {a, b, c, d}) linear(w)->setMargin(Margin(10, 0, 0, 0));
    linear(c)->setGravity(Gravity::BOTTOM);
    linear(d)->setGravity(Gravity::CENTER_VERTICAL);
    linear(b)->setMargin(Margin(10, 5, 20, 0));
    layout->forceDoLayout();
    EXPECT_EQ(a->getPosition(), Vec2(35, 80));
    EXPECT_EQ(b->getPosition(), Vec2(95, 75));
    EXPECT_EQ(c->getPosition(), Vec2(175, 20));
    EXPECT_EQ(d->getPosition(), Vec2(235, 50));
}

TEST_F(LayoutManagerTest, VerticalLayoutStacksChildrenFromTheTopWithGravity) {
    Layout* layout = layoutOf(Layout::Type::VERTICAL, Size(200, 300));
    Widget* a = box(layout);
    Widget* b = box(layout);
    Widget* c = box(layout);
    linear(a)->setMargin(Margin(0, 10, 0, 5));
    linear(b)->setGravity(Gravity::RIGHT);
    linear(c)->setGravity(Gravity::CENTER_HORIZONTAL);
    frame();  // the layout pass runs at the visit
    EXPECT_EQ(a->getPosition(), Vec2(25, 270));
    EXPECT_EQ(b->getPosition(), Vec2(175, 225));
    EXPECT_EQ(c->getPosition(), Vec2(100, 185));
}

TEST_F(LayoutManagerTest, ChildWidgetsGetTheParameterKindTheLayoutNeeds) {
    Layout* layout = layoutOf(Layout::Type::VERTICAL, Size(100, 100));
    Widget* child = box(layout);
    EXPECT_NE(dynamic_cast<LinearLayoutParameter*>(child->getLayoutParameter()), nullptr);
    layout->setLayoutType(Layout::Type::RELATIVE);
    EXPECT_NE(dynamic_cast<RelativeLayoutParameter*>(child->getLayoutParameter()), nullptr);
}

TEST_F(LayoutManagerTest, RelativeChainListedBackwardsIsPlacedOverSeveralPasses) {
    Layout* layout = layoutOf(Layout::Type::RELATIVE, Size(400, 400));
    Widget* c = box(layout);
    Widget* b = box(layout);
    Widget* a = box(layout);
    relative(a, Align::PARENT_TOP_LEFT, "A")->setMargin(Margin(5, 5, 0, 0));
    relative(b, Align::LOCATION_BELOW_LEFTALIGN, "B", "A");
    relative(c, Align::LOCATION_RIGHT_OF_CENTER, "C", "B")->setMargin(Margin(3, 0, 0, 0));
    layout->forceDoLayout();
    EXPECT_EQ(a->getPosition(), Vec2(30, 375));
    EXPECT_EQ(b->getPosition(), Vec2(30, 335));
    EXPECT_EQ(c->getPosition(), Vec2(83, 335));
}

TEST_F(LayoutManagerTest, RelativeAlignmentsToTheParent) {
    Layout* layout = layoutOf(Layout::Type::RELATIVE, Size(400, 300));
    Widget* centre = box(layout);
    Widget* corner = box(layout);
    relative(centre, Align::CENTER_IN_PARENT, "");
    relative(corner, Align::PARENT_RIGHT_BOTTOM, "")->setMargin(Margin(0, 0, 7, 9));
    layout->forceDoLayout();
    EXPECT_EQ(centre->getPosition(), Vec2(200, 150));
    EXPECT_EQ(corner->getPosition(), Vec2(368, 29));
}

TEST_F(LayoutManagerTest, CycleStaysUnmovedAndUnknownNamePlacesAtTheMargins) {
    Layout* layout = layoutOf(Layout::Type::RELATIVE, Size(400, 400));
    Widget* d = box(layout);
    Widget* e = box(layout);
    Widget* lost = box(layout);
    d->setPosition(Vec2(1, 2));
    e->setPosition(Vec2(3, 4));
    relative(d, Align::LOCATION_ABOVE_CENTER, "D", "E");
    relative(e, Align::LOCATION_BELOW_CENTER, "E", "D");
    relative(lost, Align::LOCATION_BELOW_LEFTALIGN, "", "nobody")->setMargin(Margin(5, 6, 0, 0));
    layout->forceDoLayout();
    EXPECT_EQ(d->getPosition(), Vec2(1, 2));
    EXPECT_EQ(e->getPosition(), Vec2(3, 4));
    EXPECT_EQ(lost->getPosition(), Vec2(5, -6));
}

TEST_F(LayoutManagerTest, CloningALinearParameterIntoARelativeOneCopiesTheMarginOnly) {
    LinearLayoutParameter* linearParameter = LinearLayoutParameter::create();
    linearParameter->setMargin(Margin(1, 2, 3, 4));
    linearParameter->setGravity(Gravity::RIGHT);
    RelativeLayoutParameter* relativeParameter = RelativeLayoutParameter::create();
    relativeParameter->setAlign(Align::CENTER_IN_PARENT);
    relativeParameter->copyProperties(linearParameter);
    EXPECT_TRUE(relativeParameter->getMargin().equals(Margin(1, 2, 3, 4)));
    EXPECT_EQ(relativeParameter->getAlign(), Align::CENTER_IN_PARENT);
    auto* copy = dynamic_cast<LinearLayoutParameter*>(linearParameter->clone());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->getGravity(), Gravity::RIGHT);
}

TEST_F(LayoutManagerTest, ComponentPlacesItsOwnerByEdgesAndPercentages) {
    Node* parent = Node::create();
    parent->setContentSize(Size(300, 200));
    scene->addChild(parent);
    Node* owner = Node::create();
    owner->setAnchorPoint(Vec2(0.5f, 0.5f));
    parent->addChild(owner);
    ui::LayoutComponent* component = ui::LayoutComponent::create();
    owner->addComponent(component);
    component->setHorizontalEdge(ui::LayoutComponent::HorizontalEdge::Right);
    component->setPercentWidthEnabled(true);
    component->setPercentWidth(0.2f);  // also measures the margins where the owner is now
    component->setRightMargin(10);
    component->setVerticalEdge(ui::LayoutComponent::VerticalEdge::Center);
    component->setStretchHeightEnabled(true);
    component->setBottomMargin(150);
    component->setTopMargin(150);
    component->refreshLayout();
    EXPECT_EQ(owner->getContentSize(), Size(60, 0));  // margins wider than the parent: no height
    EXPECT_EQ(owner->getPosition(), Vec2(260, 150));
}

}  // namespace
}  // namespace kite
