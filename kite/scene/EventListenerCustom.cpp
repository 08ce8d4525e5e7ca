#include "kite/scene/EventListenerCustom.h"

#include "kite/foundation/Create.h"
#include "kite/scene/EventCustom.h"

namespace kite {

EventListenerCustom* EventListenerCustom::create(const std::string& eventName, const CustomCallback& callback) {
    return createAutoreleased<EventListenerCustom>(eventName, callback);
}

bool EventListenerCustom::init(const ListenerID& listenerId, const CustomCallback& callback) {
    onCustomEvent_ = callback;
    auto listener = [this](Event* event) {
        if (onCustomEvent_) onCustomEvent_(static_cast<EventCustom*>(event));
    };
    return EventListener::init(Type::CUSTOM, listenerId, listener);
}

bool EventListenerCustom::checkAvailable() { return EventListener::checkAvailable() && onCustomEvent_; }

EventListenerCustom* EventListenerCustom::clone() { return create(listenerID_, onCustomEvent_); }

}  // namespace kite
