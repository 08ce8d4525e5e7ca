#include "Classes/GameEffects.h"

#include "Classes/QKSound.h"
#include "kite/foundation/Ref.h"
#include "kite/scene/ActionInstant.h"
#include "kite/scene/ActionInterval.h"
#include "kite/scene/Director.h"
#include "kite/scene/Sprite.h"

namespace {

// Retained, so the slot never points at a picture freed with its board when the
// screen goes without taking the picture away first.
kite::RefPtr<kite::Sprite>& stageClearSlot() {
    static auto* slot = new kite::RefPtr<kite::Sprite>();  // never freed: no release after the engine is gone
    return *slot;
}

kite::Vec2 visibleCentre() {
    const kite::Size visible = kite::Director::getInstance()->getVisibleSize();
    return kite::Vec2(visible.width / 2, visible.height / 2);
}

}  // namespace

const char* comboPictureFor(int groupSize) {
    if (groupSize < 5) return nullptr;
    if (groupSize <= 6) return "Effect/combo_1.png";
    if (groupSize <= 9) return "Effect/combo_2.png";
    return "Effect/combo_3.png";
}

void showComboEffect(int groupSize, kite::Node* parent) {
    const char* file = comboPictureFor(groupSize);
    if (!file || !parent) return;
    kite::Sprite* picture = kite::Sprite::create(file);
    if (!picture) return;
    picture->setPosition(visibleCentre());
    parent->addChild(picture);
    picture->runAction(kite::Sequence::create(
        kite::Blink::create(1.0f, 5),
        kite::CallFuncN::create([](kite::Node* node) { node->removeFromParentAndCleanup(true); })));
}

void showStageClear(kite::Node* parent) {
    kite::RefPtr<kite::Sprite>& slot = stageClearSlot();
    if (slot || !parent) return;
    QKSound::getInstance()->playNextGame();
    kite::Sprite* picture = kite::Sprite::create("Effect/stage_clear.png");
    if (!picture) return;
    const kite::Size visible = kite::Director::getInstance()->getVisibleSize();
    picture->setPosition(visibleCentre());
    parent->addChild(picture);
    slot = picture;
    picture->runAction(
        kite::Sequence::create(kite::Blink::create(1.0f, 5),
                               kite::Spawn::create(kite::MoveTo::create(0.3f, kite::Vec2(50.0f, visible.height - 156)),
                                                   kite::ScaleTo::create(0.3f, 0.6f))));
}

void removeStageClear() {
    kite::RefPtr<kite::Sprite>& slot = stageClearSlot();
    if (!slot) return;
    slot->removeFromParentAndCleanup(true);
    slot = nullptr;
}

kite::Sprite* currentStageClear() { return stageClearSlot().get(); }
