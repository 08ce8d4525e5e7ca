// Scripted input for tests and demos: taps, drags, background/foreground and screenshots at given frames.
//
// A script is text, one step per line; "#" starts a comment, blank lines are skipped, and a
// UTF-8 byte-order mark at the start is skipped. Fields are separated by runs of spaces and tabs
// (a CR ending a line is dropped); any other byte belongs to its field, and a field with another control
// character, a character that shows nothing (a space other than the ASCII one, a format character) or a
// byte that is not UTF-8 is refused.
// FRAME counts the frames drawn: frame 1 is the first one. In the background no frame is
// drawn, and the count goes on with the host loop's 1/60 s ticks instead (a step at FRAME
// there comes FRAME - F ticks after the last frame F drawn).
// Input given at FRAME arrives before that frame is drawn; X and Y are pixels of the
// device's frame (640x1136 for iphone5), origin at the top left (cut to whole window points).
//
//   tap FRAME X Y                    press at FRAME, release at FRAME+1
//   down FRAME X Y                   press
//   move FRAME X Y                   drag the pressed touch
//   up FRAME X Y                     release
//   drag FRAME X1 Y1 X2 Y2 STEPS     press at FRAME at (X1, Y1), STEPS moves one frame apart
//                                    ending at (X2, Y2), release one frame after the last
//   background FRAME                 the game goes to the background (as when minimised)
//   foreground FRAME                 and comes back
//   shot FRAME PATH                  saves the frame drawn at FRAME (or the next one drawn) as a
//                                    PNG of the window's pixels; PATH is the rest of the line
//   type FRAME TEXT                  types the text (the rest of the line) as the keyboard would commit it
//   sleep FRAME MS                   before FRAME is drawn, waits MS milliseconds (1 to 10000) of real time,
//                                    drawing nothing: answers from other threads and processes come in while
//                                    the frames, and with --fixed-step the game's time, stand still
//   nodes FRAME PATH                 writes the nodes shown in the frame drawn at FRAME, with their world
//                                    boxes, to PATH (kite/scene/NodeReport.h gives the format)
//   quit FRAME                       quits as the window's close button would
//
// The stargrid executable takes one with --script FILE; --shot FRAME:PATH adds a shot step.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace platform {

struct ScriptStep {
    enum class Kind { DOWN, MOVE, UP, BACKGROUND, FOREGROUND, SHOT, NODES, TYPE, SLEEP, QUIT };
    long frame = 0;
    Kind kind = Kind::DOWN;
    float x = 0.0f;
    float y = 0.0f;
    std::string path;  // shots and node reports
    std::string text;  // typed text
    int milliseconds = 0;  // sleeps
};

class InputScript {
public:
    // A script expanding (taps and drags counted step by step) to more steps is refused.
    static constexpr std::size_t kMaxSteps = 100000;
    static constexpr long kMaxSleepMs = 10000;

    // Nothing, with the line number and the reason in error, for a malformed script.
    static std::optional<InputScript> parse(const std::string& text, std::string* error);
    static std::optional<InputScript> load(const std::string& path, std::string* error);
    // "FRAME:PATH", as the --shot option takes it.
    static std::optional<ScriptStep> parseShot(const std::string& option, std::string* error);

    // Steps of one frame keep the order they were added in.
    void add(const ScriptStep& step);
    void add(const InputScript& other);
    // The steps at a frame, in the order they were given.
    std::vector<ScriptStep> stepsAt(long frame) const;
    const std::vector<ScriptStep>& steps() const { return steps_; }
    long lastFrame() const;
    bool empty() const { return steps_.empty(); }

private:
    void sortSteps();

    std::vector<ScriptStep> steps_;
};

}  // namespace platform
