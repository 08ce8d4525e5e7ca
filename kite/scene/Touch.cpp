#include "kite/scene/Touch.h"

#include "kite/scene/Director.h"

namespace kite {

namespace {
// View coordinates (design units, y down) to GL coordinates (y up).
Vec2 convertToGL(const Vec2& point) { return Director::getInstance()->convertToGL(point); }
}  // namespace

Vec2 Touch::getLocation() const { return convertToGL(point_); }

Vec2 Touch::getPreviousLocation() const { return convertToGL(prevPoint_); }

Vec2 Touch::getStartLocation() const { return convertToGL(startPoint_); }

Vec2 Touch::getDelta() const { return getLocation() - getPreviousLocation(); }

void Touch::setTouchInfo(int id, float x, float y) {
    id_ = id;
    prevPoint_ = point_;
    point_.x = x;
    point_.y = y;
    if (!startPointCaptured_) {
        startPoint_ = point_;
        startPointCaptured_ = true;
        prevPoint_ = point_;
    }
}

}  // namespace kite
