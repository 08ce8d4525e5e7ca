#include "kite/scene/EventListener.h"

namespace kite {

bool EventListener::init(Type type, const ListenerID& listenerID, const std::function<void(Event*)>& callback) {
    onEvent_ = callback;
    type_ = type;
    listenerID_ = listenerID;
    isRegistered_ = false;
    paused_ = true;
    isEnabled_ = true;
    return true;
}

bool EventListener::checkAvailable() { return static_cast<bool>(onEvent_); }

}  // namespace kite
