// Records the touches the director's dispatcher sends, for tests of the way from a window to the scene.
#pragma once
#include <string>
#include <vector>

#include "kite/foundation/math/Vec2.h"

namespace kite {

class EventDispatcher;
class EventListenerTouchAllAtOnce;

namespace test {

// Listens with a fixed priority on the director's event dispatcher while it lives.
class TouchRecorder {
public:
    explicit TouchRecorder(int priority = 1);
    ~TouchRecorder();
    TouchRecorder(const TouchRecorder&) = delete;
    TouchRecorder& operator=(const TouchRecorder&) = delete;

    // One entry per touch: its phase and id, "began0", "moved1", "ended0", "cancelled2".
    std::vector<std::string> log;
    // Where the last touch was, in the view's design units (y down).
    Vec2 last;

private:
    EventDispatcher* dispatcher_ = nullptr;
    EventListenerTouchAllAtOnce* listener_ = nullptr;
};

}  // namespace test
}  // namespace kite
