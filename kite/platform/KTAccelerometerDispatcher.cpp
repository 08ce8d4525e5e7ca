#include "kite/platform/KTAccelerometerDispatcher.h"

#include "kite/foundation/Log.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventDispatcher.h"

namespace kite {

KTAccelerometerDispatcher& KTAccelerometerDispatcher::sharedAccelerometerDispatcher() {
    static KTAccelerometerDispatcher dispatcher;
    return dispatcher;
}

void KTAccelerometerDispatcher::accelerometer(double x, double y, double z, double timestamp) {
    if (!enabled_) return;
    acceleration_.z = z;
    acceleration_.timestamp = timestamp;
    // The device's axes seen from the interface: turned a quarter each way, or half round.
    switch (orientation_) {
        case PORTRAIT:
            acceleration_.x = x;
            acceleration_.y = y;
            break;
        case PORTRAIT_UPSIDE_DOWN:
            acceleration_.x = -x;
            acceleration_.y = -y;
            break;
        case LANDSCAPE_RIGHT:
            acceleration_.x = -y;
            acceleration_.y = x;
            break;
        case LANDSCAPE_LEFT:
            acceleration_.x = y;
            acceleration_.y = -x;
            break;
        default:
            log("unknow orientation");
            acceleration_.x = x;
            acceleration_.y = y;
            break;
    }
    EventAcceleration event(acceleration_);
    if (EventDispatcher* dispatcher = Director::getInstance()->getEventDispatcher()) dispatcher->dispatchEvent(&event);
}

}  // namespace kite
