// The root node the director shows: it owns a default camera, draws its tree once per visible camera and keeps
// the lights in it.
#pragma once
#include <vector>

#include "kite/scene/Node.h"

namespace kite {

class BaseLight;
class Camera;
class EventListenerCustom;

class Scene : public Node {
public:
    static Scene* create();

    bool init() override;
    std::string description() const override;

    using Node::addChild;
    void addChild(Node* child, int localZ, int tag) override;
    void addChild(Node* child, int localZ, const std::string& name) override;

    // Draws the tree once per visible camera, the default camera's pass last.
    virtual void render(Renderer* renderer);

    // Cameras in the order they entered the scene (not retained; they are children).
    const std::vector<Camera*>& getCameras() const { return cameras_; }
    Camera* getDefaultCamera() const { return defaultCamera_; }
    // Lights in the order they entered the scene (not retained; they are in the tree).
    const std::vector<BaseLight*>& getLights() const { return lights_; }

    // Public for the create pattern; use create.
    Scene();
    ~Scene() override;

private:
    friend class BaseLight;
    friend class Camera;

    void onProjectionChanged();
    void drawPass(Renderer* renderer, const Camera* camera, const Mat4& transform);

    std::vector<Camera*> cameras_;
    std::vector<BaseLight*> lights_;
    Camera* defaultCamera_ = nullptr;  // a child, not retained
    // Hears "director_projection_changed" for the default camera; retained.
    EventListenerCustom* projectionListener_ = nullptr;
};

}  // namespace kite
