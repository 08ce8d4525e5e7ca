// The director: owner of the frame, the scheduler and the scenes; runs one frame per display-link firing.
#pragma once
#include "kite/foundation/Ref.h"
#include "kite/foundation/Vector.h"
#include "kite/scene/Scene.h"

namespace kite {

class FrameView;
class Scheduler;

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

    // Retained; the director's shutdown ends it.
    void setFrameView(FrameView* view);
    FrameView* getFrameView() const { return frameView_; }

    Scheduler* getScheduler() const { return scheduler_; }
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

protected:
    Director() = default;

    void drawScene();
    void computeDeltaTime();
    void setNextScene();
    void reset();
    void purgeDirector();
    void restartDirector();

    bool purgeDirector_ = false;
    bool restartDirector_ = false;
    Scheduler* scheduler_ = nullptr;
    float deltaTime_ = 0.0f;
    FrameView* frameView_ = nullptr;
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
    float contentScaleFactor_ = 1.0f;
};

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
