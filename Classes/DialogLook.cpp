#include "Classes/DialogLook.h"

#include <utility>

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

kite::Vec2 visibleCentre() {
    const kite::Size visible = kite::Director::getInstance()->getVisibleSize();
    return kite::Vec2(visible.width / 2, visible.height / 2);
}

}  // namespace

void swallowTouches(kite::Layer* layer, std::function<bool(kite::Touch*, kite::Event*)> onTouchBegan) {
    auto* listener = kite::EventListenerTouchOneByOne::create();
    listener->setSwallowTouches(true);
    listener->onTouchBegan = std::move(onTouchBegan);
    layer->getEventDispatcher()->addEventListenerWithSceneGraphPriority(listener, layer);
}

void addShade(kite::Layer* layer) {
    kite::Sprite* shade = kite::Sprite::create(kShade);
    if (!shade) return;
    shade->setPosition(visibleCentre());
    shade->setScale(20.0f, 36.0f);
    layer->addChild(shade);
}

kite::Sprite* addPoppingBackground(kite::Layer* layer, const std::string& file) {
    kite::Sprite* background = kite::Sprite::create(file);
    if (!background) return nullptr;
    background->setPosition(visibleCentre());
    background->setScale(0.7f);
    background->runAction(kite::Sequence::create(kite::ScaleTo::create(0.1f, 1.1f), kite::ScaleTo::create(0.05f, 1.0f)));
    layer->addChild(background);
    return background;
}

kite::MenuItemImage* addImageButton(kite::Node* parent, const std::string& file, const kite::Vec2& point,
                                    std::function<void()> action) {
    kite::MenuItemImage* item =
        kite::MenuItemImage::create(file, file, [action = std::move(action)](kite::Ref*) { action(); });
    if (!item) return nullptr;
    kite::Menu* menu = kite::Menu::create(item);
    if (!menu) return nullptr;
    menu->setPosition(point);
    parent->addChild(menu, 1);
    return item;
}

}  // namespace dialog
