// Plays an input script on the host view and the host loop, frame by frame.
#pragma once
#include "platform/InputScript.h"

namespace platform {
class HostLoop;
}

namespace kite {

class KTEAGLView;

class ScriptPlayer {
public:
    ScriptPlayer(platform::InputScript script, platform::HostLoop& loop);

    // Before the loop runs: the steps of frame 1.
    void start();
    // After each pass of the loop: the steps of the next frame. Touches go into the
    // window's event queue (so they take the same way as the mouse), shots are armed
    // on the host view, background, foreground and quit go to the loop.
    void afterPass();

    // The host view that receives touches and takes shots; null stops both.
    void setHostView(KTEAGLView* view) { view_ = view; }
    long getFrame() const { return passes_ + 1; }

private:
    void play(long frame);

    platform::InputScript script_;
    platform::HostLoop& loop_;
    KTEAGLView* view_ = nullptr;
    long passes_ = 0;
};

}  // namespace kite
