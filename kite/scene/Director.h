// The director: owner of the frame, the scheduler and the scenes; runs one frame per display-link firing.
#pragma once
#include <cstdint>
#include <deque>

#include "kite/foundation/Ref.h"
#include "kite/foundation/Vector.h"
#include "kite/foundation/math/MathTypes.h"
#include "kite/scene/Scene.h"

namespace kite {

class ActionManager;
class Console;
class EventCustom;
class EventDispatcher;
class GLView;
class LabelAtlas;
class Renderer;
class Scheduler;
class TextureCache;

enum class MATRIX_STACK_TYPE { MATRIX_STACK_MODELVIEW = 0, MATRIX_STACK_PROJECTION = 1, MATRIX_STACK_TEXTURE = 2 };

class Director : public Ref {
public:
    enum class Projection { _2D = 0, _3D = 1, CUSTOM = 2 };

    // The process-wide director, made on first use (a DisplayLinkDirector).
    static Director* getInstance();

    ~Director() override;
    virtual bool init();

    virtual void setAnimationInterval(double seconds) = 0;
    virtual void stopAnimation() = 0;
    virtual void startAnimation() = 0;
    // One display-link firing: a frame, or the pending shutdown or restart.
    virtual void mainLoop() = 0;

    void runWithScene(Scene* scene);
    // The switch happens at the start of the next frame.
    void replaceScene(Scene* scene);
    // The next main-loop pass shuts the director down instead of drawing.
    void end() { purgeDirector_ = true; }
    // Four frames a second, no scheduler steps, until resume.
    void pause();
    void resume();

    // Retained; the director's shutdown ends it. Installing one enables the event dispatcher.
    void setGLView(GLView* view);
    GLView* getOpenGLView() const { return glView_; }
    EventDispatcher* getEventDispatcher() const { return eventDispatcher_; }
    // Names of the director's own events; each carries the director as user data.
    static const char* const EVENT_PROJECTION_CHANGED;  // "director_projection_changed"
    static const char* const EVENT_AFTER_DRAW;          // "director_after_draw"
    static const char* const EVENT_AFTER_VISIT;         // "director_after_visit"
    static const char* const EVENT_AFTER_UPDATE;        // "director_after_update"
    // The view's design resolution changed: the window size in points follows.
    void applyViewDesignResolution();

    Scheduler* getScheduler() const { return scheduler_; }
    // Textures of image files; its completion step runs on this director's scheduler.
    TextureCache* getTextureCache() const { return textureCache_; }
    // The debug console (not listening until asked to); its commands' work runs at the start of every
    // pass of the main loop.
    Console* getConsole() const { return console_; }
    ActionManager* getActionManager() const { return actionManager_; }
    // Retains the new manager; nodes made afterwards use it.
    void setActionManager(ActionManager* manager);
    Renderer* getRenderer() const { return renderer_; }
    Scene* getRunningScene() const { return runningScene_; }
    float getDeltaTime() const { return deltaTime_; }
    double getAnimationInterval() const { return animationInterval_; }
    bool isPaused() const { return paused_; }
    bool isDisplayStats() const { return displayStats_; }
    void setDisplayStats(bool on) { displayStats_ = on; }
    unsigned int getTotalFrames() const { return totalFrames_; }
    bool isSendCleanupToScene() const { return sendCleanupToScene_; }
    Projection getProjection() const { return projection_; }
    float getContentScaleFactor() const { return contentScaleFactor_; }
    // The window size in points (the design resolution); zero until a view sets it.
    const Size& getWinSize() const { return winSizeInPoints_; }
    Size getWinSizeInPixels() const {
        return Size(winSizeInPoints_.width * contentScaleFactor_, winSizeInPoints_.height * contentScaleFactor_);
    }

    // Three stacks of matrices read by nodes and the renderer; each keeps an
    // identity matrix at its bottom between frames.
    void initMatrixStacks();
    void resetMatrixStacks() { initMatrixStacks(); }
    void pushMatrix(MATRIX_STACK_TYPE type);
    // The bottom matrix stays: popping it would leave nothing to read.
    void popMatrix(MATRIX_STACK_TYPE type);
    void loadIdentityMatrix(MATRIX_STACK_TYPE type);
    void loadMatrix(MATRIX_STACK_TYPE type, const Mat4& matrix);
    void multiplyMatrix(MATRIX_STACK_TYPE type, const Mat4& matrix);
    const Mat4& getMatrix(MATRIX_STACK_TYPE type) const;

    // Distance of the 3D projection's eye from the plane z = 0.
    float getZEye() const { return winSizeInPoints_.height / 1.1566f; }
    // The view's visible area; zero without a view.
    Size getVisibleSize() const;
    Vec2 getVisibleOrigin() const;

    // Blending for premultiplied alpha, no depth test, then the projection.
    void applyGLDefaults();
    // Loads the projection for the window size (custom leaves the stacks alone) and dispatches
    // "director_projection_changed", which every scene's default camera follows.
    void setProjection(Projection projection);
    // A view point (design units, y down) in GL coordinates (y up).
    Vec2 convertToGL(const Vec2& point) const;
    // One frame now, running or not (the host view draws one when its window is resized).
    void drawScene();

protected:
    Director() = default;

    void setDefaultValues();
    void computeDeltaTime();
    void setNextScene();
    void reset();
    void purgeDirector();
    void restartDirector();
    // Actions step at the scheduler's lowest priority, before every other per-frame update.
    void scheduleActionManager();
    void createTextureCache();
    // Stops the loading thread before the cache goes.
    void destroyTextureCache();
    // The statistics display: three label atlases in the lower-left corner over the built-in digits image.
    void createStatsLabels();
    void releaseStatsLabels();
    void drawStats();
    void computeSecondsPerFrame();
    std::deque<Mat4>* stackFor(MATRIX_STACK_TYPE type);

    bool purgeDirector_ = false;
    bool restartDirector_ = false;
    std::deque<Mat4> modelViewMatrixStack_;
    std::deque<Mat4> projectionMatrixStack_;
    std::deque<Mat4> textureMatrixStack_;
    Scheduler* scheduler_ = nullptr;
    ActionManager* actionManager_ = nullptr;
    float deltaTime_ = 0.0f;
    GLView* glView_ = nullptr;
    TextureCache* textureCache_ = nullptr;  // owned
    Console* console_ = nullptr;
    EventDispatcher* eventDispatcher_ = nullptr;
    // Owned: made once, deleted with the director.
    EventCustom* eventAfterDraw_ = nullptr;
    EventCustom* eventAfterVisit_ = nullptr;
    EventCustom* eventAfterUpdate_ = nullptr;
    EventCustom* eventProjectionChanged_ = nullptr;
    double animationInterval_ = 1.0 / 60;
    double oldAnimationInterval_ = 1.0 / 60;
    bool displayStats_ = false;
    bool paused_ = false;
    unsigned int totalFrames_ = 0;
    Scene* runningScene_ = nullptr;
    Scene* nextScene_ = nullptr;  // not retained: the scene stack holds it
    bool sendCleanupToScene_ = false;
    Vector<Scene*> scenesStack_;
    double lastUpdate_ = 0.0;  // frame clock, seconds
    bool nextDeltaTimeZero_ = false;
    Projection projection_ = Projection::_3D;
    Size winSizeInPoints_;
    Renderer* renderer_ = nullptr;
    float contentScaleFactor_ = 1.0f;
    // Statistics: the three labels (retained) and their smoothed figures.
    LabelAtlas* fpsLabel_ = nullptr;
    LabelAtlas* drawnBatchesLabel_ = nullptr;
    LabelAtlas* drawnVerticesLabel_ = nullptr;
    float accumDt_ = 0.0f;
    float frameRate_ = 0.0f;
    // Shown until a frame has been measured.
    float secondsPerFrame_ = 1.0f;
    float prevDeltaTime_ = 0.016f;
    float prevSecondsPerFrame_ = 0.0f;
    std::uint64_t prevCalls_ = 0;
    std::uint64_t prevVerts_ = 0;
};

// Projection top x model-view top of the director; out may be null.
void computeClipTransform(Mat4* out);

// The director driven by the display-link caller.
class DisplayLinkDirector : public Director {
public:
    void setAnimationInterval(double seconds) override;
    void stopAnimation() override;
    void startAnimation() override;
    void mainLoop() override;

    // True while the animation is stopped: the main loop then draws nothing.
    bool isInvalid() const { return invalid_; }

private:
    friend class Director;
    DisplayLinkDirector() = default;

    bool invalid_ = false;
};

}  // namespace kite
