#include "kite/scene/Light.h"

#include <algorithm>
#include <cmath>

#include "kite/foundation/Create.h"
#include "kite/foundation/math/Quaternion.h"
#include "kite/scene/Director.h"
#include "kite/scene/Scene.h"

namespace kite {

namespace {

// The negated z axis of a transform: where a light turned by it shines.
Vec3 negatedZAxis(const Mat4& transform) { return Vec3(-transform.m[8], -transform.m[9], -transform.m[10]); }

// The turn that takes the negative z axis onto the direction.
Quaternion turnTowards(Vec3 direction) {
    direction.normalize();
    const Vec3 forward(0.0f, 0.0f, -1.0f);
    const float cosine = std::clamp(forward.dot(direction), -1.0f, 1.0f);
    Vec3 axis;
    Vec3::cross(forward, direction, &axis);
    if (axis.lengthSquared() < 1e-12f) {
        // Along the axis already, or straight against it: half a turn about y.
        return cosine > 0.0f ? Quaternion::identity() : Quaternion(Vec3(0.0f, 1.0f, 0.0f), static_cast<float>(M_PI));
    }
    axis.normalize();
    return Quaternion(axis, std::acos(cosine));
}

Vec3 worldPosition(const Node& node) {
    const Mat4 world = node.getNodeToWorldTransform();
    return Vec3(world.m[12], world.m[13], world.m[14]);
}

}  // namespace

// ---- every light

BaseLight::~BaseLight() { setScene(nullptr); }

bool BaseLight::initLight(const Color3B& color) {
    setColor(color);
    return true;
}

SceneLight BaseLight::toSceneLight() const {
    SceneLight light;
    light.type = getLightType();
    light.flag = lightFlag_;
    const Color3B& color = getDisplayedColor();
    light.color = Vec3(color.r / 255.0f, color.g / 255.0f, color.b / 255.0f) * intensity_;
    return light;
}

void BaseLight::setScene(Scene* scene) {
    if (scene_ == scene) return;
    if (scene_) {
        auto& list = scene_->lights_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    scene_ = scene;
    if (scene_) scene_->lights_.push_back(this);
}

void BaseLight::onEnter() {
    if (!scene_) setScene(getScene());
    Node::onEnter();
}

void BaseLight::onExit() {
    setScene(nullptr);
    Node::onExit();
}

const std::vector<SceneLight>& lightsOfRunningScene() {
    // Kept between frames so that its storage is reused.
    static std::vector<SceneLight> lights;
    lights.clear();
    Scene* scene = Director::getInstance()->getRunningScene();
    if (scene) {
        for (const BaseLight* light : scene->getLights()) lights.push_back(light->toSceneLight());
    }
    return lights;
}

// ---- directional

DirectionLight* DirectionLight::create(const Vec3& direction, const Color3B& color) {
    return createAutoreleased<DirectionLight>(direction, color);
}

bool DirectionLight::init(const Vec3& direction, const Color3B& color) {
    setDirection(direction);
    return initLight(color);
}

void DirectionLight::setDirection(const Vec3& direction) { setRotationQuat(turnTowards(direction)); }

Vec3 DirectionLight::getDirection() const { return negatedZAxis(getNodeToParentTransform()); }

Vec3 DirectionLight::getDirectionInWorld() const { return negatedZAxis(getNodeToWorldTransform()); }

SceneLight DirectionLight::toSceneLight() const {
    SceneLight light = BaseLight::toSceneLight();
    light.direction = getDirectionInWorld();
    return light;
}

// ---- point

PointLight* PointLight::create(const Vec3& position, const Color3B& color, float range) {
    return createAutoreleased<PointLight>(position, color, range);
}

bool PointLight::init(const Vec3& position, const Color3B& color, float range) {
    setPosition3D(position);
    range_ = range;
    return initLight(color);
}

SceneLight PointLight::toSceneLight() const {
    SceneLight light = BaseLight::toSceneLight();
    light.position = worldPosition(*this);
    light.range = range_;
    return light;
}

// ---- spot

SpotLight* SpotLight::create(const Vec3& direction, const Vec3& position, const Color3B& color, float innerAngle,
                             float outerAngle, float range) {
    return createAutoreleased<SpotLight>(direction, position, color, innerAngle, outerAngle, range);
}

bool SpotLight::init(const Vec3& direction, const Vec3& position, const Color3B& color, float innerAngle,
                     float outerAngle, float range) {
    setDirection(direction);
    setPosition3D(position);
    innerAngle_ = innerAngle;
    outerAngle_ = outerAngle;
    range_ = range;
    return initLight(color);
}

void SpotLight::setDirection(const Vec3& direction) { setRotationQuat(turnTowards(direction)); }

Vec3 SpotLight::getDirection() const { return negatedZAxis(getNodeToParentTransform()); }

Vec3 SpotLight::getDirectionInWorld() const { return negatedZAxis(getNodeToWorldTransform()); }

SceneLight SpotLight::toSceneLight() const {
    SceneLight light = BaseLight::toSceneLight();
    light.position = worldPosition(*this);
    light.direction = getDirectionInWorld();
    light.range = range_;
    light.innerAngleCos = std::cos(innerAngle_);
    light.outerAngleCos = std::cos(outerAngle_);
    return light;
}

// ---- ambient

AmbientLight* AmbientLight::create(const Color3B& color) { return createAutoreleased<AmbientLight>(color); }

}  // namespace kite
