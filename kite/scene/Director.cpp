#include "kite/scene/Director.h"

#include <new>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Create.h"
#include "kite/foundation/Scheduler.h"
#include "kite/platform/Application.h"
#include "kite/platform/FrameView.h"
#include "kite/scene/ActionManager.h"
#include "platform/Clock.h"

// Collaborators that join the frame as they are built, each at its place below:
// configuration, action manager, event dispatcher and the director's events,
// texture cache, matrix stacks and projection, renderer, statistics display,
// console, and the shared caches destroyed by reset.

namespace kite {

namespace {
Director* sharedDirector = nullptr;
}

Director* Director::getInstance() {
    if (!sharedDirector) {
        auto* director = new (std::nothrow) DisplayLinkDirector();
        if (!director) return nullptr;
        sharedDirector = director;
        director->init();
    }
    return sharedDirector;
}

bool Director::init() {
    // Configuration ("kite.fps", "kite.display_fps", "kite.gl.projection", the PNG
    // pixel format, PVR premultiplication) joins here; its defaults apply meanwhile.
    animationInterval_ = oldAnimationInterval_ = 1.0 / 60;
    displayStats_ = false;
    projection_ = Projection::_3D;

    runningScene_ = nullptr;
    nextScene_ = nullptr;
    scenesStack_.reserve(15);
    totalFrames_ = 0;
    lastUpdate_ = platform::Clock::now();
    paused_ = false;
    purgeDirector_ = restartDirector_ = false;
    frameView_ = nullptr;
    contentScaleFactor_ = 1.0f;

    scheduler_ = new (std::nothrow) Scheduler();
    // Actions run before every other per-frame update.
    actionManager_ = new (std::nothrow) ActionManager();
    scheduleActionManager();
    // The event dispatcher, the four director events and the texture cache are
    // created here too, in that order.
    initMatrixStacks();
    // The renderer and the console follow.
    return true;
}

Director::~Director() {
    releaseAndClear(runningScene_);
    if (scheduler_ && actionManager_) scheduler_->unscheduleUpdate(actionManager_);
    releaseAndClear(scheduler_);
    releaseAndClear(actionManager_);
    if (sharedDirector == this) sharedDirector = nullptr;
}

void Director::setFrameView(FrameView* view) {
    if (view == frameView_) return;
    assignRetained(frameView_, view);
    // The statistics labels and the GL defaults join here with the GL view.
    applyViewDesignResolution();
}

void Director::applyViewDesignResolution() {
    if (!frameView_) return;
    winSizeInPoints_ = Size(frameView_->getDesignWidth(), frameView_->getDesignHeight());
    setProjection(projection_);
}

Size Director::getVisibleSize() const {
    return frameView_ ? Size(frameView_->getDesignWidth(), frameView_->getDesignHeight()) : Size::ZERO;
}

void Director::setProjection(Projection projection) {
    const float w = winSizeInPoints_.width;
    const float h = winSizeInPoints_.height;
    // The viewport is set here too once the GL view exists. A view without a size yet has no
    // projection to give: the matrices wait for its size.
    const bool sized = w > 0.0f && h > 0.0f;
    if (sized && projection == Projection::_3D) {
        const float zeye = getZEye();
        Mat4 perspective;
        Mat4 lookAt;
        Mat4::createPerspective(60.0f, w / h, 10.0f, zeye + h / 2.0f, &perspective);
        Mat4::createLookAt(Vec3(w / 2.0f, h / 2.0f, zeye), Vec3(w / 2.0f, h / 2.0f, 0.0f), Vec3(0.0f, 1.0f, 0.0f),
                           &lookAt);
        loadIdentityMatrix(MATRIX_STACK_PROJECTION);
        multiplyMatrix(MATRIX_STACK_PROJECTION, perspective);
        multiplyMatrix(MATRIX_STACK_PROJECTION, lookAt);
        loadIdentityMatrix(MATRIX_STACK_MODELVIEW);
    } else if (sized && projection == Projection::_2D) {
        Mat4 orthographic;
        Mat4::createOrthographicOffCenter(0.0f, w, 0.0f, h, -1024.0f, 1024.0f, &orthographic);
        loadIdentityMatrix(MATRIX_STACK_PROJECTION);
        multiplyMatrix(MATRIX_STACK_PROJECTION, orthographic);
        loadIdentityMatrix(MATRIX_STACK_MODELVIEW);
    }
    projection_ = projection;
    // "director_projection_changed" is dispatched here once the event dispatcher exists; until
    // then the scenes are told directly.
    Scene::onDirectorProjectionChanged();
}

void computeClipTransform(Mat4* out) {
    if (!out) return;
    const Director* director = Director::getInstance();
    Mat4::multiply(director->getMatrix(MATRIX_STACK_PROJECTION), director->getMatrix(MATRIX_STACK_MODELVIEW), out);
}

Vec2 Director::convertToGL(const Vec2& point) const {
    Mat4 clip;
    Mat4::multiply(getMatrix(MATRIX_STACK_PROJECTION), getMatrix(MATRIX_STACK_MODELVIEW), &clip);
    const Mat4 inverse = clip.getInversed();
    const float zClip = clip.m[14] / clip.m[15];
    const Size design = frameView_ ? Size(frameView_->getDesignWidth(), frameView_->getDesignHeight()) : winSizeInPoints_;
    const Vec4 clipPoint(2.0f * point.x / design.width - 1.0f, 1.0f - 2.0f * point.y / design.height, zClip, 1.0f);
    const Vec4 g = inverse * clipPoint;
    return Vec2(g.x / g.w, g.y / g.w);
}

void Director::runWithScene(Scene* scene) {
    if (!scene) return;
    sendCleanupToScene_ = false;
    scenesStack_.pushBack(scene);
    nextScene_ = scene;
    startAnimation();
}

void Director::replaceScene(Scene* scene) {
    if (!scene) return;
    if (!runningScene_) {
        runWithScene(scene);
        return;
    }
    if (scene == nextScene_) return;
    if (nextScene_) {
        if (nextScene_->isRunning()) nextScene_->onExit();
        nextScene_->cleanup();
        nextScene_ = nullptr;
    }
    sendCleanupToScene_ = true;
    if (scenesStack_.empty())
        scenesStack_.pushBack(scene);
    else
        scenesStack_.replace(scenesStack_.size() - 1, scene);
    nextScene_ = scene;
}

void Director::pause() {
    if (paused_) return;
    oldAnimationInterval_ = animationInterval_;
    setAnimationInterval(1 / 4.0);
    paused_ = true;
}

void Director::resume() {
    if (!paused_) return;
    setAnimationInterval(oldAnimationInterval_);
    paused_ = false;
    deltaTime_ = 0.0f;
    nextDeltaTimeZero_ = true;
}

void Director::computeDeltaTime() {
    const double now = platform::Clock::now();
    if (nextDeltaTimeZero_) {
        nextDeltaTimeZero_ = false;
        deltaTime_ = 0.0f;
    } else {
        deltaTime_ = static_cast<float>(now - lastUpdate_);
        // A clock that steps back gives an empty frame, never a negative one.
        if (!(deltaTime_ > 0.0f)) deltaTime_ = 0.0f;
    }
    lastUpdate_ = now;
}

void Director::drawScene() {
    computeDeltaTime();
    if (frameView_) {
        frameView_->pollEvents();
        // The view's design resolution may have changed since the last frame.
        if (winSizeInPoints_ != Size(frameView_->getDesignWidth(), frameView_->getDesignHeight()))
            applyViewDesignResolution();
    }

    if (!paused_ && scheduler_) {
        scheduler_->update(deltaTime_);
        // "director_after_update" is dispatched here once the event dispatcher exists.
    }

    // The renderer is cleared here.
    if (nextScene_) setNextScene();
    pushMatrix(MATRIX_STACK_MODELVIEW);

    if (runningScene_) {
        // The renderer's drawn-batches and drawn-vertices counters are zeroed here.
        runningScene_->render(renderer_);
        // "director_after_visit" is dispatched here.
    }
    // The statistics are drawn here when displayStats_ is set, then the renderer
    // draws its queues and "director_after_draw" is dispatched.
    popMatrix(MATRIX_STACK_MODELVIEW);

    ++totalFrames_;
    if (frameView_) frameView_->swapBuffers();
    // Seconds per frame for the statistics display are computed here.
}

void Director::setNextScene() {
    // No transition scenes exist, so the outgoing scene always exits and the
    // incoming one always enters.
    if (runningScene_) {
        runningScene_->onExitTransitionStarted();
        runningScene_->onExit();
        if (sendCleanupToScene_) runningScene_->cleanup();
    }
    releaseAndClear(runningScene_);
    runningScene_ = nextScene_;
    nextScene_ = nullptr;
    runningScene_->retain();
    runningScene_->onEnter();
    runningScene_->onEnterTransitionFinished();
}

void Director::scheduleActionManager() {
    if (scheduler_ && actionManager_) scheduler_->scheduleUpdate(actionManager_, Scheduler::PRIORITY_SYSTEM, false);
}

void Director::setActionManager(ActionManager* manager) {
    if (manager == actionManager_) return;
    if (scheduler_ && actionManager_) scheduler_->unscheduleUpdate(actionManager_);
    assignRetained(actionManager_, manager);
}

void Director::reset() {
    if (scheduler_) scheduler_->unscheduleAll();
    // The event dispatcher's listeners are removed here (the foreground, background
    // and renderer-recreated ones stay).
    if (runningScene_) {
        runningScene_->onExit();
        runningScene_->cleanup();
        releaseAndClear(runningScene_);
    }
    nextScene_ = nullptr;
    scenesStack_.clear();
    stopAnimation();
    // Here the statistics labels are released, then the shared caches and services
    // are destroyed in order (bitmap-font configurations, TrueType library, primitive
    // program, animation cache, sprite-frame cache, program cache, program-state
    // cache, file utilities, task pool, preferences store), the GL state cache is
    // invalidated and the texture cache with its loading thread is destroyed.
}

void Director::purgeDirector() {
    reset();
    if (frameView_) {
        FrameView* view = frameView_;
        frameView_ = nullptr;
        view->end();  // the view releases itself there
    }
    release();
}

void Director::restartDirector() {
    reset();
    // A new texture cache is created here.
    scheduleActionManager();
    PoolManager::getInstance()->getCurrentPool()->clear();
    // A script engine would be told of the restart here; none is ever installed.
}

// ---- matrix stacks ---------------------------------------------------------------------------

void Director::initMatrixStacks() {
    for (auto* stack : {&modelViewMatrixStack_, &projectionMatrixStack_, &textureMatrixStack_}) {
        stack->clear();
        stack->push_back(Mat4::IDENTITY);
    }
}

std::deque<Mat4>* Director::matrixStack(int type) {
    switch (type) {
        case MATRIX_STACK_MODELVIEW: return &modelViewMatrixStack_;
        case MATRIX_STACK_PROJECTION: return &projectionMatrixStack_;
        case MATRIX_STACK_TEXTURE: return &textureMatrixStack_;
        default: return nullptr;
    }
}

void Director::pushMatrix(int type) {
    if (auto* stack = matrixStack(type)) stack->push_back(stack->back());
}

void Director::popMatrix(int type) {
    // The bottom identity stays, so an unpaired pop cannot empty a stack.
    auto* stack = matrixStack(type);
    if (stack && stack->size() > 1) stack->pop_back();
}

void Director::loadIdentityMatrix(int type) {
    if (auto* stack = matrixStack(type)) stack->back() = Mat4::IDENTITY;
}

void Director::loadMatrix(int type, const Mat4& matrix) {
    if (auto* stack = matrixStack(type)) stack->back() = matrix;
}

void Director::multiplyMatrix(int type, const Mat4& matrix) {
    if (auto* stack = matrixStack(type)) stack->back() *= matrix;
}

const Mat4& Director::getMatrix(int type) const {
    if (type == MATRIX_STACK_PROJECTION) return projectionMatrixStack_.back();
    if (type == MATRIX_STACK_TEXTURE) return textureMatrixStack_.back();
    return modelViewMatrixStack_.back();
}

void DisplayLinkDirector::setAnimationInterval(double seconds) {
    animationInterval_ = seconds;
    if (!invalid_) {
        stopAnimation();
        startAnimation();
    }
}

void DisplayLinkDirector::stopAnimation() { invalid_ = true; }

void DisplayLinkDirector::startAnimation() {
    lastUpdate_ = platform::Clock::now();
    invalid_ = false;
    if (Application* application = Application::getInstance())
        application->setAnimationInterval(animationInterval_);
    nextDeltaTimeZero_ = true;
}

void DisplayLinkDirector::mainLoop() {
    if (purgeDirector_) {
        purgeDirector_ = false;
        purgeDirector();  // this director is gone afterwards
    } else if (restartDirector_) {
        restartDirector_ = false;
        restartDirector();
    } else if (!invalid_) {
        drawScene();
        PoolManager::getInstance()->getCurrentPool()->clear();
    }
}

}  // namespace kite
