// Listens for keys pressed and released.
#pragma once
#include <functional>

#include "kite/scene/EventKeyboard.h"
#include "kite/scene/EventListener.h"

namespace kite {

class EventListenerKeyboard : public EventListener {
public:
    static const ListenerID LISTENER_ID;  // "__kt_keyboard"

    using KeyCallback = std::function<void(EventKeyboard::KeyCode, Event*)>;

    static EventListenerKeyboard* create();
    bool init();

    bool checkAvailable() override;
    EventListenerKeyboard* clone() override;

    KeyCallback onKeyPressed;
    KeyCallback onKeyReleased;

    EventListenerKeyboard() = default;  // for the create pattern
};

}  // namespace kite
