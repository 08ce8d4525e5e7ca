// One input event of the window, as the engine sees it: no SDL type reaches past platform/.
#pragma once
#include <cstdint>
#include <string>

namespace platform {

// The keys the engine reacts to; every other key is UNKNOWN.
enum class Key { UNKNOWN, BACK, MENU, ENTER, ESCAPE, SPACE, BACKSPACE, LEFT, RIGHT, UP, DOWN };

struct InputEvent {
    enum class Type {
        TOUCH_BEGAN,
        TOUCH_MOVED,
        TOUCH_ENDED,
        TOUCH_CANCELLED,
        TEXT_INPUT,    // committed text
        TEXT_EDITING,  // text being composed, with the cursor in it
        KEY_DOWN,
        KEY_UP,
        WINDOW_RESIZED,  // width and height are the window's new size
        FOCUS_LOST,
        CLOSE,       // the window's close button, or a quit request
        BACKGROUND,  // the window was minimised
        FOREGROUND,  // and restored
    };

    // The mouse's touch: outside the non-negative ids touchscreens give their fingers,
    // so a finger never moves or ends the mouse's touch.
    static constexpr std::intptr_t MOUSE_TOUCH_ID = -1;

    Type type = Type::TOUCH_BEGAN;
    std::uint32_t windowId = 0;  // 0: whatever window has the input
    std::intptr_t touchId = 0;
    float x = 0.0f;  // touches: window pixels from the top left
    float y = 0.0f;
    std::string text;  // text input and editing, UTF-8
    int cursor = 0;    // editing: the cursor's character offset in text
    Key key = Key::UNKNOWN;
    int width = 0;  // window resized
    int height = 0;

    static InputEvent touch(Type type, std::intptr_t id, float x, float y, std::uint32_t windowId = 0) {
        InputEvent e;
        e.type = type;
        e.touchId = id;
        e.x = x;
        e.y = y;
        e.windowId = windowId;
        return e;
    }
    static InputEvent of(Type type, std::uint32_t windowId = 0) {
        InputEvent e;
        e.type = type;
        e.windowId = windowId;
        return e;
    }
};

}  // namespace platform
