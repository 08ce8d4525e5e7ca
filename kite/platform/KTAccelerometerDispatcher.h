// Turns accelerometer samples into acceleration events. A desktop has no sensor, so samples arrive only
// when something (a test) hands them in.
#pragma once
#include "kite/scene/EventAcceleration.h"

namespace kite {

class KTAccelerometerDispatcher {
public:
    static KTAccelerometerDispatcher& sharedAccelerometerDispatcher();

    void setAccelerometerEnabled(bool enabled) { enabled_ = enabled; }
    bool isAccelerometerEnabled() const { return enabled_; }
    void setAccelerometerInterval(float interval) { interval_ = interval; }
    float getAccelerometerInterval() const { return interval_; }

    // One sample (in g, seconds), dispatched as an acceleration event while updates are enabled. The
    // window never rotates, so no orientation turns it.
    void accelerometer(double x, double y, double z, double timestamp);

private:
    KTAccelerometerDispatcher() = default;

    Acceleration acceleration_;
    bool enabled_ = false;
    float interval_ = 0.0f;
};

}  // namespace kite
