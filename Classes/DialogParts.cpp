#include "Classes/DialogParts.h"

#include "kite/foundation/Ref.h"
#include "kite/scene/ActionInterval.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventListenerTouch.h"
#include "kite/scene/Layer.h"
#include "kite/scene/Menu.h"
#include "kite/scene/MenuItem.h"
#include "kite/scene/Sprite.h"

namespace DialogParts {

kite::Vec2 visibleCentre() {
    const kite::Size size = kite::Director::getInstance()->getVisibleSize();
    return kite::Vec2(size.width / 2, size.height / 2);
}

void claimTouches(kite::Layer* dialog) {
    auto* listener = kite::EventListenerTouchOneByOne::create();
    listener->setSwallowTouches(true);
    listener->onTouchBegan = [dialog](kite::Touch* touch, kite::Event* event) {
        return dialog->onTouchBegan(touch, event);
    };
    dialog->getEventDispatcher()->addEventListenerWithSceneGraphPriority(listener, dialog);
}

void addShade(kite::Layer* dialog, float scaleX, float scaleY) {
    kite::Sprite* shade = addSprite(dialog, "Common/bg_gray_shadow.png", visibleCentre());
    if (shade) shade->setScale(scaleX, scaleY);
}

void addShade(kite::Layer* dialog) {
    const kite::Size size = kite::Director::getInstance()->getVisibleSize();
    addShade(dialog, size.width, size.height);
}

kite::Sprite* addPoppingBackground(kite::Layer* dialog, const char* file, float startScale, float peakScale) {
    kite::Sprite* background = addSprite(dialog, file, visibleCentre());
    if (!background) return nullptr;
    background->setScale(startScale);
    background->runAction(
        kite::Sequence::create(kite::ScaleTo::create(0.1f, peakScale), kite::ScaleTo::create(0.05f, 1.0f)));
    return background;
}

kite::Sprite* addSprite(kite::Node* parent, const char* file, const kite::Vec2& position, int zOrder) {
    kite::Sprite* sprite = kite::Sprite::create(file);
    if (!sprite) return nullptr;
    sprite->setPosition(position);
    parent->addChild(sprite, zOrder);
    return sprite;
}

kite::MenuItemImage* addButton(kite::Node* parent, const char* file, const kite::Vec2& position, int zOrder,
                               kite::Node* dialog, std::function<void()> action) {
    kite::MenuItemImage* item = kite::MenuItemImage::create(file, file, [dialog, action](kite::Ref*) {
        kite::RefPtr<kite::Node> keep(dialog);
        action();
    });
    if (!item) return nullptr;
    kite::Menu* menu = kite::Menu::create(item);
    menu->setPosition(position);
    parent->addChild(menu, zOrder);
    return item;
}

}  // namespace DialogParts
