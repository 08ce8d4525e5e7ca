// The root of what the director shows. A stand-in until the node tree exists: it has the
// lifecycle calls the director makes, and no children, camera or drawing yet.
#pragma once
#include "kite/foundation/Ref.h"

namespace kite {

class Scene : public Ref {
public:
    static Scene* create();
    virtual bool init() { return true; }

    virtual void onEnter() { running_ = true; }
    virtual void onEnterTransitionFinished() {}
    virtual void onExitTransitionStarted() {}
    virtual void onExit() { running_ = false; }
    // Stops the scene's actions and scheduled callbacks (it has none yet).
    virtual void cleanup() {}
    // Visits the scene once per camera, adding render commands; nothing to visit yet.
    virtual void render() {}

    bool isRunning() const { return running_; }

private:
    bool running_ = false;
};

}  // namespace kite
