#include "Classes/LoginLayer.h"

#include <cstring>

#include "Classes/DialogParts.h"
#include "Classes/GameHelpers.h"
#include "Classes/MenuScreens.h"
#include "Classes/QKGateway.h"
#include "Classes/QKSingleton.h"
#include "Classes/ServerExchange.h"
#include "Classes/ServerReply.h"
#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"
#include "kite/scene/Menu.h"
#include "kite/scene/MenuItem.h"
#include "kite/scene/Sprite.h"
#include "kite/widgets/Scale9Sprite.h"

namespace {

using kite::ui::EditBox;

constexpr const char* kBoxImage = "Menu/Login/text_input.png";
constexpr const char* kBindImage = "Menu/Login/btn_bind.png";
constexpr const char* kBindDisabledImage = "Menu/Login/btn_bind_.png";
const char* const kNoNetworkForPage = "当前无网络，请连接\r\n您的网络！";

}  // namespace

LoginLayer* LoginLayer::create() { return kite::createAutoreleased<LoginLayer>(); }

bool LoginLayer::init() {
    if (!Layer::init()) return false;
    dialog::claimAllTouches(this);
    dialog::addShade(this, 20, 36);
    background = dialog::addCentred(this, "Menu/Login/bg_login.png", 0);
    if (!background) return true;
    dialog::popIn(background, 0.8f, 1.2f);
    const kite::Size size = background->getContentSize();
    dialog::addButton(background, "Common/btn_close.png", kite::Vec2(size.width - 32, size.height - 30), 1,
                      [this] { menuCloseCallback(); });
    phoneBox = addEditBox(kite::Vec2(size.width / 2 + 34, size.height / 2 + 134), "点击输入手机号", 11);
    passwordBox = addEditBox(kite::Vec2(size.width / 2 + 34, size.height / 2 + 52), "点击输入密码", 12);
    if (passwordBox) passwordBox->setInputFlag(EditBox::InputFlag::PASSWORD);
    addAgreementAndBind();
    return true;
}

EditBox* LoginLayer::addEditBox(const kite::Vec2& position, const char* placeholder, int maxLength) {
    EditBox* box = EditBox::create(kite::Size(258, 48), kite::ui::Scale9Sprite::create(kBoxImage));
    if (!box) return nullptr;
    box->setPosition(position);
    box->setPlaceHolder(placeholder);
    box->setMaxLength(maxLength);
    box->setPlaceholderFont("Helvetica", 28);
    box->setFont("Helvetica", 28);
    box->setFontColor(kite::Color3B(64, 100, 170));
    box->setInputMode(EditBox::InputMode::NUMERIC);
    box->setReturnType(EditBox::KeyboardReturnType::DONE);
    box->setDelegate(this);
    background->addChild(box);
    return box;
}

void LoginLayer::addAgreementAndBind() {
    const kite::Size size = background->getContentSize();
    kite::MenuItemToggle* tick = kite::MenuItemToggle::createWithCallback(
        [this](kite::Ref*) { menuAgreeCallback(); },
        kite::MenuItemImage::create("Menu/Login/btn_agree_s.png", "Menu/Login/btn_agree_s.png"),
        kite::MenuItemImage::create("Menu/Login/btn_agree_n.png", "Menu/Login/btn_agree_n.png"));
    if (tick) {
        kite::Menu* menu = kite::Menu::create(tick);
        menu->setPosition(58, 198);
        background->addChild(menu);
    }
    dialog::addButton(background, "Menu/Login/btn_pact.png", kite::Vec2(size.width / 2 + 100, 198), 1,
                      [this] { menuPactCallback(); });
    bindButton =
        dialog::addButton(background, kBindImage, kite::Vec2(size.width / 2, 110), 1, [this] { menuBindCallback(); });
    if (bindButton) bindButton->setDisabledImage(kite::Sprite::create(kBindDisabledImage));
    updateBindButton();
}

bool LoginLayer::onTouchBegan(kite::Touch*, kite::Event*) { return true; }

void LoginLayer::menuCloseCallback() { removeFromParent(); }

void LoginLayer::editBoxTextChanged(EditBox* editBox, const std::string& text) {
    if (editBox == phoneBox)
        phoneComplete = text.size() >= 11;
    else
        passwordComplete = text.size() >= 4;
    updateBindButton();
}

void LoginLayer::menuAgreeCallback() {
    agreed = !agreed;
    updateBindButton();
}

void LoginLayer::updateBindButton() {
    if (bindButton) bindButton->setEnabled(phoneComplete && passwordComplete && agreed);
}

void LoginLayer::menuPactCallback() {
    QKSingleton* state = QKSingleton::getInstance();
    if (state->networkReachable)
        MenuScreens::openWebPage(this, 0);
    else
        state->showAlert(this, "提示", kNoNetworkForPage);
}

void LoginLayer::menuBindCallback() {
    QKSingleton* state = QKSingleton::getInstance();
    const std::string phone = phoneBox ? phoneBox->getText() : "";
    const std::string password = passwordBox ? passwordBox->getText() : "";
    if (!regexMatch(kPhonePattern, phone)) {
        state->showAlert(this, "提示", "请输入正确的手机号");
        return;
    }
    if (!regexMatch(kPasswordPattern, password)) {
        state->showAlert(this, "提示", "请输入4-12位数字密码");
        return;
    }
    if (!state->networkReachable) {
        state->showAlert(this, "提示", "当前无网络，请连接\r\n网络后重试！");
        return;
    }
    // What is stored on success is what was sent, whatever is typed meanwhile.
    sentPhone = phone;
    sentPassword = password;
    state->showWaitBox(this);
    ServerExchange::post(ServerExchange::url("BindAccount"), "BindAccount",
                         {{"devicetype", "0"},
                          {"cellphone", phone},
                          {"password", base64Encode(password)},
                          {"channel", "8888"},
                          {"tag", std::to_string(origin)}},
                         this, [this](kite::network::HttpClient* client, kite::network::HttpResponse* response) {
                             onHttpRequestCompleted(client, response);
                         });
}

void LoginLayer::onHttpRequestCompleted(kite::network::HttpClient*, kite::network::HttpResponse* response) {
    if (!response) return;
    const ServerReply reply = ServerReply::read(response);
    QKSingleton* state = QKSingleton::getInstance();
    if (!reply.transferred()) {
        state->removePopup();
        state->showAlert(this, "提示", "超时，请稍后重试！");
        return;
    }
    if (reply.tag() != "BindAccount") return;
    state->removePopup();
    if (reply.succeeded())
        onBound(reply);
    else if (reply.code() == "1111")
        state->showAlert(this, "提示", "您的密码不正确！");
}

void LoginLayer::onBound(const ServerReply& reply) {
    QKSingleton* state = QKSingleton::getInstance();
    // A success without its three members stores nothing: the account stays unbound.
    if (!QKGateway::applyLoginReply(reply)) {
        kite::log("LoginLayer: the binding reply lacks its score, diamonds or game tag");
        state->showAlert(this, "提示", "超时，请稍后重试！");
        return;
    }
    state->setCellphone(base64Encode(sentPhone));
    state->setPassword(base64Encode(sentPassword));
    state->showNotice(this, "提示", "账号绑定成功！\r\n祝您游戏愉快！");
}
