// The edit box fed through the engine's text input dispatcher: typing, Return, placeholder, password marks, limits.
#include "kite/widgets/EditBox.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kite/foundation/Scheduler.h"
#include "kite/scene/Director.h"
#include "kite/scene/IMEDispatcher.h"
#include "kite/scene/Label.h"
#include "kite/widgets/Scale9Sprite.h"
#include "support/LogCapture.h"
#include "tests/kite/widgets/WidgetTestSupport.h"

namespace kite {
namespace {

using testing::ElementsAre;
using ui::EditBox;

// Every call of the box's delegate, in order.
struct EditLog : ui::EditBoxDelegate {
    void editBoxEditingDidBegin(EditBox*) override { calls.push_back("began"); }
    void editBoxEditingDidEnd(EditBox*) override { calls.push_back("ended"); }
    void editBoxTextChanged(EditBox*, const std::string& text) override { calls.push_back("changed " + text); }
    void editBoxReturn(EditBox*) override { calls.push_back("return"); }
    std::vector<std::string> calls;
};

class EditBoxTest : public test::WidgetTest {
protected:
    // A 200 x 40 box centred at (200, 100), with a placeholder.
    EditBox* makeBox() {
        EditBox* box = EditBox::create(Size(200, 40), ui::Scale9Sprite::create());
        box->setPosition(Vec2(200, 100));
        box->setPlaceHolder("phone number");
        box->setDelegate(&log);
        scene->addChild(box);
        return box;
    }
    void tap(EditBox*) {
        touchDown(200, 100);
        touchUp(200, 100);
    }
    static void type(const std::string& text) {
        IMEDispatcher::sharedDispatcher()->dispatchInsertText(text.data(), text.size());
    }
    static void backspace() { IMEDispatcher::sharedDispatcher()->dispatchDeleteBackward(); }
    // The box's text label and placeholder label.
    static Label* textLabel(EditBox* box) { return labels(box).at(0); }
    static Label* placeholderLabel(EditBox* box) { return labels(box).at(1); }
    static std::vector<Label*> labels(EditBox* box) {
        std::vector<Label*> found;
        for (Node* child : box->getChildren())
            if (auto* label = dynamic_cast<Label*>(child)) found.push_back(label);
        return found;
    }

    EditLog log;
    EditLog otherLog;  // lives as long as the scene: a box still editing tells it when the scene goes
};

TEST_F(EditBoxTest, TappedBoxTakesTypedLatinAndChineseText) {
    EditBox* box = makeBox();
    type("ignored");  // not editing yet
    tap(box);
    type("ab");
    type("中文");
    EXPECT_STREQ(box->getText(), "ab中文");
    EXPECT_EQ(textLabel(box)->getString(), "ab中文");
    EXPECT_TRUE(textLabel(box)->isVisible());
    EXPECT_FALSE(placeholderLabel(box)->isVisible());
    EXPECT_THAT(log.calls, ElementsAre("began", "changed ab", "changed ab中文"));
}

TEST_F(EditBoxTest, ReturnEndsEditingReportingEndedThenReturn) {
    EditBox* box = makeBox();
    tap(box);
    type("x");
    type("\n");
    type("y");  // the box no longer takes text
    EXPECT_STREQ(box->getText(), "x");
    EXPECT_THAT(log.calls, ElementsAre("began", "changed x", "ended", "return"));
    EXPECT_FALSE(IMEDispatcher::sharedDispatcher()->hasOwner());
    EXPECT_TRUE(textLabel(box)->isVisible());
}

TEST_F(EditBoxTest, PlaceholderShowsWhileTheTextIsEmpty) {
    EditBox* box = makeBox();
    EXPECT_TRUE(placeholderLabel(box)->isVisible());
    EXPECT_EQ(placeholderLabel(box)->getString(), "phone number");
    EXPECT_FALSE(textLabel(box)->isVisible());
    tap(box);
    type("a");
    backspace();
    type("\n");
    EXPECT_STREQ(box->getText(), "");
    EXPECT_TRUE(placeholderLabel(box)->isVisible());
    EXPECT_FALSE(textLabel(box)->isVisible());
}

TEST_F(EditBoxTest, PasswordShowsOneMarkPerCharacter) {
    EditBox* box = makeBox();
    box->setInputFlag(EditBox::InputFlag::PASSWORD);
    box->setText("12345");
    EXPECT_EQ(textLabel(box)->getString(), "●●●●●");
    box->setText("密码");
    EXPECT_EQ(textLabel(box)->getString(), "●●");
    EXPECT_STREQ(box->getText(), "密码");
}

TEST_F(EditBoxTest, ChangeBeyondTheLengthLimitIsRefusedWhole) {
    EditBox* box = makeBox();
    box->setMaxLength(11);
    tap(box);
    type("1380013800");
    type("12");  // would make 12
    EXPECT_STREQ(box->getText(), "1380013800");
    type("0");
    type("1");
    EXPECT_STREQ(box->getText(), "13800138000");
    box->setMaxLength(12);
    type("😀");  // two UTF-16 units: 13
    EXPECT_STREQ(box->getText(), "13800138000");
    type("中");
    EXPECT_STREQ(box->getText(), "13800138000中");
}

TEST_F(EditBoxTest, WithoutALimitAnyLengthIsTaken) {
    EditBox* box = makeBox();
    tap(box);
    const std::string longText(500, 'a');
    type(longText);
    EXPECT_EQ(box->getText(), longText);
}

TEST_F(EditBoxTest, NumericAndPhoneModesTakeOnlyTheirCharacters) {
    EditBox* box = makeBox();
    box->setInputMode(EditBox::InputMode::DECIMAL);
    tap(box);
    type("1.5");
    type("a");
    type("+");
    EXPECT_STREQ(box->getText(), "1.5");
    box->setInputMode(EditBox::InputMode::PHONE_NUMBER);
    type("+86");
    type(".");
    EXPECT_STREQ(box->getText(), "1.5+86");
}

TEST_F(EditBoxTest, BackspaceRemovesAWholeCharacter) {
    EditBox* box = makeBox();
    tap(box);
    type("a中");
    backspace();
    EXPECT_STREQ(box->getText(), "a");
    backspace();
    backspace();
    EXPECT_STREQ(box->getText(), "");
}

TEST_F(EditBoxTest, TextThatIsNotUTF8IsRefusedWithALogLine) {
    test::LogCapture logged;
    EditBox* box = makeBox();
    tap(box);
    type("ok");
    type(std::string("\xe4\xb8", 2));
    EXPECT_STREQ(box->getText(), "ok");
    EXPECT_TRUE(logged.contains("EditBoxImplLinux: typed text is not UTF-8"));
}

TEST_F(EditBoxTest, KeyboardWithoutRoomMovesNothing) {
    EditBox* box = makeBox();  // 180..220 wide... 80..120 high
    IMEKeyboardNotificationInfo none;
    box->keyboardWillShow(none);
    EXPECT_EQ(box->getAdjustHeight(), 0.0f);
    IMEKeyboardNotificationInfo clear;
    clear.end = Rect(0, 0, 400, 70);  // below the box lowered by 4
    box->keyboardWillShow(clear);
    EXPECT_EQ(box->getAdjustHeight(), 0.0f);
    IMEKeyboardNotificationInfo covering;
    covering.end = Rect(0, 0, 400, 90);
    box->keyboardWillShow(covering);
    EXPECT_EQ(box->getAdjustHeight(), 14.0f);  // 90 - (80 - 4)
}

TEST_F(EditBoxTest, TheFieldFollowsTheNodeByACheckWhileTheBoxIsInTheScene) {
    Scheduler* scheduler = Director::getInstance()->getScheduler();
    const SEL_SCHEDULE check = schedule_selector(&EditBox::updatePosition);
    EditBox* box = EditBox::create(Size(200, 40), ui::Scale9Sprite::create());
    RefPtr<EditBox> kept(box);
    EXPECT_FALSE(scheduler->isScheduled(check, box));
    scene->addChild(box);
    EXPECT_TRUE(scheduler->isScheduled(check, box));
    frame();
    box->removeFromParent();
    EXPECT_FALSE(scheduler->isScheduled(check, box));
}

TEST_F(EditBoxTest, BoxRemovedWhileEditingEndsTheEditing) {
    EditBox* box = makeBox();
    tap(box);
    box->removeFromParent();
    EXPECT_THAT(log.calls, ElementsAre("began", "ended", "return"));
    EXPECT_FALSE(IMEDispatcher::sharedDispatcher()->hasOwner());
}

TEST_F(EditBoxTest, OpeningAnotherBoxEndsTheFirstAndTakesTheTyping) {
    EditBox* first = makeBox();
    EditBox* second = EditBox::create(Size(100, 40), ui::Scale9Sprite::create());
    second->setPosition(Vec2(200, 300));
    second->setDelegate(&otherLog);
    scene->addChild(second);
    frame();
    tap(first);
    type("1");
    touchDown(200, 300);
    touchUp(200, 300);
    type("2");
    EXPECT_STREQ(first->getText(), "1");
    EXPECT_STREQ(second->getText(), "2");
    EXPECT_THAT(log.calls, ElementsAre("began", "changed 1", "ended", "return"));
    EXPECT_THAT(otherLog.calls, ElementsAre("began", "changed 2"));
}

struct RemovesOnReturn : ui::EditBoxDelegate {
    void editBoxReturn(EditBox* box) override { box->removeFromParent(); }
};

TEST_F(EditBoxTest, DelegateMayRemoveTheBoxWhenReturnIsPressed) {
    const std::size_t before = scene->getChildrenCount();
    EditBox* box = makeBox();
    RemovesOnReturn remover;
    box->setDelegate(&remover);
    tap(box);
    type("\n");
    frame();
    EXPECT_EQ(scene->getChildrenCount(), before);
    EXPECT_FALSE(IMEDispatcher::sharedDispatcher()->hasOwner());
}

}  // namespace
}  // namespace kite
