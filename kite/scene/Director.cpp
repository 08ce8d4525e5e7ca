#include "kite/scene/Director.h"

#include <new>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Create.h"
#include "kite/foundation/Scheduler.h"
#include "kite/platform/Application.h"
#include "kite/platform/FrameView.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/GLView.h"
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
    eventDispatcher_ = new (std::nothrow) EventDispatcher();
    // The action manager is scheduled here at Scheduler::PRIORITY_SYSTEM, so that
    // actions run before every other per-frame update. The four director events and
    // the texture cache are created here too, in that order.
    initMatrixStacks();
    // The renderer and the console follow.
    return true;
}

Director::~Director() {
    releaseAndClear(runningScene_);
    releaseAndClear(scheduler_);
    releaseAndClear(eventDispatcher_);
    if (sharedDirector == this) sharedDirector = nullptr;
}

void Director::setFrameView(FrameView* view) {
    if (view == frameView_) return;
    assignRetained(frameView_, view);
    glView_ = dynamic_cast<GLView*>(view);
    if (glView_) {
        winSizeInPoints_ = glView_->getDesignResolutionSize();
        if (eventDispatcher_) eventDispatcher_->setEnabled(true);
    }
    // The projection, the statistics labels and the window size in points are set
    // from the view here once the GL view and the projection exist.
}

void Director::setGLView(GLView* view) { setFrameView(view); }

void Director::onGLViewDesignResolutionChanged() {
    if (glView_) winSizeInPoints_ = glView_->getDesignResolutionSize();
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
    if (frameView_) frameView_->pollEvents();

    if (!paused_ && scheduler_) {
        scheduler_->update(deltaTime_);
        // "director_after_update" is dispatched here once the event dispatcher exists.
    }

    // The renderer is cleared here.
    if (nextScene_) setNextScene();
    // The model-view matrix stack is pushed here.

    if (runningScene_) {
        // The renderer's drawn-batches and drawn-vertices counters are zeroed here.
        runningScene_->render(renderer_);
        // "director_after_visit" is dispatched here.
    }
    // The statistics are drawn here when displayStats_ is set, then the renderer
    // draws its queues and "director_after_draw" is dispatched; the model-view
    // matrix stack is popped.

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

void Director::reset() {
    if (scheduler_) scheduler_->unscheduleAll();
    // The foreground, background and renderer-recreated listeners stay.
    if (eventDispatcher_) eventDispatcher_->removeAllEventListeners();
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
        glView_ = nullptr;
        view->end();  // the view releases itself there
    }
    release();
}

void Director::restartDirector() {
    reset();
    // A new texture cache is created and the action manager scheduled again here.
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
