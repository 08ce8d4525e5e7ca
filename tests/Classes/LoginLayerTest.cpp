#include "Classes/LoginLayer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Classes/GameData.h"
#include "Classes/MenuLayer.h"
#include "Classes/PopupBoxLayer.h"
#include "ServerTestSupport.h"
#include "kite/scene/MenuItem.h"

namespace {

using game::test::DrawnServerGameTest;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

class LoginLayerTest : public DrawnServerGameTest {
protected:
    LoginLayer* open(int origin = 2) {
        LoginLayer* login = LoginLayer::create();
        login->setOrigin(origin);
        scene->addChild(login, 2);
        frames(15);  // popped in
        return login;
    }
    void typeInto(kite::ui::EditBox* box, const std::string& text) {
        tap(box, kite::Vec2(0.2f, 0.5f));  // clear of the agreement button
        type(text);
        type("\n");
    }
    void fill(LoginLayer* login, const std::string& phone, const std::string& password) {
        typeInto(login->getPhoneBox(), phone);
        typeInto(login->getPasswordBox(), password);
    }
};

TEST_F(LoginLayerTest, TheBindButtonWaitsForBothTextsAndTheAgreement) {
    LoginLayer* login = open();
    kite::MenuItemImage* bind = login->getBindButton();
    const kite::test::Pixel disabled = pixelAt(bind, bind->getAnchorPointInPoints());
    typeInto(login->getPhoneBox(), "1381234567");
    typeInto(login->getPasswordBox(), "1234");
    EXPECT_FALSE(bind->isEnabled());  // ten digits
    tap(login->getPhoneBox(), kite::Vec2(0.2f, 0.5f));
    type("8");
    type("9");
    type("\n");
    EXPECT_STREQ(login->getPhoneBox()->getText(), "13812345678");  // no twelfth digit
    EXPECT_TRUE(bind->isEnabled());
    frames(1);
    saveFrame();
    EXPECT_NE(pixelAt(bind, bind->getAnchorPointInPoints()), disabled);
    login->menuAgreeCallback();
    EXPECT_FALSE(bind->isEnabled());
    login->menuAgreeCallback();
    EXPECT_TRUE(bind->isEnabled());
}

TEST_F(LoginLayerTest, MalformedInputIsRefusedBeforeAnyRequest) {
    LoginLayer* login = open();
    kite::test::LogCapture log;
    fill(login, "12812345678", "1234");
    login->menuBindCallback();
    EXPECT_THAT(lastAlert(log), HasSubstr("\"提示\" / \"请输入正确的手机号\""));
    QKSingleton::getInstance()->removePopup();
    login->getPhoneBox()->setText("13812345678");
    login->getPasswordBox()->setText("12.4");
    login->menuBindCallback();
    EXPECT_THAT(lastAlert(log), HasSubstr("\"提示\" / \"请输入4-12位数字密码\""));
    QKSingleton::getInstance()->removePopup();
    login->getPasswordBox()->setText("1234");
    QKSingleton::getInstance()->networkReachable = false;
    login->menuBindCallback();
    EXPECT_THAT(lastAlert(log), HasSubstr("\"提示\" / \"当前无网络，请连接\r\n网络后重试！\""));
    ASSERT_TRUE(settle());
    EXPECT_THAT(requestedPaths(), IsEmpty());
    EXPECT_EQ(QKSingleton::getInstance()->getCellphone(), "");
}

TEST_F(LoginLayerTest, ABindingIsStoredMergedAndUsedForTheNextLogin) {
    ASSERT_TRUE(server->store().seedAccount({"13812345678", base64Encode("1234"), 950, 30, 0}));
    server->store().setSetting("gametag", "7");
    GameData::getInstance()->setDiamond(5);
    GameData::getInstance()->setGameTag("7");
    LoginLayer* login = open(4);
    fill(login, "13812345678", "1234");
    login->menuBindCallback();
    EXPECT_NE(QKSingleton::getInstance()->getCurrentPopup(), nullptr);  // the wait box
    settleAndDraw();
    EXPECT_EQ(server->requestLog().since(0).at(0).body,
              "{\"cellphone\":\"13812345678\",\"channel\":\"8888\",\"devicetype\":\"0\",\"password\":\"MTIzNA==\","
              "\"tag\":\"4\"}\n");
    QKSingleton* state = QKSingleton::getInstance();
    EXPECT_EQ(state->getCellphone(), "MTM4MTIzNDU2Nzg=");
    EXPECT_EQ(state->getPassword(), "MTIzNA==");
    EXPECT_EQ(GameData::getInstance()->highestScore, 950);
    EXPECT_EQ(GameData::getInstance()->getDiamond(), 35);
    EXPECT_FALSE(GameData::getInstance()->newGameRequested);

    // The notice's button closes the dialog with it.
    kite::RefPtr<LoginLayer> keep(login);
    ASSERT_NE(state->getCurrentPopup(), nullptr);
    state->getCurrentPopup()->onNoticeOk();
    EXPECT_EQ(login->getParent(), nullptr);

    // The next start logs in with what was stored.
    server->requestLog().clear();
    scene->addChild(MenuLayer::create());
    ASSERT_TRUE(settle());
    EXPECT_THAT(requestedPaths(),
                ElementsAre("/bus_ser_ios.html", "/game/BindAccount", "/game/RedbagCount", "/game/Version"));
    EXPECT_THAT(server->requestLog().since(0).at(1).body, HasSubstr("\"cellphone\":\"13812345678\""));
    EXPECT_THAT(server->requestLog().since(0).at(1).body, HasSubstr("\"password\":\"MTIzNA==\""));
}

TEST_F(LoginLayerTest, AWrongPasswordOrAFailedTransferStoresNothing) {
    ASSERT_TRUE(server->store().seedAccount({"13812345678", base64Encode("9999"), 0, 0, 0}));
    LoginLayer* login = open();
    fill(login, "13812345678", "1234");
    kite::test::LogCapture log;
    login->menuBindCallback();
    settleAndDraw();
    EXPECT_THAT(lastAlert(log), HasSubstr("\"提示\" / \"您的密码不正确！\""));
    QKSingleton::getInstance()->removePopup();
    nextReply("/game/BindAccount", "drop");
    login->menuBindCallback();
    settleAndDraw();
    EXPECT_THAT(lastAlert(log), HasSubstr("\"提示\" / \"超时，请稍后重试！\""));
    QKSingleton::getInstance()->removePopup();
    for (const char* kind : {"wrongtype", "deep"}) {
        nextReply("/game/BindAccount", kind);
        login->menuBindCallback();
        settleAndDraw();
        EXPECT_EQ(QKSingleton::getInstance()->getCellphone(), "") << kind;
        EXPECT_EQ(login->getParent(), scene.get()) << kind;
        EXPECT_STREQ(login->getPhoneBox()->getText(), "13812345678") << kind;
    }
}

}  // namespace
