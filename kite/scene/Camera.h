// A scene's camera: a node whose world placement gives the view and whose projection follows the director's.
#pragma once
#include <cstdint>

#include "kite/scene/Node.h"

namespace kite {

class Scene;

class Camera : public Node {
public:
    // The flag of a scene's default camera.
    static constexpr unsigned short DEFAULT_FLAG = 1;

    static Camera* create();

    // The camera whose pass is being drawn; null outside a scene's render.
    static const Camera* getVisitingCamera() { return visitingCamera; }
    static void setVisitingCamera(const Camera* camera) { visitingCamera = camera; }

    // Takes the projection from the director's projection mode and the window size.
    bool initDefault();

    const Mat4& getProjectionMatrix() const { return projection_; }
    // Recomputed only when the camera's world transform changed.
    const Mat4& getViewMatrix() const;
    const Mat4& getViewProjectionMatrix() const;
    // Distance in front of the camera of a transform's translation.
    float getDepthInView(const Mat4& transform) const;
    virtual void lookAt(const Vec3& target, const Vec3& up);

    unsigned short getCameraFlag() const { return cameraFlag_; }
    void setCameraFlag(unsigned short flag) { cameraFlag_ = flag; }

    Scene* getRegisteredScene() const { return scene_; }
    void setScene(Scene* scene);

    float getFieldOfView() const { return fieldOfView_; }
    float getNearPlane() const { return nearPlane_; }
    float getFarPlane() const { return farPlane_; }

    void onEnter() override;
    void onExit() override;
    bool init() override { return true; }

    // Public for the create pattern; use create.
    Camera() = default;
    ~Camera() override;

private:
    static const Camera* visitingCamera;

    Scene* scene_ = nullptr;  // not retained
    Mat4 projection_;
    mutable Mat4 view_;
    mutable Mat4 viewInverse_;
    mutable Mat4 viewProjection_;
    float fieldOfView_ = 0.0f;
    float zoomX_ = 0.0f;
    float zoomY_ = 0.0f;
    float aspectRatio_ = 0.0f;
    float nearPlane_ = 0.0f;
    float farPlane_ = 0.0f;
    mutable bool viewProjectionDirty_ = true;
    unsigned short cameraFlag_ = DEFAULT_FLAG;
    // The frustum is never computed here; only its dirty mark is kept in step.
    mutable bool frustumDirty_ = true;
};

}  // namespace kite
