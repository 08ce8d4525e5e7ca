// Plays an input script on the host view and the host loop, frame by frame.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/InputScript.h"

namespace platform {
class HostLoop;
}

namespace kite {

class KTEAGLView;

// Frames are counted as they are drawn: frame 1 is the first frame the host view presents.
// In the background no frame is drawn; there the count goes on with the host loop's
// 1/60 s ticks, so a step given while in the background still comes on time.
class ScriptPlayer {
public:
    ScriptPlayer(platform::InputScript script, platform::HostLoop& loop);

    // Before the loop runs: the steps of frame 1.
    void start();
    // After each pass of the loop: the steps of every frame that is next once the frames
    // drawn (or background ticks) since the last pass are counted. Touches, background,
    // foreground and quit are posted to the loop as input events, so they arrive before
    // the next frame is drawn the way the window's own do; shots are armed on the host view,
    // and node reports are written once that frame has been drawn.
    void afterPass();

    // The host view that receives touches and takes shots; null stops both.
    void setHostView(KTEAGLView* view);
    // The frame whose steps were played last.
    long getFrame() const { return frame_ + 1; }
    // The shots and node reports of the script that were not written, one line each ("shot 20 PATH
    // (why)"): those whose file could not be written, and those of frames the run ended before.
    std::vector<std::string> unwritten() const;

private:
    struct Output {
        long frame;
        std::string path;
    };
    void play(long frame);
    void writeReports();
    void settleShots();

    platform::InputScript script_;
    platform::HostLoop& loop_;
    KTEAGLView* view_ = nullptr;
    long frame_ = 0;                      // frames drawn or ticked through so far
    long played_ = 0;                     // the last frame whose steps were played
    std::vector<Output> armedShots_;      // shots the view takes of the next frame it presents
    std::vector<Output> pendingReports_;  // node reports of the frame being drawn
    std::vector<std::string> unwritten_;  // what could not be written, as unwritten() tells it
    std::uint64_t presented_ = 0;
    std::uint64_t tick_ = 0;
};

}  // namespace kite
