#include "Classes/GuideLayer.h"

#include "Classes/DialogParts.h"
#include "Classes/GameHelpers.h"
#include "Classes/GameLayer.h"
#include "Classes/QKSingleton.h"
#include "kite/foundation/Create.h"
#include "kite/scene/ActionInterval.h"
#include "kite/scene/Director.h"
#include "kite/scene/Sprite.h"

GuideLayer* GuideLayer::create() { return kite::createAutoreleased<GuideLayer>(); }

bool GuideLayer::init() {
    if (!Layer::init()) return false;
    dialog::claimAllTouches(this);
    const kite::Size visible = kite::Director::getInstance()->getVisibleSize();
    dialog::addShade(this, visible.width, visible.height);
    dialog::addButton(this, "Common/btn_close.png", kite::Vec2(visible.width - 32, visible.height - 30), 1, [this] {
        if (gameLayer) gameLayer->finishGuide();
        removeFromParentAndCleanup(true);
    });
    return true;
}

bool GuideLayer::onTouchBegan(kite::Touch*, kite::Event*) { return true; }

void GuideLayer::showBombPage() { showPage(Page::Bomb); }
void GuideLayer::showPaintPage() { showPage(Page::Paint); }
void GuideLayer::showResetPage() { showPage(Page::Reset); }

void GuideLayer::showPage(Page page) {
    struct Look {
        const char* picture;
        const char* button;
        float buttonOffset;  // from the centre line
        float fingerOffset;
    };
    static constexpr Look kLooks[] = {{"Guide/guide_bomb.png", "Scene/prop_bomb.png", -85, -55},
                                      {"Guide/guide_paint.png", "Scene/prop_paint.png", 0, 30},
                                      {"Guide/guide_reset.png", "Scene/prop_reset.png", 85, 115}};
    const Look& look = kLooks[static_cast<int>(page)];
    const kite::Size visible = kite::Director::getInstance()->getVisibleSize();
    const float w = visible.width;
    const float h = visible.height;
    const bool tall = QKSingleton::getInstance()->tallScreen;

    dialog::addCentred(this, look.picture, 2);
    dialog::addButton(this, look.button, kite::Vec2(w / 2 + look.buttonOffset, h - (tall ? 155 : 135)), 2,
                      [this, page] { turnPage(page); });
    kite::Sprite* finger = kite::Sprite::create();
    if (!finger) return;
    finger->setPosition(w / 2 + look.fingerOffset, h - (tall ? 205 : 185));
    addChild(finger, 3);
    if (kite::Animate* press = createFrameAnimation("finger_anim", "Guide/"))
        finger->runAction(kite::RepeatForever::create(kite::Sequence::create(kite::DelayTime::create(0.8f), press)));
}

void GuideLayer::turnPage(Page page) {
    if (gameLayer) {
        switch (page) {
            case Page::Bomb: gameLayer->showGuidePaint(); break;
            case Page::Paint: gameLayer->showGuideReset(); break;
            case Page::Reset: gameLayer->finishGuide(); break;
        }
    }
    removeFromParentAndCleanup(true);
}
