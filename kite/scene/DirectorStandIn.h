// The few director services nodes use, until the real director joins this branch.
#pragma once
#include <deque>

#include "kite/foundation/Scheduler.h"
#include "kite/foundation/math/MathTypes.h"

namespace kite {

class Renderer;

class Director {
public:
    enum class Projection { _2D = 0, _3D = 1, CUSTOM = 2 };

    static Director* getInstance();
    static void destroyInstance();

    Scheduler* getScheduler() const { return scheduler_; }
    Renderer* getRenderer() const { return nullptr; }

    void pushMatrix(int type);
    void popMatrix(int type);
    void loadMatrix(int type, const Mat4& matrix);
    void loadIdentityMatrix(int type);
    const Mat4& getMatrix(int type) const;

    const Size& getWinSize() const { return winSize_; }
    void setWinSize(const Size& size) { winSize_ = size; }
    float getZEye() const { return winSize_.height / 1.1566f; }
    Projection getProjection() const { return projection_; }
    void setProjection(Projection projection);

private:
    Director();
    ~Director();
    std::deque<Mat4>* stack(int type);

    Scheduler* scheduler_ = nullptr;
    std::deque<Mat4> stacks_[3];
    Size winSize_;
    Projection projection_ = Projection::_3D;
};

}  // namespace kite
