#include "kite/scene/EventListenerCustom.h"

#include "kite/foundation/Create.h"
#include "kite/scene/EventCustom.h"

namespace kite {

EventListenerCustom* EventListenerCustom::create(const std::string& eventName, const CustomCallback& callback) {
    return createAutoreleased<EventListenerCustom>(eventName, callback);
}

bool EventListenerCustom::init(const ListenerID& listenerId, const CustomCallback& callback) {
    onCustomEvent = callback;
    auto listener = [this](Event* event) {
        if (onCustomEvent) onCustomEvent(static_cast<EventCustom*>(event));
    };
    return EventListener::init(Type::CUSTOM, listenerId, listener);
}

bool EventListenerCustom::checkAvailable() { return EventListener::checkAvailable() && onCustomEvent; }

EventListenerCustom* EventListenerCustom::clone() { return create(listenerID_, onCustomEvent); }

}  // namespace kite
