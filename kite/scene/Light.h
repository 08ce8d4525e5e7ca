// Light sources for lit meshes: directional, point, spot and ambient lights placed as nodes of a scene.
#pragma once
#include <vector>

#include "kite/rendering/SceneLight.h"
#include "kite/scene/Node.h"

namespace kite {

class Scene;

// A light lights the meshes of the scene it is in whose light mask shares a bit with its flag. Its colour is the
// node's colour, scaled by its intensity.
class BaseLight : public Node {
public:
    using LightType = SceneLight::Type;

    virtual LightType getLightType() const = 0;

    void setIntensity(float intensity) { intensity_ = intensity; }
    float getIntensity() const { return intensity_; }
    void setLightFlag(unsigned int flag) { lightFlag_ = flag; }
    unsigned int getLightFlag() const { return lightFlag_; }

    // What the mesh light pass reads of this light, in world space.
    virtual SceneLight toSceneLight() const;

    Scene* getRegisteredScene() const { return scene_; }
    void setScene(Scene* scene);
    void onEnter() override;
    void onExit() override;

    ~BaseLight() override;

protected:
    bool initLight(const Color3B& color);

private:
    float intensity_ = 1.0f;
    unsigned int lightFlag_ = 1;
    Scene* scene_ = nullptr;  // not retained
};

// Lights along the node's negative z axis, from infinitely far.
class DirectionLight : public BaseLight {
public:
    static DirectionLight* create(const Vec3& direction, const Color3B& color);

    LightType getLightType() const override { return LightType::DIRECTIONAL; }
    // Turns the node so that its negative z axis points along the direction (in the parent's space).
    void setDirection(const Vec3& direction);
    Vec3 getDirection() const;
    // The negated z axis of the node-to-world transform.
    Vec3 getDirectionInWorld() const;
    SceneLight toSceneLight() const override;

    using Node::init;
    bool init(const Vec3& direction, const Color3B& color);
};

// Lights from the node's position in every direction, fading to nothing at its range.
class PointLight : public BaseLight {
public:
    static PointLight* create(const Vec3& position, const Color3B& color, float range);

    LightType getLightType() const override { return LightType::POINT; }
    void setRange(float range) { range_ = range; }
    float getRange() const { return range_; }
    SceneLight toSceneLight() const override;

    using Node::init;
    bool init(const Vec3& position, const Color3B& color, float range);

private:
    float range_ = 0.0f;
};

// A point light narrowed to a cone along the node's negative z axis: full inside the inner angle, none outside
// the outer one (half-angles, in radians).
class SpotLight : public BaseLight {
public:
    static SpotLight* create(const Vec3& direction, const Vec3& position, const Color3B& color, float innerAngle,
                             float outerAngle, float range);

    LightType getLightType() const override { return LightType::SPOT; }
    void setDirection(const Vec3& direction);
    Vec3 getDirection() const;
    Vec3 getDirectionInWorld() const;
    void setRange(float range) { range_ = range; }
    float getRange() const { return range_; }
    void setInnerAngle(float angle) { innerAngle_ = angle; }
    float getInnerAngle() const { return innerAngle_; }
    void setOuterAngle(float angle) { outerAngle_ = angle; }
    float getOuterAngle() const { return outerAngle_; }
    SceneLight toSceneLight() const override;

    using Node::init;
    bool init(const Vec3& direction, const Vec3& position, const Color3B& color, float innerAngle, float outerAngle,
              float range);

private:
    float range_ = 0.0f;
    float innerAngle_ = 0.0f;
    float outerAngle_ = 0.0f;
};

// Lights every side of every mesh alike.
class AmbientLight : public BaseLight {
public:
    static AmbientLight* create(const Color3B& color);

    LightType getLightType() const override { return LightType::AMBIENT; }

    using Node::init;
    bool init(const Color3B& color) { return initLight(color); }
};

// The lights of the director's running scene, for the mesh light pass.
const std::vector<SceneLight>& lightsOfRunningScene();

}  // namespace kite
