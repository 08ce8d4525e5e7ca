// Listener identifier texts of the focus, controller and mouse listeners.
#pragma once
#include <string>

namespace kite {

// Made at start-up; the event dispatcher maps event types to listeners with them.
extern const std::string LISTENER_ID_FOCUS;       // "__kt_focus_event"
extern const std::string LISTENER_ID_CONTROLLER;  // "__kt_controller"
extern const std::string LISTENER_ID_MOUSE;       // "__kt_mouse"

}  // namespace kite
