#include "kite/scene/Menu.h"

#include <cstdio>
#include <new>

#include "kite/foundation/Create.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventListenerTouch.h"
#include "kite/scene/Touch.h"

namespace kite {

Vector<MenuItem*> Menu::collect(std::initializer_list<MenuItem*> items) {
    Vector<MenuItem*> list;
    for (MenuItem* item : items) {
        if (!item) break;
        list.pushBack(item);
    }
    return list;
}

Menu* Menu::create() { return createWithArray(Vector<MenuItem*>()); }

Menu* Menu::createWithArray(const Vector<MenuItem*>& items) {
    auto* menu = new (std::nothrow) Menu();
    if (menu && menu->initWithArray(items)) {
        menu->autorelease();
        return menu;
    }
    delete menu;
    return nullptr;
}

bool Menu::init() { return initWithArray(Vector<MenuItem*>()); }

bool Menu::initWithArray(const Vector<MenuItem*>& items) {
    if (!Layer::init()) return false;
    enabled = true;
    const Size winSize = director->getWinSize();
    setIgnoreAnchorForPosition(true);
    setAnchorPoint(Vec2(0.5f, 0.5f));
    setContentSize(winSize);
    setPosition(winSize.width / 2, winSize.height / 2);
    int z = 0;
    for (MenuItem* item : items) addChild(item, z++);
    selectedItem = nullptr;
    state = State::WAITING;
    setCascadeColorEnabled(true);
    setCascadeOpacityEnabled(true);

    auto* listener = EventListenerTouchOneByOne::create();
    listener->setSwallowTouches(true);
    listener->onTouchBegan = [this](Touch* t, Event* e) { return onTouchBegan(t, e); };
    listener->onTouchMoved = [this](Touch* t, Event* e) { onTouchMoved(t, e); };
    listener->onTouchEnded = [this](Touch* t, Event* e) { onTouchEnded(t, e); };
    listener->onTouchCancelled = [this](Touch* t, Event* e) { onTouchCancelled(t, e); };
    if (eventDispatcher) eventDispatcher->addEventListenerWithSceneGraphPriority(listener, this);
    return true;
}

std::string Menu::description() const {
    char text[48];
    std::snprintf(text, sizeof text, "<Menu | Tag = %d>", tag);
    return text;
}

void Menu::removeChild(Node* child, bool cleanup) {
    if (selectedItem && dynamic_cast<MenuItem*>(child) == selectedItem) selectedItem = nullptr;
    Layer::removeChild(child, cleanup);
}

void Menu::removeAllChildrenWithCleanup(bool cleanup) {
    selectedItem = nullptr;
    Layer::removeAllChildrenWithCleanup(cleanup);
}

void Menu::onExit() {
    if (state == State::TRACKING_TOUCH) {
        if (selectedItem) selectedItem->unselected();
        selectedItem = nullptr;
        state = State::WAITING;
    }
    Layer::onExit();
}

bool Menu::onTouchBegan(Touch* touch, Event*) {
    if (state != State::WAITING || !visible || !enabled) return false;
    for (const Node* ancestor = parent; ancestor; ancestor = ancestor->getParent()) {
        if (!ancestor->isVisible()) return false;
    }
    selectedItem = getItemForTouch(touch);
    if (!selectedItem) return false;
    state = State::TRACKING_TOUCH;
    selectedItem->selected();
    return true;
}

void Menu::onTouchMoved(Touch* touch, Event*) {
    MenuItem* item = getItemForTouch(touch);
    if (item == selectedItem) return;
    if (selectedItem) selectedItem->unselected();
    selectedItem = item;
    if (selectedItem) selectedItem->selected();
}

void Menu::onTouchEnded(Touch*, Event*) {
    // The callback may remove the item or the whole menu.
    RefPtr<Menu> keepMenu(this);
    if (selectedItem) {
        RefPtr<MenuItem> keepItem(selectedItem);
        keepItem->unselected();
        keepItem->activate();
    }
    state = State::WAITING;
}

void Menu::onTouchCancelled(Touch*, Event*) {
    RefPtr<Menu> keepMenu(this);
    if (selectedItem) selectedItem->unselected();
    state = State::WAITING;
}

MenuItem* Menu::getItemForTouch(Touch* touch) {
    const Vec2 location = touch->getLocation();
    for (std::size_t i = children.size(); i-- > 0;) {
        auto* item = dynamic_cast<MenuItem*>(children.at(i));
        if (!item || !item->isVisible() || !item->isEnabled()) continue;
        const Vec2 local = item->convertToNodeSpace(location);
        Rect r = item->rect();
        r.origin = Vec2(0.0f, 0.0f);
        if (r.containsPoint(local)) return item;
    }
    return nullptr;
}

void Menu::alignItemsHorizontallyWithPadding(float padding) {
    float width = -padding;
    for (Node* child : children) width += child->getContentSize().width * child->getScaleX() + padding;
    float x = -width / 2.0f;
    for (Node* child : children) {
        const float itemWidth = child->getContentSize().width * child->getScaleX();
        child->setPosition(x + itemWidth / 2.0f, 0.0f);
        x += itemWidth + padding;
    }
}

}  // namespace kite
