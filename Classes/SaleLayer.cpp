#include "Classes/SaleLayer.h"

#include <algorithm>

#include "Classes/DialogParts.h"
#include "Classes/QKSingleton.h"
#include "kite/foundation/Create.h"
#include "kite/scene/ActionInterval.h"
#include "kite/scene/Sprite.h"

namespace {

void addSprite(kite::Node* parent, const std::string& file, float x, float y) {
    kite::Sprite* sprite = kite::Sprite::create(file);
    if (!sprite) return;
    sprite->setPosition(x, y);
    parent->addChild(sprite);
}

}  // namespace

SaleLayer* SaleLayer::create() { return kite::createAutoreleased<SaleLayer>(); }

int SaleLayer::offeredTier(int payTier) { return std::clamp(payTier, 0, 3); }

std::string SaleLayer::offerImage(int payTier) {
    return "Menu/Sale/bg_sale_" + std::to_string(offeredTier(payTier) + 1) + ".png";
}

bool SaleLayer::init() {
    if (!Layer::init()) return false;
    dialog::claimAllTouches(this);
    dialog::addShade(this, 20.0f, 36.0f);
    kite::Sprite* background = dialog::addCentred(this, kBackground, 0);
    if (!background) return false;
    dialog::popIn(background, 0.7f, 1.1f);
    const float w = background->getContentSize().width;
    const float h = background->getContentSize().height;
    dialog::addButton(background, "Common/btn_close.png", kite::Vec2(w - 75, h - 107), 1,
                      [this] { menuCloseCallback(); });
    addSprite(background, kTitle, w / 2, h - 75);
    // Chosen once: the offer stays as it is while the screen is open.
    addSprite(background, offerImage(QKSingleton::getInstance()->getPayTier()), w / 2, h / 2);
    if (kite::Sprite* gift = kite::Sprite::create(kGiftMark)) {
        gift->setPosition(w / 2 - 95, h / 2 - 85);
        gift->runAction(kite::RepeatForever::create(
            kite::Sequence::create(kite::ScaleTo::create(0.8f, 0.7f), kite::ScaleTo::create(0.8f, 1.0f))));
        background->addChild(gift);
    }
    dialog::addButton(background, kBuyButton, kite::Vec2(w / 2, h / 2 - 185), 1, [this] { menuBuyCallback(); });
    return true;
}

bool SaleLayer::onTouchBegan(kite::Touch*, kite::Event*) { return true; }

void SaleLayer::menuCloseCallback() { removeFromParent(); }

void SaleLayer::menuBuyCallback() {
    QKSingleton* state = QKSingleton::getInstance();
    state->showWaitBox(this);
    state->purchaseFromShop = false;
    // A damaged store's negative tier buys the pack it shows, the first.
    state->startPurchase(offeredTier(state->getPayTier()));
}
