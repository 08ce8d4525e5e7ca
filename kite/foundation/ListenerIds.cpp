// Listener identifier texts.
#include "kite/foundation/ListenerIds.h"

namespace kite {

const std::string LISTENER_ID_FOCUS = "__kt_focus_event";
const std::string LISTENER_ID_CONTROLLER = "__kt_controller";
const std::string LISTENER_ID_MOUSE = "__kt_mouse";

}  // namespace kite
