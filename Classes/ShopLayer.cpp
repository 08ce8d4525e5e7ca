#include "Classes/ShopLayer.h"

#include "Classes/DialogLook.h"
#include "Classes/GameData.h"
#include "Classes/GameHelpers.h"
#include "Classes/QKSingleton.h"
#include "kite/foundation/Create.h"
#include "kite/scene/Label.h"
#include "kite/scene/Sprite.h"

ShopLayer* ShopLayer::create() { return kite::createAutoreleased<ShopLayer>(); }

bool ShopLayer::init() {
    if (!Layer::init()) return false;
    dialog::swallowTouches(this,
                           [this](kite::Touch* touch, kite::Event* event) { return onTouchBegan(touch, event); });
    dialog::addShade(this);
    kite::Sprite* background = dialog::addPoppingBackground(this, kBackground);
    if (!background) return false;
    const kite::Size size = background->getContentSize();
    dialog::addImageButton(background, dialog::kCloseButton, kite::Vec2(size.width - 32, size.height - 32),
                           [this] { menuCloseCallback(); });
    diamondLabel = kite::Label::createWithSystemFont(intToString(GameData::getInstance()->getDiamond()),
                                                     "Helvetica Neue", 24);
    if (diamondLabel) {
        diamondLabel->setPosition(size.width / 2 + 20, size.height - 50);
        background->addChild(diamondLabel);
    }
    for (int index = 0; index < 4; ++index) {
        dialog::addImageButton(background, kBuyButton, kite::Vec2(kBuyX, kBuyY[index]),
                               [this, index] { menuBuyCallback(index); });
    }
    scheduleWithInterval(kite::schedule_selector(&ShopLayer::updateDiamond), kRefreshInterval);
    return true;
}

bool ShopLayer::onTouchBegan(kite::Touch*, kite::Event*) { return true; }

void ShopLayer::menuCloseCallback() {
    unschedule(kite::schedule_selector(&ShopLayer::updateDiamond));
    removeFromParent();
}

void ShopLayer::menuBuyCallback(int tierIndex) {
    QKSingleton* state = QKSingleton::getInstance();
    state->showWaitBox(this);
    state->purchaseFromShop = true;
    state->startPurchase(tierIndex);
}

void ShopLayer::updateDiamond(float) {
    if (!diamondLabel) return;
    const int diamonds = GameData::getInstance()->getDiamond();
    if (stringToInt(diamondLabel->getString()) != diamonds) diamondLabel->setString(intToString(diamonds));
}
