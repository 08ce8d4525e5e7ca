// The edit box end to end, headless: window events (a click, typed text, Return) reach it through the host
// view, and the captured frames show the placeholder, then the typed text.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "kite/platform/GLViewImpl.h"
#include "kite/platform/KTEAGLView.h"
#include "kite/scene/Director.h"
#include "kite/scene/IMEDelegate.h"
#include "kite/scene/Scene.h"
#include "kite/widgets/EditBox.h"
#include "kite/widgets/Scale9Sprite.h"
#include "platform/InputEvent.h"
#include "platform/PngFile.h"
#include "support/GLTest.h"
#include "support/RunningScene.h"

namespace kite {
namespace {

using testing::ElementsAre;
using Type = platform::InputEvent::Type;

struct Calls : ui::EditBoxDelegate {
    void editBoxEditingDidBegin(ui::EditBox*) override { heard.push_back("began"); }
    void editBoxEditingDidEnd(ui::EditBox*) override { heard.push_back("ended"); }
    void editBoxReturn(ui::EditBox*) override { heard.push_back("return"); }
    std::vector<std::string> heard;
};

// Counts the keyboard's will-show notices.
class KeyboardNotices : public IMEDelegate {
public:
    int willShow = 0;
    bool canAttachWithIME() override { return false; }
    bool canDetachWithIME() override { return true; }
    void insertText(const char*, std::size_t) override {}
    void deleteBackward() override {}
    const std::string& getContentText() override { return none_; }
    void keyboardWillShow(IMEKeyboardNotificationInfo&) override { ++willShow; }

private:
    std::string none_;
};

// How many pixels of the box's inside are white (typed text) and how many mid grey (the placeholder).
struct Ink {
    int white = 0;
    int grey = 0;
};

// Design points are window pixels here.
class EditBoxInputTest : public test::RunningSceneTest {
protected:
    Size frameSize() const override { return Size(480.0f, 852.0f); }
    Size designSize() const override { return Size(480.0f, 852.0f); }

    void SetUp() override {
        test::RunningSceneTest::SetUp();
        if (!scene) return;
        box = ui::EditBox::create(Size(300, 60), ui::Scale9Sprite::create());
        box->setPosition(Vec2(240, 400));  // 90..390 x 370..430; window rows 422..482
        box->setPlaceHolder("手机号码");
        box->setDelegate(&calls);
        scene->addChild(box);
        Director::getInstance()->mainLoop();  // touches find the box once it has been drawn
    }

    bool send(platform::InputEvent event) {
        event.windowId = hostView->getWindowID();
        return hostView->handleInput(event);
    }
    void click(float x, float y) {
        send(platform::InputEvent::touch(Type::TOUCH_BEGAN, KTEAGLView::MOUSE_TOUCH_ID, x, y));
        send(platform::InputEvent::touch(Type::TOUCH_ENDED, KTEAGLView::MOUSE_TOUCH_ID, x, y));
    }
    bool typeText(const std::string& text) {
        platform::InputEvent event = platform::InputEvent::of(Type::TEXT_INPUT);
        event.text = text;
        return send(event);
    }
    bool press(platform::Key key) {
        platform::InputEvent event = platform::InputEvent::of(Type::KEY_DOWN);
        event.key = key;
        return send(event);
    }

    // Draws a frame, saves it for people to look at, and counts the ink inside the box.
    Ink drawAndMeasure(const std::string& name) {
        const std::string path = test::artifactsDirectory() + "/edit-box-" + name + ".png";
        hostView->captureNextFrame(path);
        Director::getInstance()->mainLoop();
        std::optional<platform::PngImage> png = platform::readPng(path);
        Ink ink;
        if (!png) return ink;
        for (int y = 424; y < 480; ++y)
            for (int x = 92; x < 388; ++x) {
                const std::uint8_t* p = &png->rgba[static_cast<std::size_t>((y * png->width + x) * 4)];
                if (p[0] > 200 && p[1] > 200 && p[2] > 200) ++ink.white;
                if (p[0] > 90 && p[0] < 180 && p[0] == p[1] && p[1] == p[2]) ++ink.grey;
            }
        return ink;
    }

    ui::EditBox* box = nullptr;
    Calls calls;
};

TEST_F(EditBoxInputTest, ClickTypeAndReturnThroughTheWindow) {
    ASSERT_NE(box, nullptr);
    const Ink empty = drawAndMeasure("placeholder");
    EXPECT_GT(empty.grey, 50);
    EXPECT_EQ(empty.white, 0);

    EXPECT_FALSE(typeText("x"));  // nothing takes text before the click
    click(240, 452);
    EXPECT_TRUE(hostView->isFirstResponder());
    EXPECT_TRUE(typeText("中文ab"));
    EXPECT_STREQ(box->getText(), "中文ab");
    const Ink typed = drawAndMeasure("typed");
    EXPECT_GT(typed.white, 100);
    EXPECT_LT(typed.grey, empty.grey / 4);

    EXPECT_TRUE(press(platform::Key::ENTER));
    EXPECT_FALSE(hostView->isFirstResponder());
    EXPECT_FALSE(typeText("y"));
    EXPECT_STREQ(box->getText(), "中文ab");
    EXPECT_THAT(calls.heard, ElementsAre("began", "ended", "return"));
}

TEST_F(EditBoxInputTest, PasswordDrawsMarksInsteadOfTheText) {
    ASSERT_NE(box, nullptr);
    box->setInputFlag(ui::EditBox::InputFlag::PASSWORD);
    click(240, 452);
    typeText("1");
    press(platform::Key::ENTER);  // measured without the cursor
    const Ink one = drawAndMeasure("password-one");
    click(240, 452);
    typeText("2345");
    press(platform::Key::ENTER);
    EXPECT_STREQ(box->getText(), "12345");
    const Ink five = drawAndMeasure("password-five");
    EXPECT_GT(one.white, 10);
    // Five marks of one shape: about five times the ink of one.
    EXPECT_NEAR(static_cast<double>(five.white) / one.white, 5.0, 1.0);
}

TEST_F(EditBoxInputTest, AClickElsewhereEndsTheEditingAndHidesTheKeyboard) {
    ASSERT_NE(box, nullptr);
    click(240, 452);
    ASSERT_TRUE(hostView->isKeyboardShown());
    click(240, 100);
    EXPECT_FALSE(hostView->isKeyboardShown());
    EXPECT_FALSE(hostView->isFirstResponder());
    EXPECT_FALSE(typeText("y"));
    EXPECT_STREQ(box->getText(), "");
    EXPECT_THAT(calls.heard, ElementsAre("began", "ended", "return"));
    const Ink after = drawAndMeasure("after-click-elsewhere");
    EXPECT_GT(after.grey, 50);  // the placeholder is back, without the cursor
    EXPECT_EQ(after.white, 0);
    // The next click on the box edits it again.
    click(240, 452);
    EXPECT_TRUE(hostView->isKeyboardShown());
    EXPECT_TRUE(typeText("z"));
    EXPECT_STREQ(box->getText(), "z");
}

TEST_F(EditBoxInputTest, AClickOnTheBoxBeingEditedKeepsTheEditing) {
    ASSERT_NE(box, nullptr);
    click(240, 452);
    ASSERT_TRUE(typeText("ab"));
    click(100, 430);  // near the box's left edge, still on it
    EXPECT_TRUE(hostView->isKeyboardShown());
    EXPECT_TRUE(hostView->isFirstResponder());
    EXPECT_TRUE(typeText("c"));
    EXPECT_STREQ(box->getText(), "abc");
    EXPECT_THAT(calls.heard, ElementsAre("began"));
    // A click elsewhere still ends it.
    click(240, 300);
    EXPECT_FALSE(hostView->isKeyboardShown());
    EXPECT_THAT(calls.heard, ElementsAre("began", "ended", "return"));
}

TEST_F(EditBoxInputTest, ABoxThatBeginsWhileTheKeyboardShowsHearsOfItAgain) {
    ASSERT_NE(box, nullptr);
    KeyboardNotices notices;
    glView->setIMEKeyboardState(true);  // another input holds the keyboard
    ASSERT_EQ(notices.willShow, 1);
    click(240, 452);
    EXPECT_EQ(notices.willShow, 2);
    EXPECT_THAT(calls.heard, ElementsAre("began"));
    press(platform::Key::ENTER);
}

}  // namespace
}  // namespace kite
