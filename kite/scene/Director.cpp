#include "kite/scene/Director.h"

#include <new>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Console.h"
#include "kite/foundation/Create.h"
#include "kite/foundation/FileUtils.h"
#include "kite/foundation/FrameCosts.h"
#include "kite/foundation/Log.h"
#include "kite/foundation/Scheduler.h"
#include "kite/foundation/TaskThreadPool.h"
#include "kite/foundation/UserDefault.h"
#include "kite/foundation/Value.h"
#include "kite/platform/Application.h"
#include "kite/rendering/Configuration.h"
#include "kite/rendering/DirectorFrameServices.h"
#include "kite/rendering/GLProgramCache.h"
#include "kite/rendering/GLProgramState.h"
#include "kite/rendering/GLStateCache.h"
#include "kite/rendering/Image.h"
#include "kite/rendering/Renderer.h"
#include "kite/rendering/Texture2D.h"
#include "kite/rendering/TextureCache.h"
#include "kite/scene/ActionManager.h"
#include "kite/scene/Animation.h"
#include "kite/scene/Camera.h"
#include "kite/scene/ConsoleCommands.h"
#include "kite/scene/DrawPrimitives.h"
#include "kite/scene/EventCustom.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/FontFNT.h"
#include "kite/scene/FontFreeType.h"
#include "kite/scene/GLView.h"
#include "kite/scene/Light.h"
#include "kite/scene/SpriteFrameCache.h"
#include "platform/Clock.h"

namespace kite {

namespace {
Director* sharedDirector = nullptr;
}

const char* const Director::EVENT_PROJECTION_CHANGED = "director_projection_changed";
const char* const Director::EVENT_AFTER_DRAW = "director_after_draw";
const char* const Director::EVENT_AFTER_VISIT = "director_after_visit";
const char* const Director::EVENT_AFTER_UPDATE = "director_after_update";

Director* Director::getInstance() {
    if (!sharedDirector) {
        auto* director = new (std::nothrow) DisplayLinkDirector();
        if (!director) return nullptr;
        sharedDirector = director;
        director->init();
    }
    return sharedDirector;
}

void Director::setDefaultValues() {
    Configuration* conf = Configuration::getInstance();
    double fps = conf ? conf->getValue("kite.fps", Value(60)).asDouble() : 60.0;
    // A frame rate of 0 (or less) would make the interval infinite or negative.
    if (!(fps > 0.0)) {
        kite::log("Director: kite.fps must be positive, using 60");
        fps = 60.0;
    }
    animationInterval_ = oldAnimationInterval_ = 1.0 / fps;
    displayStats_ = conf ? conf->getValue("kite.display_fps", Value(false)).asBool() : false;
    const std::string projection = conf ? conf->getValue("kite.gl.projection", Value("3d")).asString() : "3d";
    if (projection == "3d")
        projection_ = Projection::_3D;
    else if (projection == "2d")
        projection_ = Projection::_2D;
    else if (projection == "custom")
        projection_ = Projection::CUSTOM;
    else
        projection_ = Projection::_3D;
    const std::string pngFormat =
        conf ? conf->getValue("kite.texture.pixel_format_for_png", Value("rgba8888")).asString() : "rgba8888";
    if (pngFormat == "rgba8888")
        Texture2D::setDefaultAlphaPixelFormat(Texture2D::PixelFormat::RGBA8888);
    else if (pngFormat == "rgba4444")
        Texture2D::setDefaultAlphaPixelFormat(Texture2D::PixelFormat::RGBA4444);
    else if (pngFormat == "rgba5551")
        Texture2D::setDefaultAlphaPixelFormat(Texture2D::PixelFormat::RGB5A1);
    Image::setPVRImagesHavePremultipliedAlpha(
        conf ? conf->getValue("kite.texture.pvrv2_has_alpha_premultiplied", Value(false)).asBool() : false);
}

bool Director::init() {
    // The frame-cost recorder is made here, on the main thread, whose steps are the ones it counts:
    // before the texture cache's loading thread (which times its decoding too) can make it.
    FrameCosts::active();
    setDefaultValues();

    runningScene_ = nullptr;
    nextScene_ = nullptr;
    scenesStack_.reserve(15);
    totalFrames_ = 0;
    lastUpdate_ = platform::Clock::now();
    paused_ = false;
    purgeDirector_ = restartDirector_ = false;
    glView_ = nullptr;
    contentScaleFactor_ = 1.0f;

    scheduler_ = new (std::nothrow) Scheduler();
    // Actions run before every other per-frame update.
    actionManager_ = new (std::nothrow) ActionManager();
    scheduleActionManager();
    eventDispatcher_ = new (std::nothrow) EventDispatcher();
    for (auto [event, name] :
         {std::pair{&eventAfterDraw_, EVENT_AFTER_DRAW}, std::pair{&eventAfterVisit_, EVENT_AFTER_VISIT},
          std::pair{&eventAfterUpdate_, EVENT_AFTER_UPDATE},
          std::pair{&eventProjectionChanged_, EVENT_PROJECTION_CHANGED}}) {
        *event = new (std::nothrow) EventCustom(name);
        if (*event) (*event)->setUserData(this);
    }
    createTextureCache();
    initMatrixStacks();
    renderer_ = new (std::nothrow) Renderer();
    // Made here, listening only when the game asks it to.
    console_ = new (std::nothrow) Console();
    if (console_) addDirectorCommands(*console_);

    // Rendering reads the director's frame through these.
    DirectorFrameServices services;
    services.getMatrix = [](int stack) -> const Mat4& {
        return sharedDirector->getMatrix(static_cast<MATRIX_STACK_TYPE>(stack));
    };
    services.resetMatrixStacks = [] { sharedDirector->resetMatrixStacks(); };
    services.getTotalFrames = [] { return sharedDirector->getTotalFrames(); };
    services.getAnimationInterval = [] { return sharedDirector->getAnimationInterval(); };
    services.getRenderer = [] { return sharedDirector->getRenderer(); };
    services.getWinSize = [] { return sharedDirector->getWinSize(); };
    services.getContentScaleFactor = [] { return sharedDirector->getContentScaleFactor(); };
    services.isVisitingNonDefaultCamera = [] {
        const Camera* camera = Camera::getVisitingCamera();
        return camera && camera->getCameraFlag() != Camera::DEFAULT_FLAG;
    };
    services.getDepthInView = [](const Mat4& transform) {
        const Camera* camera = Camera::getVisitingCamera();
        return camera ? camera->getDepthInView(transform) : 0.0f;
    };
    services.getSceneLights = &lightsOfRunningScene;
    setDirectorFrameServices(services);
    return true;
}

void Director::initMatrixStacks() {
    for (auto* stack : {&modelViewMatrixStack_, &projectionMatrixStack_, &textureMatrixStack_}) {
        stack->clear();
        stack->push_back(Mat4::IDENTITY);
    }
}

std::deque<Mat4>* Director::stackFor(MATRIX_STACK_TYPE type) {
    switch (type) {
        case MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW: return &modelViewMatrixStack_;
        case MATRIX_STACK_TYPE::MATRIX_STACK_PROJECTION: return &projectionMatrixStack_;
        case MATRIX_STACK_TYPE::MATRIX_STACK_TEXTURE: return &textureMatrixStack_;
    }
    return nullptr;
}

void Director::pushMatrix(MATRIX_STACK_TYPE type) {
    if (auto* stack = stackFor(type)) stack->push_back(stack->back());
}

void Director::popMatrix(MATRIX_STACK_TYPE type) {
    auto* stack = stackFor(type);
    if (!stack) return;
    if (stack->size() <= 1) {
        kite::log("Director: popMatrix without a matching pushMatrix ignored");
        return;
    }
    stack->pop_back();
}

void Director::loadIdentityMatrix(MATRIX_STACK_TYPE type) {
    if (auto* stack = stackFor(type)) stack->back() = Mat4::IDENTITY;
}

void Director::loadMatrix(MATRIX_STACK_TYPE type, const Mat4& matrix) {
    if (auto* stack = stackFor(type)) stack->back() = matrix;
}

void Director::multiplyMatrix(MATRIX_STACK_TYPE type, const Mat4& matrix) {
    if (auto* stack = stackFor(type)) stack->back() *= matrix;
}

const Mat4& Director::getMatrix(MATRIX_STACK_TYPE type) const {
    if (type == MATRIX_STACK_TYPE::MATRIX_STACK_PROJECTION) return projectionMatrixStack_.back();
    if (type == MATRIX_STACK_TYPE::MATRIX_STACK_TEXTURE) return textureMatrixStack_.back();
    return modelViewMatrixStack_.back();
}

Director::~Director() {
    releaseAndClear(runningScene_);
    // Normally gone with the shutdown; a director destroyed without one still ends the loading thread.
    destroyTextureCache();
    if (scheduler_ && actionManager_) scheduler_->unscheduleUpdate(actionManager_);
    if (console_) console_->stop();
    releaseAndClear(scheduler_);
    releaseAndClear(actionManager_);
    for (EventCustom** event : {&eventAfterUpdate_, &eventAfterDraw_, &eventAfterVisit_, &eventProjectionChanged_}) {
        delete *event;
        *event = nullptr;
    }
    // Its thread posts to the scheduler: it stops before the scheduler goes.
    releaseAndClear(console_);
    releaseAndClear(eventDispatcher_);
    Configuration::destroyInstance();
    if (sharedDirector == this) {
        sharedDirector = nullptr;
        setDirectorFrameServices(DirectorFrameServices());
    }
    delete renderer_;
    renderer_ = nullptr;
}

void Director::setGLView(GLView* view) {
    if (view == glView_) return;
    if (view && view->hasGLContext()) {
        view->makeCurrent();
        if (Configuration* conf = Configuration::getInstance()) conf->gatherGPUInfo();
    }
    assignRetained(glView_, view);
    if (glView_ && glView_->hasGLContext()) createStatsLabels();
    applyViewDesignResolution();
    if (view && view->hasGLContext() && renderer_) renderer_->initGLView();
    if (glView_ && eventDispatcher_) eventDispatcher_->setEnabled(true);
}

void Director::applyGLDefaults() {
    if (glView_ && glView_->hasGLContext()) {
        GLStateCache::blendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        if (renderer_) renderer_->setDepthTest(false);
    }
    setProjection(projection_);
}

void Director::applyViewDesignResolution() {
    if (!glView_) return;
    winSizeInPoints_ = glView_->getDesignResolutionSize();
    applyGLDefaults();
}

Size Director::getVisibleSize() const { return glView_ ? glView_->getVisibleSize() : Size::ZERO; }

Vec2 Director::getVisibleOrigin() const { return glView_ ? glView_->getVisibleOrigin() : Vec2::ZERO; }

void Director::setProjection(Projection projection) {
    const float w = winSizeInPoints_.width;
    const float h = winSizeInPoints_.height;
    // A view without a size yet has no projection to give: the matrices wait for its size.
    const bool sized = w > 0.0f && h > 0.0f;
    if (sized && glView_ && glView_->hasGLContext()) glView_->setViewPortInPoints(0.0f, 0.0f, w, h);
    if (sized && projection == Projection::_3D) {
        const float zeye = getZEye();
        Mat4 perspective;
        Mat4 lookAt;
        Mat4::createPerspective(60.0f, w / h, 10.0f, zeye + h / 2.0f, &perspective);
        Mat4::createLookAt(Vec3(w / 2.0f, h / 2.0f, zeye), Vec3(w / 2.0f, h / 2.0f, 0.0f), Vec3(0.0f, 1.0f, 0.0f),
                           &lookAt);
        loadIdentityMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_PROJECTION);
        multiplyMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_PROJECTION, perspective);
        multiplyMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_PROJECTION, lookAt);
        loadIdentityMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW);
    } else if (sized && projection == Projection::_2D) {
        Mat4 orthographic;
        Mat4::createOrthographicOffCenter(0.0f, w, 0.0f, h, -1024.0f, 1024.0f, &orthographic);
        loadIdentityMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_PROJECTION);
        multiplyMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_PROJECTION, orthographic);
        loadIdentityMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW);
    }
    projection_ = projection;
    // Every scene listens to this and re-initialises its default camera.
    if (eventDispatcher_ && eventProjectionChanged_) eventDispatcher_->dispatchEvent(eventProjectionChanged_);
}

void computeClipTransform(Mat4* out) {
    if (!out) return;
    const Director* director = Director::getInstance();
    Mat4::multiply(director->getMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_PROJECTION),
                   director->getMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW), out);
}

Vec2 Director::convertToGL(const Vec2& point) const {
    Mat4 clip;
    Mat4::multiply(getMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_PROJECTION),
                   getMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW), &clip);
    const Mat4 inverse = clip.getInversed();
    const float zClip = clip.m[14] / clip.m[15];
    const Size design = glView_ ? glView_->getDesignResolutionSize() : winSizeInPoints_;
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
    if (glView_) glView_->pollEvents();

    if (!paused_ && scheduler_) {
        FrameCosts::Scope step("update");
        scheduler_->update(deltaTime_);
        if (eventDispatcher_ && eventAfterUpdate_) eventDispatcher_->dispatchEvent(eventAfterUpdate_);
    }

    const bool drawsGL = renderer_ && glView_ && glView_->hasGLContext();
    if (drawsGL) renderer_->clear();
    if (nextScene_) {
        FrameCosts::Scope step("scene change");
        setNextScene();
    }
    pushMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW);

    {
        FrameCosts::Scope step("draw");
        if (runningScene_) {
            if (renderer_) renderer_->clearDrawStats();
            runningScene_->render(renderer_);
            if (eventDispatcher_ && eventAfterVisit_) eventDispatcher_->dispatchEvent(eventAfterVisit_);
        }
        if (displayStats_) drawStats();
        // The scene drew its own passes; this draws what was added after them.
        if (renderer_) renderer_->render();
        if (eventDispatcher_ && eventAfterDraw_) eventDispatcher_->dispatchEvent(eventAfterDraw_);
    }
    popMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW);

    ++totalFrames_;
    if (glView_) {
        FrameCosts::Scope step("present");
        glView_->swapBuffers();
    }
    FrameCosts::frameEnded(totalFrames_);
    if (displayStats_) computeSecondsPerFrame();
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

void Director::createTextureCache() {
    textureCache_ = new (std::nothrow) TextureCache();
    if (textureCache_) textureCache_->setScheduler(scheduler_);
}

void Director::destroyTextureCache() {
    if (!textureCache_) return;
    textureCache_->stopLoadingThread();
    // The scheduler does not retain its targets: a pending completion step must not outlive the cache.
    if (scheduler_) scheduler_->unscheduleAllForTarget(textureCache_);
    releaseAndClear(textureCache_);
}

void Director::setActionManager(ActionManager* manager) {
    if (manager == actionManager_) return;
    if (scheduler_ && actionManager_) scheduler_->unscheduleUpdate(actionManager_);
    assignRetained(actionManager_, manager);
}

void Director::reset() {
    if (scheduler_) scheduler_->unscheduleAll();
    // The foreground, background and renderer-recreated listeners stay.
    if (eventDispatcher_) eventDispatcher_->removeAllEventListeners();
    // A scene that never ran still holds its actions, and they hold it: cleaning up lets both go.
    for (Scene* waiting : scenesStack_) {
        if (waiting != runningScene_) waiting->cleanup();
    }
    if (runningScene_) {
        runningScene_->onExit();
        runningScene_->cleanup();
        releaseAndClear(runningScene_);
    }
    nextScene_ = nullptr;
    scenesStack_.clear();
    stopAnimation();
    // The loading thread reads files through the file utilities destroyed below: it ends first.
    if (textureCache_) textureCache_->stopLoadingThread();
    releaseStatsLabels();
    FontFNT::purgeCachedData();
    FontFreeType::shutdownFreeType();
    DrawPrimitives::free();
    AnimationCache::destroyInstance();
    SpriteFrameCache::destroyInstance();
    GLProgramCache::destroyInstance();
    GLProgramStateCache::destroyInstance();
    FileUtils::destroyInstance();
    TaskThreadPool::destroyInstance();
    UserDefault::destroyInstance();  // writes what is still pending
    GLStateCache::invalidate();      // also resets the matrix stacks
    destroyTextureCache();
}

void Director::purgeDirector() {
    reset();
    if (glView_) {
        GLView* view = glView_;
        glView_ = nullptr;
        view->end();  // the view releases itself there
    }
    release();
}

void Director::restartDirector() {
    reset();
    createTextureCache();
    scheduleActionManager();
    PoolManager::getInstance()->getCurrentPool()->clear();
    // A script engine would be told of the restart here; none is ever installed.
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
    if (Application* application = Application::getInstance()) application->setAnimationInterval(animationInterval_);
    nextDeltaTimeZero_ = true;
}

void DisplayLinkDirector::mainLoop() {
    if (console_) console_->runPostedWork();
    if (purgeDirector_) {
        purgeDirector_ = false;
        purgeDirector();  // this director is gone afterwards
    } else if (restartDirector_) {
        restartDirector_ = false;
        restartDirector();
    } else if (!invalid_) {
        drawScene();
        // Preferences changed during the frame reach the disk now, so a killed
        // game loses at most this frame.
        UserDefault::saveIfDirty();
        PoolManager::getInstance()->getCurrentPool()->clear();
    }
}

}  // namespace kite
