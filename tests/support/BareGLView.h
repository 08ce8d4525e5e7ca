// A GL view with no surface behind it, for tests of what reaches a view.
#pragma once
#include "kite/foundation/Create.h"
#include "kite/scene/GLView.h"

namespace kite {
namespace test {

class BareGLView : public GLView {
public:
    static BareGLView* create(float width, float height) { return createAutoreleased<BareGLView>(width, height); }
    bool init(float width, float height) {
        setFrameSize(width, height);
        return true;
    }
    void makeCurrent() override {}
    void end() override { release(); }
    bool isOpenGLReady() override { return false; }
    void swapBuffers() override {}
    void setIMEKeyboardState(bool) override {}
};

}  // namespace test
}  // namespace kite
