// A game as the shell starts it, headless: host view, GL view, a running scene and the host loop in fixed steps.
#pragma once
#include <gtest/gtest.h>

#include "kite/foundation/math/Size.h"
#include "kite/scene/GLView.h"

namespace platform {
class HostLoop;
}

namespace kite {

class GLViewImpl;
class KTEAGLView;
class Scene;

namespace test {

// Each test starts with a fixed clock, the main host loop reset to fixed steps, a window of
// frameSize() pixels with an RGBA8 context with depth and stencil, its GL view installed as
// the director's with the design resolution and policy below, and an empty scene running
// (not yet drawn). The director is shut down and the loop reset after each test.
class RunningSceneTest : public ::testing::Test {
protected:
    virtual Size frameSize() const { return Size(640.0f, 1136.0f); }
    virtual Size designSize() const { return Size(480.0f, 852.0f); }
    virtual ResolutionPolicy policy() const { return ResolutionPolicy::EXACT_FIT; }

    void SetUp() override;
    void TearDown() override;

    platform::HostLoop& loop();
    KTEAGLView* hostView = nullptr;
    GLViewImpl* glView = nullptr;
    Scene* scene = nullptr;
};

}  // namespace test
}  // namespace kite
