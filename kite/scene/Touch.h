// One finger's contact: its slot id and its start, current and previous points in view coordinates.
#pragma once
#include "kite/foundation/Ref.h"
#include "kite/foundation/math/Vec2.h"

namespace kite {

class Touch : public Ref {
public:
    Touch() = default;

    // The current point converted to GL coordinates (y up) by the director.
    Vec2 getLocation() const;
    Vec2 getPreviousLocation() const;
    Vec2 getStartLocation() const;
    // Design units with y pointing down, as the GL view stored them.
    Vec2 getLocationInView() const { return point_; }
    Vec2 getPreviousLocationInView() const { return prevPoint_; }
    Vec2 getStartLocationInView() const { return startPoint_; }
    Vec2 getDelta() const;

    // Stores the slot id and the new point; the first call also captures the start point.
    void setTouchInfo(int id, float x, float y);
    int getId() const { return id_; }

private:
    int id_ = 0;
    bool startPointCaptured_ = false;
    Vec2 startPoint_;
    Vec2 point_;
    Vec2 prevPoint_;
};

}  // namespace kite
