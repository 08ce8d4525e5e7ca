#include "kite/scene/Camera.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "kite/foundation/Create.h"
#include "kite/scene/Director.h"
#include "kite/scene/Scene.h"

namespace kite {

const Camera* Camera::visitingCamera = nullptr;

Camera* Camera::create() {
    Camera* camera = new (std::nothrow) Camera();
    if (!camera) return nullptr;
    camera->initDefault();
    camera->autorelease();
    return camera;
}

Camera::~Camera() {
    if (visitingCamera == this) visitingCamera = nullptr;
    // A camera destroyed while registered must not stay in its scene's list.
    setScene(nullptr);
}

bool Camera::initDefault() {
    const Size& size = director->getWinSize();
    const float w = size.width, h = size.height;
    // Without a window size there is no projection to follow yet.
    if (w <= 0.0f || h <= 0.0f) return true;
    switch (director->getProjection()) {
        case Director::Projection::_3D: {
            const float zeye = director->getZEye();
            fieldOfView_ = 60.0f;
            aspectRatio_ = w / h;
            nearPlane_ = 10.0f;
            farPlane_ = zeye + h / 2.0f;
            Mat4::createPerspective(fieldOfView_, aspectRatio_, nearPlane_, farPlane_, &projection_);
            viewProjectionDirty_ = frustumDirty_ = true;
            setPosition3D(Vec3(w / 2.0f, h / 2.0f, zeye));
            lookAt(Vec3(w / 2.0f, h / 2.0f, 0.0f), Vec3(0.0f, 1.0f, 0.0f));
            break;
        }
        case Director::Projection::_2D:
            zoomX_ = w;
            zoomY_ = h;
            nearPlane_ = -1024.0f;
            farPlane_ = 1024.0f;
            Mat4::createOrthographicOffCenter(0.0f, w, 0.0f, h, nearPlane_, farPlane_, &projection_);
            viewProjectionDirty_ = frustumDirty_ = true;
            setPosition3D(Vec3::ZERO);
            setRotation3D(Vec3::ZERO);
            break;
        default: break;
    }
    return true;
}

void Camera::lookAt(const Vec3& target, const Vec3& up) {
    Vec3 u = up;
    u.normalize();
    Vec3 z = getPosition3D() - target;
    z.normalize();
    Vec3 x;
    Vec3::cross(u, z, &x);
    x.normalize();
    Vec3 y;
    Vec3::cross(z, x, &y);
    y.normalize();

    Mat4 rotation;
    rotation.m[0] = x.x;
    rotation.m[1] = x.y;
    rotation.m[2] = x.z;
    rotation.m[4] = y.x;
    rotation.m[5] = y.y;
    rotation.m[6] = y.z;
    rotation.m[8] = z.x;
    rotation.m[9] = z.y;
    rotation.m[10] = z.z;
    Quaternion q;
    Quaternion::createFromRotationMatrix(rotation, &q);

    const float angleX = std::atan2(2.0f * (q.w * q.x + q.y * q.z), 1.0f - 2.0f * (q.x * q.x + q.y * q.y));
    const float angleY = std::asin(clampf(2.0f * (q.w * q.y - q.z * q.x), -1.0f, 1.0f));
    const float angleZ = std::atan2(2.0f * (q.w * q.z + q.x * q.y), 1.0f - 2.0f * (q.y * q.y + q.z * q.z));
    setRotation3D(Vec3(angleX * kRadiansToDegrees, angleY * kRadiansToDegrees, -angleZ * kRadiansToDegrees));
}

const Mat4& Camera::getViewMatrix() const {
    const Mat4 world = getNodeToWorldTransform();
    if (std::memcmp(world.m, viewInverse_.m, sizeof world.m) != 0) {
        viewProjectionDirty_ = frustumDirty_ = true;
        viewInverse_ = world;
        view_ = world.getInversed();
    }
    return view_;
}

const Mat4& Camera::getViewProjectionMatrix() const {
    getViewMatrix();
    if (viewProjectionDirty_) {
        viewProjectionDirty_ = false;
        viewProjection_ = projection_ * view_;
    }
    return viewProjection_;
}

float Camera::getDepthInView(const Mat4& t) const {
    const Mat4 v = getNodeToWorldTransform().getInversed();
    return -(v.m[2] * t.m[12] + v.m[6] * t.m[13] + v.m[10] * t.m[14] + v.m[14]);
}

void Camera::setScene(Scene* scene) {
    if (scene_ == scene) return;
    if (scene_) {
        auto& list = scene_->cameras_;
        auto it = std::find(list.begin(), list.end(), this);
        if (it != list.end()) list.erase(it);
        scene_ = nullptr;
    }
    if (scene) {
        scene_ = scene;
        auto& list = scene->cameras_;
        if (std::find(list.begin(), list.end(), this) == list.end()) list.push_back(this);
    }
}

void Camera::onEnter() {
    if (!scene_) {
        if (Scene* scene = getScene()) setScene(scene);
    }
    Node::onEnter();
}

void Camera::onExit() {
    setScene(nullptr);
    Node::onExit();
}

}  // namespace kite
