#include "kite/scene/EventListenerKeyboard.h"

#include "kite/foundation/Create.h"

namespace kite {

const EventListener::ListenerID EventListenerKeyboard::LISTENER_ID = "__kt_keyboard";

EventListenerKeyboard* EventListenerKeyboard::create() { return createAutoreleased<EventListenerKeyboard>(); }

bool EventListenerKeyboard::init() {
    auto listener = [this](Event* event) {
        auto* keyboardEvent = static_cast<EventKeyboard*>(event);
        const KeyCallback& callback = keyboardEvent->isPressed() ? onKeyPressed : onKeyReleased;
        if (callback) callback(keyboardEvent->getKeyCode(), event);
    };
    return EventListener::init(Type::KEYBOARD, LISTENER_ID, listener);
}

bool EventListenerKeyboard::checkAvailable() { return onKeyPressed || onKeyReleased; }

EventListenerKeyboard* EventListenerKeyboard::clone() {
    EventListenerKeyboard* copy = create();
    if (!copy) return nullptr;
    copy->onKeyPressed = onKeyPressed;
    copy->onKeyReleased = onKeyReleased;
    return copy;
}

}  // namespace kite
