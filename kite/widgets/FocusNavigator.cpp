#include "kite/widgets/FocusNavigator.h"

#include "kite/foundation/Create.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventListenerKeyboard.h"
#include "kite/widgets/Widget.h"

namespace kite {
namespace ui {

namespace {

bool directionOf(EventKeyboard::KeyCode key, Widget::FocusDirection& direction) {
    switch (key) {
        case EventKeyboard::KeyCode::KEY_LEFT_ARROW: direction = Widget::FocusDirection::LEFT; return true;
        case EventKeyboard::KeyCode::KEY_RIGHT_ARROW: direction = Widget::FocusDirection::RIGHT; return true;
        case EventKeyboard::KeyCode::KEY_UP_ARROW: direction = Widget::FocusDirection::UP; return true;
        case EventKeyboard::KeyCode::KEY_DOWN_ARROW: direction = Widget::FocusDirection::DOWN; return true;
        default: return false;
    }
}

}  // namespace

FocusNavigator::~FocusNavigator() { enableFocusNavigation(false); }

void FocusNavigator::enableFocusNavigation(bool enable) {
    if (enable == isFocusNavigationEnabled()) return;
    if (!enable) {
        if (dispatcher_) dispatcher_->removeEventListener(keyboardListener_);
        dispatcher_.reset();
        releaseAndClear(keyboardListener_);
        return;
    }
    EventDispatcher* dispatcher = Director::getInstance()->getEventDispatcher();
    EventListenerKeyboard* listener = EventListenerKeyboard::create();
    if (!dispatcher || !listener) return;
    listener->onKeyPressed = [this](EventKeyboard::KeyCode key, Event*) { onKeyPressed(key); };
    keyboardListener_ = listener;
    keyboardListener_->retain();
    dispatcher_ = dispatcher;
    dispatcher->addEventListenerWithFixedPriority(listener, 1);
}

void FocusNavigator::onKeyPressed(EventKeyboard::KeyCode key) {
    Widget::FocusDirection direction;
    if (!firstFocusedWidget_ || !directionOf(key, direction)) return;
    Widget* current = firstFocusedWidget_;
    Widget* next = current->findNextFocusedWidget(direction, current);
    // A focus handler may have ended navigation, and this navigator with it.
    if (Widget::getFocusNavigator() == this) firstFocusedWidget_ = next;
}

}  // namespace ui
}  // namespace kite
