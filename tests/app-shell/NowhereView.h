// A GL view for launching the delegate in a test: it has a frame of the device's size and draws nowhere.
#pragma once
#include "kite/platform/KTDirectorCaller.h"
#include "kite/scene/GLView.h"

namespace stargrid::test {

class NowhereView : public kite::GLView {
public:
    bool init(int height = 1136) {
        setFrameSize(640.0f, static_cast<float>(height));
        return true;
    }
    bool isOpenGLReady() override { return false; }
    void swapBuffers() override {}
    void setIMEKeyboardState(bool) override {}
    void end() override {
        kite::KTDirectorCaller::destroy();
        release();
    }
};

}  // namespace stargrid::test
