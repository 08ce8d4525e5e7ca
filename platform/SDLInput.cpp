#include "platform/SDLInput.h"

#include <SDL2/SDL.h>

namespace platform {

namespace {

Key keyOf(SDL_Keycode code) {
    switch (code) {
        case SDLK_AC_BACK: return Key::BACK;
        case SDLK_MENU: return Key::MENU;
        case SDLK_RETURN:
        case SDLK_KP_ENTER: return Key::ENTER;
        case SDLK_ESCAPE: return Key::ESCAPE;
        case SDLK_SPACE: return Key::SPACE;
        case SDLK_BACKSPACE: return Key::BACKSPACE;
        case SDLK_LEFT: return Key::LEFT;
        case SDLK_RIGHT: return Key::RIGHT;
        case SDLK_UP: return Key::UP;
        case SDLK_DOWN: return Key::DOWN;
        default: return Key::UNKNOWN;
    }
}

// Fingers come in as fractions of the window: scaled to the window's pixels.
InputEvent fingerEvent(const SDL_TouchFingerEvent& finger, InputEvent::Type type) {
    int width = 0, height = 0;
    if (SDL_Window* window = SDL_GetWindowFromID(finger.windowID)) SDL_GetWindowSize(window, &width, &height);
    return InputEvent::touch(type, static_cast<std::intptr_t>(finger.fingerId), finger.x * static_cast<float>(width),
                             finger.y * static_cast<float>(height), finger.windowID);
}

std::optional<InputEvent> windowEvent(const SDL_WindowEvent& window) {
    using Type = InputEvent::Type;
    switch (window.event) {
        case SDL_WINDOWEVENT_MINIMIZED: return InputEvent::of(Type::BACKGROUND, window.windowID);
        case SDL_WINDOWEVENT_RESTORED: return InputEvent::of(Type::FOREGROUND, window.windowID);
        case SDL_WINDOWEVENT_CLOSE: return InputEvent::of(Type::CLOSE, window.windowID);
        case SDL_WINDOWEVENT_FOCUS_LOST: return InputEvent::of(Type::FOCUS_LOST, window.windowID);
        case SDL_WINDOWEVENT_SIZE_CHANGED: {
            InputEvent e = InputEvent::of(Type::WINDOW_RESIZED, window.windowID);
            e.width = window.data1;
            e.height = window.data2;
            return e;
        }
        default: return std::nullopt;
    }
}

}  // namespace

std::optional<InputEvent> translateSDLEvent(const SDL_Event& event) {
    using Type = InputEvent::Type;
    switch (event.type) {
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            if (event.button.button != SDL_BUTTON_LEFT) return std::nullopt;
            const Type type = event.type == SDL_MOUSEBUTTONDOWN ? Type::TOUCH_BEGAN : Type::TOUCH_ENDED;
            return InputEvent::touch(type, InputEvent::MOUSE_TOUCH_ID, static_cast<float>(event.button.x),
                                     static_cast<float>(event.button.y), event.button.windowID);
        }
        case SDL_MOUSEMOTION:
            if ((event.motion.state & SDL_BUTTON_LMASK) == 0) return std::nullopt;
            return InputEvent::touch(Type::TOUCH_MOVED, InputEvent::MOUSE_TOUCH_ID, static_cast<float>(event.motion.x),
                                     static_cast<float>(event.motion.y), event.motion.windowID);
        case SDL_FINGERDOWN: return fingerEvent(event.tfinger, Type::TOUCH_BEGAN);
        case SDL_FINGERMOTION: return fingerEvent(event.tfinger, Type::TOUCH_MOVED);
        case SDL_FINGERUP: return fingerEvent(event.tfinger, Type::TOUCH_ENDED);
        case SDL_TEXTINPUT: {
            InputEvent e = InputEvent::of(Type::TEXT_INPUT, event.text.windowID);
            e.text = event.text.text;
            return e;
        }
        case SDL_TEXTEDITING: {
            InputEvent e = InputEvent::of(Type::TEXT_EDITING, event.edit.windowID);
            e.text = event.edit.text;
            e.cursor = event.edit.start;
            return e;
        }
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            InputEvent e =
                InputEvent::of(event.type == SDL_KEYDOWN ? Type::KEY_DOWN : Type::KEY_UP, event.key.windowID);
            e.key = keyOf(event.key.keysym.sym);
            return e;
        }
        case SDL_WINDOWEVENT: return windowEvent(event.window);
        case SDL_QUIT: return InputEvent::of(Type::CLOSE);
        default: return std::nullopt;
    }
}

}  // namespace platform
