// Shared by the widget tests: a running scene on the headless frame, fixed-step frames and scripted drags.
#pragma once
#include <functional>

#include "kite/rendering/Texture2D.h"
#include "kite/scene/Director.h"
#include "kite/scene/GLView.h"
#include "kite/scene/Scene.h"
#include "kite/scene/SceneDrawSupport.h"
#include "platform/Clock.h"

namespace kite {
namespace test {

// A texture of colorAt(x, y), y from the top row, sampled nearest: a stretched slice then shows
// its own texels right up to its seams.
inline RefPtr<Texture2D> textureOf(int w, int h, const std::function<Pixel(int, int)>& colorAt) {
    RefPtr<Texture2D> texture = textureFrom(w, h, colorAt);
    texture->setAliasTexParameters();
    return texture;
}

// Each test starts with a fixed clock, a 2D projection on a 400 x 400 frame and an empty scene
// that has drawn once. Touches go in through the GL view's entry points, in design points, y up.
class WidgetTest : public DirectorDrawTest {
protected:
    int frameWidth() const override { return 400; }
    int frameHeight() const override { return 400; }

    void SetUp() override {
        DirectorDrawTest::SetUp();
        if (!director) return;
        scene = Scene::create();
        director->runWithScene(scene);
        frame();
    }
    void TearDown() override {
        GLView::releaseAllTouches();
        DirectorDrawTest::TearDown();
    }

    // One frame of 1/60 s.
    void frame() {
        platform::Clock::advance(1.0 / 60.0);
        director->mainLoop();
    }
    void frames(int count) {
        for (int i = 0; i < count; ++i) frame();
    }

    // Down at from, then one move per frame by step, steps times; released when asked.
    void drag(Vec2 from, Vec2 step, int steps, bool release = true) {
        touchDown(from.x, from.y);
        Vec2 at = from;
        for (int i = 0; i < steps; ++i) {
            at += step;
            touchMove(at.x, at.y);
            frame();
        }
        if (release) touchUp(at.x, at.y);
    }

    Scene* scene = nullptr;
};

}  // namespace test
}  // namespace kite
