// Turns SDL's events into input events: the one place that reads SDL_Event.
#pragma once
#include <optional>

#include "platform/InputEvent.h"

union SDL_Event;

namespace platform {

// Nothing for an event the engine has no use for (a mouse moving with no button held,
// another button, a window event other than those InputEvent names).
std::optional<InputEvent> translateSDLEvent(const SDL_Event& event);

}  // namespace platform
