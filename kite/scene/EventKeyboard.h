// A key pressed or released; nothing on this platform produces one yet.
#pragma once
#include "kite/scene/Event.h"

namespace kite {

class EventKeyboard : public Event {
public:
    enum class KeyCode {
        KEY_NONE = 0,
        KEY_BACK,
        KEY_MENU,
        KEY_ENTER,
        KEY_ESCAPE,
        KEY_SPACE,
        KEY_BACKSPACE,
        KEY_LEFT_ARROW,
        KEY_RIGHT_ARROW,
        KEY_UP_ARROW,
        KEY_DOWN_ARROW,
    };

    EventKeyboard(KeyCode keyCode, bool isPressed) : Event(Type::KEYBOARD), keyCode_(keyCode), isPressed_(isPressed) {}

    KeyCode getKeyCode() const { return keyCode_; }
    bool isPressed() const { return isPressed_; }

private:
    KeyCode keyCode_;
    bool isPressed_;
};

}  // namespace kite
