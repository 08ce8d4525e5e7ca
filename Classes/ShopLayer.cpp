#include "Classes/ShopLayer.h"

#include "Classes/DialogParts.h"
#include "Classes/DiamondCount.h"
#include "Classes/GameData.h"
#include "Classes/GameHelpers.h"
#include "Classes/QKSingleton.h"
#include "kite/foundation/Create.h"
#include "kite/scene/Label.h"
#include "kite/scene/Sprite.h"

ShopLayer* ShopLayer::create() { return kite::createAutoreleased<ShopLayer>(); }

bool ShopLayer::init() {
    if (!Layer::init()) return false;
    dialog::claimAllTouches(this);
    dialog::addShade(this, 20.0f, 36.0f);
    kite::Sprite* background = dialog::addCentred(this, kBackground, 0);
    if (!background) return false;
    dialog::popIn(background, 0.7f, 1.1f);
    const kite::Size size = background->getContentSize();
    dialog::addButton(background, "Common/btn_close.png", kite::Vec2(size.width - 32, size.height - 32), 1,
                      [this] { menuCloseCallback(); });
    diamondLabel =
        kite::Label::createWithSystemFont(intToString(GameData::getInstance()->getDiamond()), "Helvetica Neue", 24);
    if (diamondLabel) {
        diamondLabel->setPosition(size.width / 2 + 20, size.height - 50);
        background->addChild(diamondLabel);
    }
    for (int index = 0; index < 4; ++index) {
        dialog::addButton(background, kBuyButton, kite::Vec2(kBuyX, kBuyY[index]), 1,
                          [this, index] { menuBuyCallback(index); });
    }
    scheduleWithInterval(kite::schedule_selector(&ShopLayer::updateDiamond), kRefreshInterval);
    return true;
}

bool ShopLayer::onTouchBegan(kite::Touch*, kite::Event*) { return true; }

void ShopLayer::visit(kite::Renderer* renderer, const kite::Mat4& parentTransform, uint32_t parentFlags) {
    kite::Layer::visit(renderer, parentTransform, parentFlags);
    diamondCount::labelDrawn(diamondLabel);
}

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
