// Shared by the widget tests: a running scene on the headless frame, fixed-step frames and scripted touches.
#pragma once
#include <cstdint>
#include <functional>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Create.h"
#include "kite/rendering/Texture2D.h"
#include "kite/scene/Director.h"
#include "kite/scene/GLView.h"
#include "kite/scene/Scene.h"
#include "kite/scene/SceneDrawSupport.h"
#include "platform/Clock.h"
#include "support/DirectorShutdown.h"
#include "support/FrameView.h"
#include "support/GLTest.h"

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
class WidgetTest : public GLTest {
protected:
    static constexpr int kSize = 400;
    int frameWidth() const override { return kSize; }
    int frameHeight() const override { return kSize; }

    void SetUp() override {
        GLTest::SetUp();
        if (!context()) GTEST_SKIP() << "no GL context";
        platform::Clock::setFixed(10.0);
        director = Director::getInstance();
        director->setProjection(Director::Projection::_2D);
        auto* view = createAutoreleased<FrameView>(context(), kSize, kSize);
        view->setDesignResolutionSize(kSize, kSize, ResolutionPolicy::EXACT_FIT);
        director->setGLView(view);
        scene = Scene::create();
        director->runWithScene(scene);
        frame();
    }
    void TearDown() override {
        if (director) {
            GLView::releaseAllTouches();
            shutDownDirector();
        }
        platform::Clock::useRealTime();
        GLTest::TearDown();
    }

    // One frame of 1/60 s.
    void frame() {
        platform::Clock::advance(1.0 / 60.0);
        director->mainLoop();
    }
    void frames(int count) {
        for (int i = 0; i < count; ++i) frame();
    }

    void touchDown(float x, float y, intptr_t id = 1) { send(&GLView::handleTouchesBegin, x, y, id); }
    void touchMove(float x, float y, intptr_t id = 1) { send(&GLView::handleTouchesMove, x, y, id); }
    void touchUp(float x, float y, intptr_t id = 1) { send(&GLView::handleTouchesEnd, x, y, id); }
    void touchCancel(float x, float y, intptr_t id = 1) { send(&GLView::handleTouchesCancel, x, y, id); }

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

    Director* director = nullptr;
    Scene* scene = nullptr;

private:
    using Entry = void (GLView::*)(int, intptr_t[], float[], float[]);
    void send(Entry entry, float x, float y, intptr_t id) {
        intptr_t ids[1] = {id};
        float xs[1] = {x};
        float ys[1] = {kSize - y};  // the view counts from the top
        (director->getOpenGLView()->*entry)(1, ids, xs, ys);
    }
};

}  // namespace test
}  // namespace kite
