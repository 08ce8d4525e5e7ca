#include "kite/scene/Scene.h"

#include <cstdio>

#include "kite/foundation/Create.h"
#include "kite/rendering/Renderer.h"
#include "kite/scene/Camera.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventListenerCustom.h"
#include "kite/scene/Light.h"

namespace kite {

Scene* Scene::create() { return createAutoreleased<Scene>(); }

Scene::Scene() {
    ignoreAnchorPointForPosition = true;
    setAnchorPoint(Vec2(0.5f, 0.5f));
    defaultCamera_ = Camera::create();
    if (defaultCamera_) Node::addChild(defaultCamera_);
    if (eventDispatcher) {
        projectionListener_ = EventListenerCustom::create(Director::EVENT_PROJECTION_CHANGED,
                                                          [this](EventCustom*) { onProjectionChanged(); });
        if (projectionListener_) {
            projectionListener_->retain();
            eventDispatcher->addEventListenerWithFixedPriority(projectionListener_, 1);
        }
    }
}

Scene::~Scene() {
    if (projectionListener_) {
        if (eventDispatcher) eventDispatcher->removeEventListener(projectionListener_);
        releaseAndClear(projectionListener_);
    }
    // Children may outlive the scene (something else holds them): unhook the cameras and lights.
    for (Camera* camera : std::vector<Camera*>(cameras_)) camera->setScene(nullptr);
    for (BaseLight* light : std::vector<BaseLight*>(lights_)) light->setScene(nullptr);
}

bool Scene::init() {
    setContentSize(director->getWinSize());
    return true;
}

std::string Scene::description() const {
    char text[64];
    std::snprintf(text, sizeof text, "<Scene | tag = %d>", tag);
    return text;
}

void Scene::addChild(Node* child, int localZ, int t) { Node::addChild(child, localZ, t); }

void Scene::addChild(Node* child, int localZ, const std::string& n) { Node::addChild(child, localZ, n); }

void Scene::onProjectionChanged() {
    if (defaultCamera_) defaultCamera_->initDefault();
}

void Scene::render(Renderer* renderer) {
    const Mat4 transform = getNodeToParentTransform();
    const Camera* defaultCamera = nullptr;
    // A pass may change the camera list (a node entering or leaving); walk a copy.
    for (Camera* camera : std::vector<Camera*>(cameras_)) {
        if (!camera->isVisible()) continue;
        Camera::setVisitingCamera(camera);
        if (camera->getCameraFlag() == Camera::DEFAULT_FLAG) {
            defaultCamera = camera;
            continue;
        }
        drawPass(renderer, camera, transform);
    }
    if (defaultCamera) {
        Camera::setVisitingCamera(defaultCamera);
        drawPass(renderer, defaultCamera, transform);
    }
    Camera::setVisitingCamera(nullptr);
}

void Scene::drawPass(Renderer* renderer, const Camera* camera, const Mat4& transform) {
    director->pushMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_PROJECTION);
    director->loadMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_PROJECTION, camera->getViewProjectionMatrix());
    visit(renderer, transform, 0);
    // Each pass is drawn at once, under its own projection.
    if (renderer) renderer->render();
    director->popMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_PROJECTION);
}

}  // namespace kite
