// Scenes and cameras: one pass per visible camera, the camera following the director's projection,
// the director's matrix stacks, projection and point conversion.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Create.h"
#include "kite/scene/Camera.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/GLView.h"
#include "kite/scene/Scene.h"
#include "platform/Clock.h"
#include "support/DirectorShutdown.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace kite {
namespace {

// A view with a design resolution and no window.
class SizedView : public GLView {
public:
    bool init() {
        setFrameSize(480.0f, 720.0f);
        return true;
    }
    bool isOpenGLReady() override { return false; }
    void swapBuffers() override {}
    void setIMEKeyboardState(bool) override {}
    void end() override { release(); }
};

// Notes each draw with the camera that was visiting.
class Mark : public Node {
public:
    static Mark* make(std::vector<std::string>* journal, const std::string& label) {
        Mark* m = createAutoreleased<Mark>();
        m->journal_ = journal;
        m->setName(label);
        return m;
    }
    void draw(Renderer*, const Mat4&, uint32_t) override {
        const Camera* camera = Camera::getVisitingCamera();
        journal_->push_back(getName() + "@" + std::to_string(camera ? camera->getCameraFlag() : 0));
    }

private:
    std::vector<std::string>* journal_ = nullptr;
};

void expectNear(const Mat4& actual, const Mat4& expected, float tolerance = 1e-4f) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(actual.m[i], expected.m[i], tolerance) << "element " << i;
}

Vec3 toNdc(const Mat4& m, const Vec3& p) {
    const Vec4 c = m * Vec4(p.x, p.y, p.z, 1.0f);
    return Vec3(c.x / c.w, c.y / c.w, c.z / c.w);
}

class SceneTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::Clock::setFixed(100.0);
        director = Director::getInstance();
        director->setProjection(Director::Projection::_3D);
        view = createAutoreleased<SizedView>();
        view->setDesignResolutionSize(480, 720, ResolutionPolicy::EXACT_FIT);
        director->setGLView(view);
    }
    void TearDown() override {
        test::shutDownDirector();
        platform::Clock::useRealTime();
    }
    Scene* enteredScene() {
        Scene* scene = Scene::create();
        scene->onEnter();
        scene->onEnterTransitionFinished();
        entered.push_back(scene);
        return scene;
    }
    void exitScenes() {
        for (Scene* scene : entered) scene->onExit();
        entered.clear();
    }

    Director* director = nullptr;
    SizedView* view = nullptr;
    std::vector<Scene*> entered;
    std::vector<std::string> journal;
};

TEST_F(SceneTest, WindowSizeComesFromTheViewsDesignResolution) {
    EXPECT_EQ(director->getWinSize(), Size(480, 720));
    EXPECT_EQ(director->getVisibleSize(), Size(480, 720));
    EXPECT_NEAR(director->getZEye(), 622.514f, 1e-3f);
    Scene* scene = Scene::create();
    EXPECT_EQ(scene->getContentSize(), Size(480, 720));
    scene->setTag(3);
    EXPECT_EQ(scene->description(), "<Scene | tag = 3>");
}

TEST_F(SceneTest, VisibleAreaIsTheViewsOneUnderEveryPolicy) {
    // A pad frame under a phone design cut at top and bottom: the game must keep its UI inside.
    view->setFrameSize(1536.0f, 2048.0f);
    view->setDesignResolutionSize(480, 720, ResolutionPolicy::NO_BORDER);
    EXPECT_EQ(director->getWinSize(), Size(480, 720));
    EXPECT_NEAR(director->getVisibleSize().width, 480.0f, 1e-3f);
    EXPECT_NEAR(director->getVisibleSize().height, 640.0f, 1e-3f);
    EXPECT_NEAR(director->getVisibleOrigin().x, 0.0f, 1e-3f);
    EXPECT_NEAR(director->getVisibleOrigin().y, 40.0f, 1e-3f);
    view->setDesignResolutionSize(480, 720, ResolutionPolicy::SHOW_ALL);
    EXPECT_EQ(director->getVisibleSize(), Size(480, 720));
    EXPECT_EQ(director->getVisibleOrigin(), Vec2::ZERO);
}

TEST_F(SceneTest, ThreeDProjectionPutsTheOriginAtTheLowerLeftCorner) {
    const Mat4& projection = director->getMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_PROJECTION);
    // The eye distance h / 1.1566 rounds the exact h / (2 tan 30), so the corner lands within a
    // fraction of a point.
    const Vec3 corner = toNdc(projection, Vec3(0, 0, 0));
    EXPECT_NEAR(corner.x, -1.0f, 2e-3f);
    EXPECT_NEAR(corner.y, -1.0f, 2e-3f);
    const Vec3 far = toNdc(projection, Vec3(240, 360, 622.514f - 982.514f));
    EXPECT_NEAR(far.z, 1.0f, 1e-3f);
    EXPECT_EQ(director->getMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW), Mat4::IDENTITY);
}

TEST_F(SceneTest, TwoDProjectionSpansTheWindowAndDepth) {
    director->setProjection(Director::Projection::_2D);
    const Mat4& projection = director->getMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_PROJECTION);
    const Vec3 low = toNdc(projection, Vec3(0, 0, 1024));
    const Vec3 high = toNdc(projection, Vec3(480, 720, -1024));
    EXPECT_NEAR(low.x, -1, 1e-5f);
    EXPECT_NEAR(low.y, -1, 1e-5f);
    EXPECT_NEAR(high.x, 1, 1e-5f);
    EXPECT_NEAR(high.y, 1, 1e-5f);
    EXPECT_NEAR(std::fabs(low.z), 1, 1e-5f);
    EXPECT_NEAR(std::fabs(high.z), 1, 1e-5f);
}

TEST_F(SceneTest, CustomProjectionLeavesTheStacksAlone) {
    Mat4 marker;
    marker.m[12] = 5;
    director->loadMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_PROJECTION, marker);
    director->setProjection(Director::Projection::CUSTOM);
    EXPECT_EQ(director->getMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_PROJECTION), marker);
    EXPECT_EQ(director->getProjection(), Director::Projection::CUSTOM);
}

TEST_F(SceneTest, ViewPointsConvertToGlCoordinatesUnderEitherProjection) {
    for (auto projection : {Director::Projection::_3D, Director::Projection::_2D}) {
        director->setProjection(projection);
        // Within a point under 3D (the rounded eye distance), exact under 2D.
        const float tolerance = projection == Director::Projection::_3D ? 1.0f : 1e-2f;
        const Vec2 top = director->convertToGL(Vec2(0, 0));
        const Vec2 bottom = director->convertToGL(Vec2(0, 720));
        const Vec2 middle = director->convertToGL(Vec2(120, 180));
        EXPECT_NEAR(top.x, 0, tolerance);
        EXPECT_NEAR(top.y, 720, tolerance);
        EXPECT_NEAR(bottom.x, 0, tolerance);
        EXPECT_NEAR(bottom.y, 0, tolerance);
        EXPECT_NEAR(middle.x, 120, tolerance);
        EXPECT_NEAR(middle.y, 540, tolerance);
    }
}

TEST_F(SceneTest, MatrixStacksPushPopAndIgnoreUnknownTypes) {
    Mat4 m;
    m.m[0] = 2;
    director->pushMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_TEXTURE);
    director->loadMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_TEXTURE, m);
    EXPECT_EQ(director->getMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_TEXTURE), m);
    director->popMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_TEXTURE);
    EXPECT_EQ(director->getMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_TEXTURE), Mat4::IDENTITY);
    director->loadMatrix(static_cast<MATRIX_STACK_TYPE>(7), m);
    EXPECT_EQ(director->getMatrix(static_cast<MATRIX_STACK_TYPE>(7)),
              director->getMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW));
    EXPECT_EQ(director->getMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW), Mat4::IDENTITY);
    // An unpaired pop keeps the bottom matrix.
    director->popMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW);
    director->popMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW);
    EXPECT_EQ(director->getMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW), Mat4::IDENTITY);
}

TEST_F(SceneTest, DefaultCameraMatchesTheDirectorsProjection) {
    Scene* scene = enteredScene();
    Camera* camera = scene->getDefaultCamera();
    ASSERT_NE(camera, nullptr);
    expectNear(camera->getViewProjectionMatrix(), director->getMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_PROJECTION),
               1e-3f);
    exitScenes();
}

TEST_F(SceneTest, ProjectionChangeReinitialisesTheDefaultCamera) {
    Scene* scene = enteredScene();
    Camera* camera = scene->getDefaultCamera();
    director->setProjection(Director::Projection::_2D);
    expectNear(camera->getViewProjectionMatrix(), director->getMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_PROJECTION),
               1e-5f);
    EXPECT_EQ(camera->getPosition3D(), Vec3::ZERO);
    director->setProjection(Director::Projection::_3D);
    expectNear(camera->getViewProjectionMatrix(), director->getMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_PROJECTION),
               1e-3f);
    EXPECT_NEAR(camera->getPositionZ(), director->getZEye(), 1e-3f);
    exitScenes();
}

TEST_F(SceneTest, DefaultCameraFollowsTheProjectionEventAndAGoneSceneStopsListening) {
    Scene* scene = enteredScene();
    Camera* camera = scene->getDefaultCamera();
    camera->setPosition3D(Vec3(1, 2, 3));
    director->getEventDispatcher()->dispatchCustomEvent(Director::EVENT_PROJECTION_CHANGED, director);
    EXPECT_NEAR(camera->getPositionZ(), director->getZEye(), 1e-3f);
    exitScenes();

    Scene::create();
    PoolManager::getInstance()->getCurrentPool()->clear();  // the new scene is destroyed
    director->setProjection(Director::Projection::_2D);     // reaches no destroyed scene
    EXPECT_EQ(director->getProjection(), Director::Projection::_2D);
}

TEST_F(SceneTest, SceneDrawsOncePerVisibleCameraDefaultLast) {
    Scene* scene = enteredScene();
    Camera* extra = Camera::create();
    extra->setCameraFlag(2);
    scene->addChild(extra);
    Mark* both = Mark::make(&journal, "both");
    both->setCameraMask(3);
    scene->addChild(both);
    scene->addChild(Mark::make(&journal, "first"));
    scene->render(nullptr);
    EXPECT_THAT(journal, ElementsAre("both@2", "both@1", "first@1"));
    EXPECT_EQ(Camera::getVisitingCamera(), nullptr);

    journal.clear();
    scene->getDefaultCamera()->setVisible(false);
    scene->render(nullptr);
    EXPECT_THAT(journal, ElementsAre("both@2"));
    extra->setVisible(false);
    journal.clear();
    scene->render(nullptr);
    EXPECT_THAT(journal, IsEmpty());
    exitScenes();
}

TEST_F(SceneTest, SceneThatHasNotEnteredDrawsNothing) {
    Scene* scene = Scene::create();
    scene->addChild(Mark::make(&journal, "node"));
    EXPECT_TRUE(scene->getCameras().empty());
    scene->render(nullptr);
    EXPECT_THAT(journal, IsEmpty());
}

TEST_F(SceneTest, CameraPassLoadsItsViewProjection) {
    Scene* scene = enteredScene();
    Mat4 seen;
    struct Peek : Node {
        Mat4* out = nullptr;
        void draw(Renderer*, const Mat4&, uint32_t) override {
            *out = Director::getInstance()->getMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_PROJECTION);
        }
    };
    auto* peek = createAutoreleased<Peek>();
    peek->out = &seen;
    scene->addChild(peek);
    scene->render(nullptr);
    EXPECT_EQ(seen, scene->getDefaultCamera()->getViewProjectionMatrix());
    // The stack is restored after the pass.
    expectNear(director->getMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_PROJECTION), seen, 1e-3f);
    exitScenes();
}

TEST_F(SceneTest, CameraIsListedOnceAcrossExitAndEnter) {
    Scene* scene = enteredScene();
    Camera* camera = scene->getDefaultCamera();
    camera->setScene(scene);
    EXPECT_EQ(scene->getCameras().size(), 1u);
    scene->onExit();
    EXPECT_TRUE(scene->getCameras().empty());
    EXPECT_EQ(camera->getRegisteredScene(), nullptr);
    scene->onEnter();
    EXPECT_THAT(scene->getCameras(), ElementsAre(camera));
    exitScenes();
}

TEST_F(SceneTest, ViewMatrixIsTheInverseOfTheCamerasWorldPlacement) {
    Scene* scene = enteredScene();
    Camera* camera = scene->getDefaultCamera();
    const Mat4 first = camera->getViewMatrix();
    expectNear(first * camera->getNodeToWorldTransform(), Mat4::IDENTITY, 1e-4f);
    camera->setPosition(10, 20);
    expectNear(camera->getViewMatrix() * camera->getNodeToWorldTransform(), Mat4::IDENTITY, 1e-4f);
    EXPECT_NE(camera->getViewMatrix(), first);
    // A point straight ahead of the camera lies at its distance in front of it.
    Mat4 ahead;
    ahead.m[12] = 10;
    ahead.m[13] = 20;
    EXPECT_NEAR(camera->getDepthInView(ahead), director->getZEye(), 1e-2f);
    exitScenes();
}

TEST_F(SceneTest, DirectorFrameVisitsTheRunningScene) {
    Scene* scene = Scene::create();
    scene->addChild(Mark::make(&journal, "node"));
    director->runWithScene(scene);
    director->mainLoop();
    EXPECT_THAT(journal, ElementsAre("node@1"));
    EXPECT_EQ(director->getMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW), Mat4::IDENTITY);
}

TEST_F(SceneTest, ShutdownInsideTheMainLoopTearsTheTreeDown) {
    Scene* scene = Scene::create();
    Node* layer = Node::create();
    RefPtr<Mark> mark(Mark::make(&journal, "node"));
    bool exited = false;
    mark->setOnExitCallback([&exited] { exited = true; });
    layer->addChild(mark.get());
    scene->addChild(layer);
    director->runWithScene(scene);
    director->mainLoop();
    EXPECT_EQ(journal.size(), 1u);
    director->end();
    director->mainLoop();
    // The tree left the stage and let go of its nodes; the purging pass drew nothing.
    EXPECT_TRUE(exited);
    EXPECT_FALSE(mark->isRunning());
    EXPECT_EQ(mark->getParent(), nullptr);  // the layer is gone and let its child go
    EXPECT_EQ(journal.size(), 1u);
    PoolManager::getInstance()->getCurrentPool()->clear();
    EXPECT_EQ(mark->getReferenceCount(), 1u);
    // A new director serves what follows.
    EXPECT_NE(Director::getInstance(), nullptr);
    EXPECT_EQ(Director::getInstance()->getRunningScene(), nullptr);
}

}  // namespace
}  // namespace kite
