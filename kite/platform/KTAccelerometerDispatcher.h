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

    // The interface orientations, numbered as the status bar reports them.
    enum InterfaceOrientation {
        PORTRAIT = 1,
        PORTRAIT_UPSIDE_DOWN = 2,
        LANDSCAPE_RIGHT = 3,
        LANDSCAPE_LEFT = 4,
    };
    // The orientation samples are turned to; the game's window stands upright (portrait).
    void setInterfaceOrientation(int orientation) { orientation_ = orientation; }
    int getInterfaceOrientation() const { return orientation_; }

    // One sample (in g, seconds), turned from the device's axes to the interface's and dispatched as
    // an acceleration event while updates are enabled. An orientation outside the four is logged
    // ("unknow orientation") and the sample goes out unturned.
    void accelerometer(double x, double y, double z, double timestamp);

private:
    KTAccelerometerDispatcher() = default;

    Acceleration acceleration_;
    bool enabled_ = false;
    float interval_ = 0.0f;
    int orientation_ = PORTRAIT;
};

}  // namespace kite
