#include "Classes/DialogParts.h"

#include "kite/scene/ActionInterval.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventListenerTouch.h"
#include "kite/scene/Layer.h"
#include "kite/scene/Menu.h"
#include "kite/scene/MenuItem.h"
#include "kite/scene/Sprite.h"

namespace dialog {

namespace {

void addInMenu(kite::Node* parent, kite::MenuItem* item, const kite::Vec2& position, int z) {
    kite::Menu* menu = kite::Menu::create(item);
    if (!menu) return;
    menu->setPosition(kite::Vec2::ZERO);
    item->setPosition(position);
    parent->addChild(menu, z);
}

}  // namespace

kite::Vec2 visibleCentre() {
    const kite::Size visible = kite::Director::getInstance()->getVisibleSize();
    return kite::Vec2(visible.width / 2, visible.height / 2);
}

void claimAllTouches(kite::Layer* layer) {
    auto* listener = kite::EventListenerTouchOneByOne::create();
    listener->setSwallowTouches(true);
    listener->onTouchBegan = [](kite::Touch*, kite::Event*) { return true; };
    layer->getEventDispatcher()->addEventListenerWithSceneGraphPriority(listener, layer);
}

kite::Sprite* addShade(kite::Node* parent, float scaleX, float scaleY) {
    kite::Sprite* shade = addCentred(parent, "Common/bg_gray_shadow.png", 0);
    if (shade) shade->setScale(scaleX, scaleY);
    return shade;
}

kite::Sprite* addCentred(kite::Node* parent, const std::string& file, int z) {
    kite::Sprite* sprite = kite::Sprite::create(file);
    if (!sprite) return nullptr;
    sprite->setPosition(visibleCentre());
    parent->addChild(sprite, z);
    return sprite;
}

kite::Sprite* addSprite(kite::Node* parent, const std::string& file, const kite::Vec2& position, int z) {
    kite::Sprite* sprite = kite::Sprite::create(file);
    if (!sprite) return nullptr;
    sprite->setPosition(position);
    parent->addChild(sprite, z);
    return sprite;
}

void popIn(kite::Node* node, float startScale, float peakScale) {
    if (!node) return;
    node->setScale(startScale);
    node->runAction(kite::Sequence::create(kite::ScaleTo::create(0.1f, peakScale), kite::ScaleTo::create(0.05f, 1.0f)));
}

kite::MenuItemImage* addButton(kite::Node* parent, const std::string& file, const kite::Vec2& position, int z,
                               const std::function<void()>& onTap) {
    kite::MenuItemImage* item = kite::MenuItemImage::create(file, file, [onTap](kite::Ref*) { onTap(); });
    if (item) addInMenu(parent, item, position, z);
    return item;
}

kite::MenuItemToggle* addToggle(kite::Node* parent, const std::string& first, const std::string& second,
                                const kite::Vec2& position, int z, const std::function<void(unsigned)>& onTap) {
    kite::MenuItemImage* one = kite::MenuItemImage::create(first, first);
    kite::MenuItemImage* two = kite::MenuItemImage::create(second, second);
    if (!one || !two) return nullptr;
    kite::MenuItemToggle* toggle = kite::MenuItemToggle::createWithCallback(
        [onTap](kite::Ref* sender) { onTap(static_cast<kite::MenuItemToggle*>(sender)->getSelectedIndex()); }, one,
        two);
    if (toggle) addInMenu(parent, toggle, position, z);
    return toggle;
}

}  // namespace dialog
