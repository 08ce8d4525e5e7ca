// Focus moving by direction through horizontal and vertical layouts: order, skipping, wrapping, entering, climbing.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventKeyboard.h"
#include "kite/widgets/FocusNavigator.h"
#include "kite/widgets/Layout.h"
#include "tests/kite/widgets/WidgetTestSupport.h"

namespace kite {
namespace {

using testing::ElementsAre;
using ui::Layout;
using ui::Widget;
using Direction = Widget::FocusDirection;

// A vertical 400 x 400 layout of two horizontal rows, each of three 50 x 50 widgets named
// "<row><column>": row "a" on top, row "b" below it.
class LayoutFocusTest : public test::WidgetTest {
protected:
    void SetUp() override {
        test::WidgetTest::SetUp();
        if (!scene) return;
        column = layoutOf(Layout::Type::VERTICAL, Size(400, 400));
        scene->addChild(column);
        for (const char* row : {"a", "b"}) {
            Layout* line = layoutOf(Layout::Type::HORIZONTAL, Size(300, 50));
            column->addChild(line);
            rows.push_back(line);
            for (int i = 0; i < 3; ++i) line->addChild(named(row + std::to_string(i)));
        }
        frame();  // lays everything out
    }
    Layout* layoutOf(Layout::Type type, const Size& size) {
        Layout* layout = Layout::create();
        layout->setContentSize(size);
        layout->setLayoutType(type);
        return layout;
    }
    Widget* named(const std::string& name) {
        Widget* widget = Widget::create();
        widget->setContentSize(Size(50, 50));
        widget->setName(name);
        auto defaultHandler = widget->onFocusChanged;
        widget->onFocusChanged = [this, defaultHandler, widget](Widget* lost, Widget* gained) {
            if (gained == widget) gains.push_back(widget->getName());
            defaultHandler(lost, gained);
        };
        return widget;
    }
    Widget* widget(const std::string& name) {
        for (Layout* row : rows)
            if (auto* found = row->getChildByName<Widget*>(name)) return found;
        return nullptr;
    }
    void focus(const std::string& name) { Widget::dispatchFocusEvent(nullptr, widget(name)); }
    std::string move(Direction direction) {
        Widget* focused = Widget::getCurrentFocusedWidget();
        focused->findNextFocusedWidget(direction, focused);
        return Widget::getCurrentFocusedWidget()->getName();
    }

    Layout* column = nullptr;
    std::vector<Layout*> rows;
    std::vector<std::string> gains;
};

TEST_F(LayoutFocusTest, RightAndLeftWalkTheRowAndStopAtItsEnds) {
    focus("a0");
    EXPECT_EQ(move(Direction::RIGHT), "a1");
    EXPECT_EQ(move(Direction::RIGHT), "a2");
    EXPECT_EQ(move(Direction::RIGHT), "a2");
    EXPECT_EQ(move(Direction::LEFT), "a1");
    EXPECT_EQ(move(Direction::LEFT), "a0");
    EXPECT_EQ(move(Direction::LEFT), "a0");
    EXPECT_THAT(gains, ElementsAre("a0", "a1", "a2", "a1", "a0"));
}

TEST_F(LayoutFocusTest, LoopingRowWrapsAround) {
    rows[0]->setLoopFocus(true);
    focus("a2");
    EXPECT_EQ(move(Direction::RIGHT), "a0");
    EXPECT_EQ(move(Direction::LEFT), "a2");
}

TEST_F(LayoutFocusTest, WidgetWithFocusDisabledIsSkippedBothWays) {
    widget("a1")->setFocusEnabled(false);
    focus("a0");
    EXPECT_EQ(move(Direction::RIGHT), "a2");
    EXPECT_EQ(move(Direction::LEFT), "a0");
    EXPECT_THAT(gains, ElementsAre("a0", "a2", "a0"));
}

TEST_F(LayoutFocusTest, DownEntersTheNextRowAtTheNearestWidget) {
    focus("a2");
    EXPECT_EQ(move(Direction::DOWN), "b2");
    EXPECT_EQ(move(Direction::LEFT), "b1");
    EXPECT_EQ(move(Direction::UP), "a1");
    EXPECT_EQ(move(Direction::UP), "a1");  // the top row of a column that does not loop
}

TEST_F(LayoutFocusTest, LoopingColumnWrapsFromTheLastRowToTheFirst) {
    column->setLoopFocus(true);
    focus("b0");
    // Entered from below, the top row is searched from its far side: its farthest widget wins.
    EXPECT_EQ(move(Direction::DOWN), "a2");
}

TEST_F(LayoutFocusTest, RowsWithoutFocusableWidgetsAreSkippedAndTheSearchEnds) {
    for (const char* name : {"b0", "b1", "b2"}) widget(name)->setFocusEnabled(false);
    column->addChild(layoutOf(Layout::Type::HORIZONTAL, Size(10, 10)));  // empty
    frame();
    focus("a1");
    EXPECT_EQ(move(Direction::DOWN), "a1");
    EXPECT_THAT(gains, ElementsAre("a1"));
    column->setLoopFocus(true);
    EXPECT_EQ(move(Direction::DOWN).substr(0, 1), "a");  // round the column, back into the top row
}

TEST_F(LayoutFocusTest, OwnNextFocusedWidgetRuleWins) {
    focus("a0");
    widget("a0")->onNextFocusedWidget = [this](Direction) { return widget("b2"); };
    EXPECT_EQ(move(Direction::RIGHT), "b2");
}

// ---- the focus navigator: arrow keys through the director's event dispatcher

class FocusNavigatorTest : public LayoutFocusTest {
protected:
    void TearDown() override {
        Widget::enableDpadNavigation(false);
        LayoutFocusTest::TearDown();
    }
    std::string press(EventKeyboard::KeyCode key) {
        EventKeyboard event(key, true);
        director->getEventDispatcher()->dispatchEvent(&event);
        Widget* focused = Widget::getCurrentFocusedWidget();
        return focused ? focused->getName() : "";
    }
};

using Key = EventKeyboard::KeyCode;

TEST_F(FocusNavigatorTest, ArrowKeysMoveTheFocusFromTheFocusedWidgetOnceNavigationIsOn) {
    focus("a0");
    EXPECT_EQ(press(Key::KEY_RIGHT_ARROW), "a0");  // no navigator yet
    Widget::enableDpadNavigation(true);
    ASSERT_NE(Widget::getFocusNavigator(), nullptr);
    EXPECT_EQ(Widget::getFocusNavigator()->getFirstFocusedWidget(), widget("a0"));
    EXPECT_EQ(press(Key::KEY_RIGHT_ARROW), "a1");
    EXPECT_EQ(press(Key::KEY_DOWN_ARROW), "b1");
    EXPECT_EQ(press(Key::KEY_LEFT_ARROW), "b0");
    EXPECT_EQ(press(Key::KEY_UP_ARROW), "a0");
    EXPECT_EQ(press(Key::KEY_SPACE), "a0");
    EXPECT_EQ(Widget::getFocusNavigator()->getFirstFocusedWidget(), widget("a0"));
    EXPECT_THAT(gains, ElementsAre("a0", "a1", "b1", "b0", "a0"));

    Widget::enableDpadNavigation(false);
    EXPECT_EQ(Widget::getFocusNavigator(), nullptr);
    EXPECT_EQ(press(Key::KEY_RIGHT_ARROW), "a0");
}

TEST_F(FocusNavigatorTest, AFocusGivenElsewhereIsWhereTheNextKeyStarts) {
    Widget::enableDpadNavigation(true);
    EXPECT_EQ(Widget::getFocusNavigator()->getFirstFocusedWidget(), nullptr);
    EXPECT_EQ(press(Key::KEY_RIGHT_ARROW), "");  // nothing to start from
    focus("b2");
    EXPECT_EQ(Widget::getFocusNavigator()->getFirstFocusedWidget(), widget("b2"));
    EXPECT_EQ(press(Key::KEY_LEFT_ARROW), "b1");
}

TEST_F(FocusNavigatorTest, TheNavigatorGoesWithTheFocusedWidgetAndItsKeyListenerWithIt) {
    Widget::enableDpadNavigation(true);
    Widget* doomed = Widget::create();
    doomed->retain();
    PoolManager::getInstance()->getCurrentPool()->clear();  // the test's is the only reference now
    Widget::dispatchFocusEvent(nullptr, doomed);
    ASSERT_NE(Widget::getFocusNavigator(), nullptr);
    doomed->release();  // the focused widget goes
    EXPECT_EQ(Widget::getFocusNavigator(), nullptr);
    EXPECT_EQ(Widget::getCurrentFocusedWidget(), nullptr);
    focus("a0");
    EXPECT_EQ(press(Key::KEY_RIGHT_ARROW), "a0");  // no listener left to move it
}

TEST_F(FocusNavigatorTest, ARemovedWidgetTheNavigatorStartsFromTakesTheNavigatorAlong) {
    focus("a1");
    Widget::enableDpadNavigation(true);
    widget("a1")->removeFromParent();  // gives up the focus as it leaves, and then goes
    EXPECT_EQ(Widget::getFocusNavigator(), nullptr);
    focus("a0");
    EXPECT_EQ(press(Key::KEY_RIGHT_ARROW), "a0");
}

}  // namespace
}  // namespace kite
