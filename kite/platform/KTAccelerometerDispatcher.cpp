#include "kite/platform/KTAccelerometerDispatcher.h"

#include "kite/scene/Director.h"
#include "kite/scene/EventDispatcher.h"

namespace kite {

KTAccelerometerDispatcher& KTAccelerometerDispatcher::sharedAccelerometerDispatcher() {
    static KTAccelerometerDispatcher dispatcher;
    return dispatcher;
}

void KTAccelerometerDispatcher::accelerometer(double x, double y, double z, double timestamp) {
    if (!enabled_) return;
    acceleration_.x = x;
    acceleration_.y = y;
    acceleration_.z = z;
    acceleration_.timestamp = timestamp;
    EventAcceleration event(acceleration_);
    if (EventDispatcher* dispatcher = Director::getInstance()->getEventDispatcher()) dispatcher->dispatchEvent(&event);
}

}  // namespace kite
