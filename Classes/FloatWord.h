// A text that slides in from the right edge, holds and slides out to the left.
#pragma once
#include <functional>
#include <string>

#include "kite/foundation/math/Vec2.h"
#include "kite/scene/Node.h"

namespace kite {
class Label;
}

class FloatWord : public kite::Node {
public:
    // The font size is taken but the bitmap font decides the size.
    static FloatWord* create(const std::string& text, int fontSize, const kite::Vec2& start);
    bool init(const std::string& text, int fontSize, const kite::Vec2& start);

    // Each callback runs exactly once, also when the word removes itself: floatOut's before the word leaves,
    // floatInOut's after.
    void floatIn(float duration, const std::function<void()>& done);
    void floatOut(float duration, const std::function<void()>& done);
    void floatInOut(float moveDuration, float hold, const std::function<void()>& done);

    kite::Label* getLabel() const { return label; }

private:
    // Runs the callback, then leaves the parent; the word is kept alive until both are done.
    void finishAndLeave(const std::function<void()>& done);
    // Leaves the parent, then runs the callback.
    void leaveAndFinish(const std::function<void()>& done);

    kite::Vec2 start;
    kite::Label* label = nullptr;
};
