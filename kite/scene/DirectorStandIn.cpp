#include "kite/scene/DirectorStandIn.h"

#include "kite/scene/Scene.h"

namespace kite {

namespace {
Director* instance = nullptr;
}

Director* Director::getInstance() {
    if (!instance) instance = new Director();
    return instance;
}

void Director::destroyInstance() {
    delete instance;
    instance = nullptr;
}

Director::Director() : scheduler_(new Scheduler()) {
    for (auto& s : stacks_) s.push_back(Mat4::IDENTITY);
}

Director::~Director() { scheduler_->release(); }

std::deque<Mat4>* Director::stack(int type) { return type >= 0 && type <= 2 ? &stacks_[type] : nullptr; }

void Director::pushMatrix(int type) {
    if (auto* s = stack(type)) s->push_back(s->back());
}
void Director::popMatrix(int type) {
    if (auto* s = stack(type)) s->pop_back();
}
void Director::loadMatrix(int type, const Mat4& matrix) {
    if (auto* s = stack(type)) s->back() = matrix;
}
void Director::loadIdentityMatrix(int type) { loadMatrix(type, Mat4::IDENTITY); }
const Mat4& Director::getMatrix(int type) const {
    if (type == 1 || type == 2) return stacks_[type].back();
    return stacks_[0].back();
}

void Director::setProjection(Projection projection) {
    const float w = winSize_.width, h = winSize_.height;
    if (projection == Projection::_3D) {
        const float zeye = getZEye();
        Mat4 perspective, lookAt;
        Mat4::createPerspective(60.0f, w / h, 10.0f, zeye + h / 2.0f, &perspective);
        Mat4::createLookAt(Vec3(w / 2.0f, h / 2.0f, zeye), Vec3(w / 2.0f, h / 2.0f, 0.0f), Vec3(0.0f, 1.0f, 0.0f),
                           &lookAt);
        loadMatrix(1, perspective * lookAt);
        loadIdentityMatrix(0);
    } else if (projection == Projection::_2D) {
        Mat4 ortho;
        Mat4::createOrthographicOffCenter(0.0f, w, 0.0f, h, -1024.0f, 1024.0f, &ortho);
        loadMatrix(1, ortho);
        loadIdentityMatrix(0);
    }
    projection_ = projection;
    Scene::onDirectorProjectionChanged();
}

}  // namespace kite
