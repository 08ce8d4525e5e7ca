#include "Classes/PopupBoxLayer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Classes/LoginLayer.h"
#include "Classes/MenuScreens.h"
#include "Classes/QKSingleton.h"
#include "Classes/RankedLayer.h"
#include "Classes/ServerExchange.h"
#include "GameTestSupport.h"
#include "kite/foundation/Create.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventListenerTouch.h"
#include "kite/scene/EventTouch.h"
#include "kite/scene/Layer.h"
#include "kite/scene/MenuItem.h"
#include "kite/scene/Scene.h"
#include "kite/scene/TextFieldTTF.h"
#include "kite/scene/Touch.h"
#include "support/DirectorShutdown.h"
#include "support/LogCapture.h"

namespace {

using ::testing::Contains;
using ::testing::StartsWith;

// A screen that counts the touches reaching it, can be closed by a notice and takes a phone number.
class Screen : public kite::Layer, public PopupBoxLayer::NoticeOwner, public PopupBoxLayer::PhoneOwner {
public:
    static Screen* create() { return kite::createAutoreleased<Screen>(); }
    bool init() override {
        if (!Layer::init()) return false;
        auto* listener = kite::EventListenerTouchOneByOne::create();
        listener->onTouchBegan = [this](kite::Touch*, kite::Event*) { return ++touches, true; };
        getEventDispatcher()->addEventListenerWithSceneGraphPriority(listener, this);
        return true;
    }
    void menuCloseCallback() override { removeFromParent(); }
    void requestReceiveTelFee(const std::string& phone) override { phones.push_back(phone); }
    int touches = 0;
    std::vector<std::string> phones;
};

class PopupBoxLayerTest : public game::test::GameGLTest {
protected:
    void SetUp() override {
        GameGLTest::SetUp();
        scene = kite::Scene::create();
        kite::Director::getInstance()->runWithScene(scene);
        kite::Director::getInstance()->mainLoop();
        dispatcher = kite::Director::getInstance()->getEventDispatcher();
        wasEnabled = dispatcher->isEnabled();
        dispatcher->setEnabled(true);
        screen = Screen::create();
        scene->addChild(screen);
    }
    void TearDown() override {
        QKSingleton::getInstance()->removePopup();
        dispatcher->setEnabled(wasEnabled);
        kite::test::shutDownDirector();
        GameGLTest::TearDown();
    }
    void touch() {
        kite::Touch* finger = new kite::Touch();
        finger->setTouchInfo(1, 100.0f, 100.0f);
        kite::EventTouch event;
        event.setEventCode(kite::EventTouch::EventCode::BEGAN);
        event.setTouches({finger});
        dispatcher->dispatchEvent(&event);
        event.setEventCode(kite::EventTouch::EventCode::ENDED);
        dispatcher->dispatchEvent(&event);
        finger->release();
    }
    PopupBoxLayer* current() const { return QKSingleton::getInstance()->getCurrentPopup(); }
    // Whether a dialog of this kind was added to the screen; each is taken off once found.
    template <class T>
    T* opened() {
        for (kite::Node* child : screen->getChildren()) {
            if (auto* dialog = dynamic_cast<T*>(child)) {
                kite::RefPtr<T> keep(dialog);
                dialog->removeFromParent();
                return dialog;
            }
        }
        return nullptr;
    }
    int openedLogin() {
        LoginLayer* login = opened<LoginLayer>();
        return login ? login->getOrigin() : -1;
    }

    kite::Scene* scene = nullptr;
    Screen* screen = nullptr;
    kite::EventDispatcher* dispatcher = nullptr;
    bool wasEnabled = false;
    kite::test::LogCapture log;
};

TEST_F(PopupBoxLayerTest, TheScreenBelowHearsNoTouchWhileAPopupShows) {
    touch();
    EXPECT_EQ(screen->touches, 1);
    for (int form = 0; form < 3; ++form) {
        if (form == 0) QKSingleton::getInstance()->showWaitBox(screen);
        if (form == 1) QKSingleton::getInstance()->showAlert(screen, "提示", "message");
        if (form == 2) QKSingleton::getInstance()->showConfirm(screen, "提示", "message", 4);
        touch();
        EXPECT_EQ(screen->touches, 1) << "form " << form;
        QKSingleton::getInstance()->removePopup();
    }
    touch();
    EXPECT_EQ(screen->touches, 2);
}

TEST_F(PopupBoxLayerTest, RemovingTwiceDoesNothingTheSecondTimeAndAPopupThatWentIsForgotten) {
    QKSingleton* state = QKSingleton::getInstance();
    state->showAlert(screen, "提示", "message");
    EXPECT_EQ(current()->getParent(), screen);
    state->removePopup();
    EXPECT_EQ(current(), nullptr);
    state->removePopup();
    state->showWaitBox(screen);
    screen->removeFromParent();  // the popup goes with its owner
    kite::PoolManager::getInstance()->getCurrentPool()->clear();
    EXPECT_EQ(current(), nullptr);
    state->removePopup();
}

TEST_F(PopupBoxLayerTest, ConfirmButtonsActByKind) {
    kite::Node* share = kite::Node::create();
    screen->addChild(share, 2, MenuScreens::kShareDialogTag);
    QKSingleton::getInstance()->showConfirm(screen, "提示", "message", 3);
    current()->onConfirmRight();
    EXPECT_EQ(share->getParent(), nullptr);
    EXPECT_EQ(current(), nullptr);
    EXPECT_EQ(openedLogin(), 3);

    QKSingleton::getInstance()->showConfirm(screen, "提示", "message", 4);
    current()->onConfirmLeft();
    EXPECT_TRUE(opened<RankedLayer>());
    QKSingleton::getInstance()->showConfirm(screen, "提示", "message", 4);
    current()->onConfirmRight();
    EXPECT_EQ(openedLogin(), 4);
    EXPECT_EQ(current(), nullptr);
    ServerExchange::destroyClient(true);  // the leaderboard's request, with no server here
}

TEST_F(PopupBoxLayerTest, APopupBelowTheNewestOneStillClosesItself) {
    QKSingleton::getInstance()->showConfirm(screen, "提示", "below", 4);
    kite::RefPtr<PopupBoxLayer> below = current();
    QKSingleton::getInstance()->showAlert(screen, "提示", "above");
    kite::RefPtr<PopupBoxLayer> above = current();
    above->close();
    EXPECT_EQ(current(), nullptr);
    EXPECT_EQ(below->getParent(), screen);
    below->close();
    EXPECT_EQ(below->getParent(), nullptr);
}

TEST_F(PopupBoxLayerTest, ANoticeClosesTheDialogThatOpenedIt) {
    kite::RefPtr<Screen> keep(screen);
    QKSingleton::getInstance()->showNotice(screen, "提示", "账号绑定成功！\r\n祝您游戏愉快！");
    kite::RefPtr<PopupBoxLayer> notice = current();
    notice->onNoticeOk();
    EXPECT_EQ(screen->getParent(), nullptr);
    EXPECT_EQ(notice->getParent(), screen);  // it went with its owner
}

TEST_F(PopupBoxLayerTest, ThePhoneFieldTakesElevenDigitsAndOkFollowsTheirCount) {
    QKSingleton::getInstance()->showPhoneInput(screen, "提示", "请输入您的手机号");
    kite::RefPtr<PopupBoxLayer> input = current();
    kite::TextFieldTTF* field = input->getTextField();
    ASSERT_NE(field, nullptr);
    ASSERT_NE(input->getOkItem(), nullptr);
    EXPECT_FALSE(input->getOkItem()->isEnabled());
    field->insertText("a", 1);
    EXPECT_EQ(field->getString(), "");
    for (char digit : std::string("13812345678")) field->insertText(&digit, 1);
    EXPECT_EQ(field->getString(), "13812345678");
    EXPECT_TRUE(input->getOkItem()->isEnabled());
    field->insertText("9", 1);
    EXPECT_EQ(field->getString(), "13812345678");
    field->deleteBackward();
    EXPECT_FALSE(input->getOkItem()->isEnabled());
    field->insertText("8", 1);
    EXPECT_TRUE(input->getOkItem()->isEnabled());
    input->onPhoneOk();
    EXPECT_THAT(screen->phones, ::testing::ElementsAre("13812345678"));
}

TEST_F(PopupBoxLayerTest, AWrongPhoneNumberRaisesAnAlertOverTheInputAndKeepsTheText) {
    QKSingleton::getInstance()->showPhoneInput(screen, "提示", "请输入您的手机号");
    kite::RefPtr<PopupBoxLayer> input = current();
    for (char digit : std::string("12345678901")) input->getTextField()->insertText(&digit, 1);
    input->onPhoneOk();
    EXPECT_TRUE(screen->phones.empty());
    EXPECT_TRUE(log.contains("QKSingleton: alert \"提示\" / \"请输入正确的手机号\""));
    EXPECT_EQ(current()->getParent(), input.get());
    EXPECT_EQ(input->getTextField()->getString(), "12345678901");
    current()->close();
    input->close();
    EXPECT_EQ(input->getParent(), nullptr);
}

}  // namespace
