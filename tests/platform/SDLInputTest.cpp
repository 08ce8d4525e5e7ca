#include "platform/SDLInput.h"

#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include "platform/GLContext.h"

namespace platform {
namespace {

using Type = InputEvent::Type;

SDL_Event mouseButton(Uint32 type, Uint8 button, int x, int y) {
    SDL_Event e{};
    e.type = type;
    e.button.windowID = 3;
    e.button.button = button;
    e.button.x = x;
    e.button.y = y;
    return e;
}

TEST(SDLInput, LeftMouseButtonIsOneTouchInWindowPixels) {
    auto down = translateSDLEvent(mouseButton(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, 12, 34));
    ASSERT_TRUE(down);
    EXPECT_EQ(down->type, Type::TOUCH_BEGAN);
    EXPECT_EQ(down->touchId, InputEvent::MOUSE_TOUCH_ID);
    EXPECT_EQ(down->windowId, 3u);
    EXPECT_FLOAT_EQ(down->x, 12.0f);
    EXPECT_FLOAT_EQ(down->y, 34.0f);
    EXPECT_EQ(translateSDLEvent(mouseButton(SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, 1, 1))->type, Type::TOUCH_ENDED);
    EXPECT_FALSE(translateSDLEvent(mouseButton(SDL_MOUSEBUTTONDOWN, SDL_BUTTON_RIGHT, 1, 1)));

    SDL_Event motion{};
    motion.type = SDL_MOUSEMOTION;
    motion.motion.x = 5;
    EXPECT_FALSE(translateSDLEvent(motion));  // hovering is no touch
    motion.motion.state = SDL_BUTTON_LMASK;
    auto moved = translateSDLEvent(motion);
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->type, Type::TOUCH_MOVED);
    EXPECT_FLOAT_EQ(moved->x, 5.0f);
}

TEST(SDLInput, FingersKeepTheirIdsAndAreScaledToTheirWindow) {
    WindowOptions options;
    options.width = 200;
    options.height = 100;
    options.visible = false;
    auto context = GLContext::create(options);
    ASSERT_NE(context, nullptr);
    SDL_Event e{};
    e.type = SDL_FINGERDOWN;
    e.tfinger.fingerId = 4;
    e.tfinger.windowID = context->windowId();
    e.tfinger.x = 0.5f;
    e.tfinger.y = 0.25f;
    auto finger = translateSDLEvent(e);
    ASSERT_TRUE(finger);
    EXPECT_EQ(finger->type, Type::TOUCH_BEGAN);
    EXPECT_EQ(finger->touchId, 4);
    EXPECT_FLOAT_EQ(finger->x, 100.0f);
    EXPECT_FLOAT_EQ(finger->y, 25.0f);
    e.type = SDL_FINGERUP;
    EXPECT_EQ(translateSDLEvent(e)->type, Type::TOUCH_ENDED);
}

TEST(SDLInput, TextKeysAndWindowEventsBecomeTheirKinds) {
    SDL_Event text{};
    text.type = SDL_TEXTINPUT;
    SDL_strlcpy(text.text.text, "好", sizeof text.text.text);
    auto typed = translateSDLEvent(text);
    ASSERT_TRUE(typed);
    EXPECT_EQ(typed->type, Type::TEXT_INPUT);
    EXPECT_EQ(typed->text, "好");

    SDL_Event edit{};
    edit.type = SDL_TEXTEDITING;
    SDL_strlcpy(edit.edit.text, "ni", sizeof edit.edit.text);
    edit.edit.start = 1;
    auto editing = translateSDLEvent(edit);
    ASSERT_TRUE(editing);
    EXPECT_EQ(editing->type, Type::TEXT_EDITING);
    EXPECT_EQ(editing->cursor, 1);

    SDL_Event key{};
    key.type = SDL_KEYDOWN;
    key.key.keysym.sym = SDLK_BACKSPACE;
    EXPECT_EQ(translateSDLEvent(key)->key, Key::BACKSPACE);
    key.type = SDL_KEYUP;
    key.key.keysym.sym = SDLK_a;
    EXPECT_EQ(translateSDLEvent(key)->type, Type::KEY_UP);
    EXPECT_EQ(translateSDLEvent(key)->key, Key::UNKNOWN);

    SDL_Event window{};
    window.type = SDL_WINDOWEVENT;
    window.window.event = SDL_WINDOWEVENT_SIZE_CHANGED;
    window.window.data1 = 320;
    window.window.data2 = 568;
    auto resized = translateSDLEvent(window);
    ASSERT_TRUE(resized);
    EXPECT_EQ(resized->type, Type::WINDOW_RESIZED);
    EXPECT_EQ(resized->width, 320);
    EXPECT_EQ(resized->height, 568);
    const std::pair<SDL_WindowEventID, Type> kinds[] = {{SDL_WINDOWEVENT_MINIMIZED, Type::BACKGROUND},
                                                        {SDL_WINDOWEVENT_RESTORED, Type::FOREGROUND},
                                                        {SDL_WINDOWEVENT_CLOSE, Type::CLOSE},
                                                        {SDL_WINDOWEVENT_FOCUS_LOST, Type::FOCUS_LOST}};
    for (const auto& [sdl, type] : kinds) {
        window.window.event = sdl;
        EXPECT_EQ(translateSDLEvent(window)->type, type);
    }
    window.window.event = SDL_WINDOWEVENT_MOVED;
    EXPECT_FALSE(translateSDLEvent(window));
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    EXPECT_EQ(translateSDLEvent(quit)->type, Type::CLOSE);
}

}  // namespace
}  // namespace platform
