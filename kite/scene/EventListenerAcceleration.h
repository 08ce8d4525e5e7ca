// Listens for accelerometer samples.
#pragma once
#include <functional>

#include "kite/scene/EventAcceleration.h"
#include "kite/scene/EventListener.h"

namespace kite {

class EventListenerAcceleration : public EventListener {
public:
    static const ListenerID LISTENER_ID;  // "__kt_acceleration"

    using AccelerationCallback = std::function<void(Acceleration*, Event*)>;

    static EventListenerAcceleration* create(const AccelerationCallback& callback);
    bool init(const AccelerationCallback& callback);

    // Always true, even without a callback.
    bool checkAvailable() override;
    EventListenerAcceleration* clone() override;

    AccelerationCallback onAccelerationEvent;

    EventListenerAcceleration() = default;  // for the create pattern
};

}  // namespace kite
