#include "Classes/InfoLayer.h"

#include "Classes/DialogParts.h"
#include "Classes/GameHelpers.h"
#include "Classes/MenuLayer.h"
#include "Classes/MenuScreens.h"
#include "Classes/QKSingleton.h"
#include "kite/foundation/Create.h"
#include "kite/foundation/Ref.h"
#include "kite/scene/Director.h"
#include "kite/scene/Label.h"
#include "kite/scene/Sprite.h"

namespace {
constexpr const char* kFont = "Helvetica Neue";
}

InfoLayer* InfoLayer::create() { return kite::createAutoreleased<InfoLayer>(); }

std::string InfoLayer::maskedNumber(const std::string& number) {
    std::string masked = number.substr(0, 3) + "****";
    if (number.size() > 7) masked += number.substr(7, 4);
    return masked;
}

bool InfoLayer::init() {
    if (!Layer::init()) return false;
    dialog::claimAllTouches(this);
    const kite::Size visible = kite::Director::getInstance()->getVisibleSize();
    dialog::addShade(this, visible.width, visible.height);
    kite::Sprite* background = dialog::addCentred(this, "Menu/Info/bg_info.png", 0);
    if (!background) return true;
    dialog::popIn(background, 0.7f, 1.1f);
    const kite::Size size = background->getContentSize();
    dialog::addButton(background, "Common/btn_close.png", kite::Vec2(size.width - 32, size.height - 30), 1,
                      [this] { menuCloseCallback(); });
    dialog::addButton(background, "Menu/Login/btn_pact.png", kite::Vec2(size.width / 2, size.height / 2 - 32), 1,
                      [this] { menuPactCallback(); });
    addAccountState(background);

    const std::string version = "版本 V " + QKSingleton::getInstance()->versionText;
    if (kite::Label* label = kite::Label::createWithSystemFont(version, kFont, 20)) {
        label->setAnchorPoint(kite::Vec2(0.5f, 0));
        label->setColor(kite::Color3B(95, 140, 235));
        label->setPosition(size.width / 2, 12);
        background->addChild(label, 1);
    }
    return true;
}

void InfoLayer::addAccountState(kite::Node* background) {
    const kite::Size size = background->getContentSize();
    const std::string stored = QKSingleton::getInstance()->getCellphone();
    if (stored.empty()) {
        dialog::addButton(background, "Menu/Info/btn_nowbind.png", kite::Vec2(size.width / 2, size.height / 2 - 112), 1,
                          [this] { menuBindCallback(); });
        return;
    }
    dialog::addSprite(background, "Menu/Info/img_bind.png", kite::Vec2(size.width / 2, size.height / 2 - 85));
    kite::Sprite* box =
        dialog::addSprite(background, "Menu/Info/img_bindbox.png", kite::Vec2(size.width / 2, size.height / 2 - 125));
    if (!box) return;
    if (kite::Label* number = kite::Label::createWithSystemFont(maskedNumber(base64Decode(stored)), kFont, 30)) {
        number->setColor(kite::Color3B(64, 100, 170));
        number->setPosition(box->getContentSize().width / 2, box->getContentSize().height / 2);
        box->addChild(number);
    }
}

bool InfoLayer::onTouchBegan(kite::Touch*, kite::Event*) { return true; }

void InfoLayer::menuCloseCallback() { removeFromParent(); }

void InfoLayer::menuPactCallback() {
    QKSingleton* state = QKSingleton::getInstance();
    if (state->networkReachable)
        MenuScreens::openWebPage(this, 0);
    else
        state->showAlert(this, "提示", "当前无网络，请连接\r\n您的网络！");
}

void InfoLayer::menuBindCallback() {
    kite::RefPtr<InfoLayer> keep(this);
    if (menuLayer) menuLayer->showLoginLayer(2);
    removeFromParent();
}
