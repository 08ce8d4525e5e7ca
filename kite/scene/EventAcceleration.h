// An accelerometer sample and the event that carries a copy of it.
#pragma once
#include "kite/scene/Event.h"

namespace kite {

class Acceleration : public Ref {
public:
    Acceleration() = default;
    Acceleration(const Acceleration& other) : Ref(), x(other.x), y(other.y), z(other.z), timestamp(other.timestamp) {}
    Acceleration& operator=(const Acceleration& other) {
        x = other.x;
        y = other.y;
        z = other.z;
        timestamp = other.timestamp;
        return *this;
    }

    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    double timestamp = 0.0;
};

class EventAcceleration : public Event {
public:
    explicit EventAcceleration(const Acceleration& acc) : Event(Type::ACCELERATION), acc_(acc) {}

    // The copy held by the event; listeners get a pointer to it.
    Acceleration* getAcceleration() { return &acc_; }

private:
    Acceleration acc_;
};

}  // namespace kite
