// Listens for the custom events of one name.
#pragma once
#include <functional>
#include <string>

#include "kite/scene/EventListener.h"

namespace kite {

class EventCustom;

class EventListenerCustom : public EventListener {
public:
    using CustomCallback = std::function<void(EventCustom*)>;

    // The listener id is the event name.
    static EventListenerCustom* create(const std::string& eventName, const CustomCallback& callback);
    bool init(const ListenerID& listenerId, const CustomCallback& callback);

    bool checkAvailable() override;
    EventListenerCustom* clone() override;

    CustomCallback onCustomEvent;

    EventListenerCustom() = default;  // for the create pattern
};

}  // namespace kite
