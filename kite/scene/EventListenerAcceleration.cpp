#include "kite/scene/EventListenerAcceleration.h"

#include "kite/foundation/Create.h"

namespace kite {

const EventListener::ListenerID EventListenerAcceleration::LISTENER_ID = "__kt_acceleration";

EventListenerAcceleration* EventListenerAcceleration::create(const AccelerationCallback& callback) {
    return createAutoreleased<EventListenerAcceleration>(callback);
}

bool EventListenerAcceleration::init(const AccelerationCallback& callback) {
    auto listener = [this](Event* event) {
        auto* accelerationEvent = static_cast<EventAcceleration*>(event);
        if (onAccelerationEvent) onAccelerationEvent(accelerationEvent->getAcceleration(), event);
    };
    if (!EventListener::init(Type::ACCELERATION, LISTENER_ID, listener)) return false;
    onAccelerationEvent = callback;
    return true;
}

bool EventListenerAcceleration::checkAvailable() { return true; }

EventListenerAcceleration* EventListenerAcceleration::clone() { return create(onAccelerationEvent); }

}  // namespace kite
