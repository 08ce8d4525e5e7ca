// Shared by the scene drawing tests: a renderer on the headless frame, pixel-mapped projection, textures from pixels.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Create.h"
#include "kite/rendering/DrawTestSupport.h"
#include "kite/rendering/Renderer.h"
#include "kite/rendering/Texture2D.h"
#include "kite/scene/Director.h"
#include "kite/scene/GLView.h"
#include "kite/scene/LabelTypes.h"
#include "kite/scene/Node.h"
#include "platform/Clock.h"
#include "support/DirectorShutdown.h"
#include "support/GLTest.h"

namespace kite {
namespace test {

// A TrueType label's configuration for the font file at the size, outline and distance field given.
inline TTFConfig ttfConfig(const char* fontFile, int size, int outline = 0, bool distanceField = false) {
    TTFConfig config;
    config.fontFilePath = fontFile;
    config.fontSize = size;
    config.outlineSize = outline;
    config.distanceFieldEnabled = distanceField;
    return config;
}

// A texture whose pixel (x, y), y counted from the top row, has the colour colorAt(x, y).
inline RefPtr<Texture2D> textureFrom(int w, int h, const std::function<Pixel(int, int)>& colorAt) {
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            Pixel p = colorAt(x, y);
            pixels.insert(pixels.end(), {p.r, p.g, p.b, p.a});
        }
    RefPtr<Texture2D> texture(Texture2D::create());
    texture->initWithData(pixels.data(), static_cast<ssize_t>(pixels.size()), Texture2D::PixelFormat::RGBA8888, w, h);
    return texture;
}

// Draws node trees into the frame; frame pixels are design points.
class SceneDrawTest : public RendererFixture {
protected:
    void SetUp() override {
        GLTest::SetUp();
        // Nodes reach the director; made first, so that the services below replace its own.
        Director::getInstance();
        startRenderer();
    }
    void TearDown() override {
        PoolManager::getInstance()->getCurrentPool()->clear();
        RendererFixture::TearDown();
    }

    // Visits the tree from the root and renders; returns the draw calls made.
    std::int64_t drawFrame(Node* root) {
        renderer_->clearDrawStats();
        renderer_->clear();
        root->visit(renderer_.get(), Mat4::IDENTITY, FLAGS_TRANSFORM_DIRTY);
        renderer_->render();
        return renderer_->getDrawnBatches();
    }
};

// The fixture's context as the director's view.
class FixtureView : public GLView {
public:
    bool init(platform::GLContext* context, int width, int height) {
        context_ = context;
        setFrameSize(static_cast<float>(width), static_cast<float>(height));
        return context != nullptr;
    }
    bool isOpenGLReady() override { return true; }
    void makeCurrent() override { context_->makeCurrent(); }
    // The frame is read back before any swap.
    void swapBuffers() override {}
    void setIMEKeyboardState(bool) override {}
    void end() override { release(); }
    bool hasGLContext() const override { return true; }

private:
    platform::GLContext* context_ = nullptr;
};

// Runs scenes through the director on the headless frame, design points one to one on frame pixels, and
// touches the view as a finger would.
class DirectorDrawTest : public GLTest {
protected:
    int frameWidth() const override { return 96; }
    int frameHeight() const override { return 64; }

    void SetUp() override {
        GLTest::SetUp();
        if (!context()) GTEST_SKIP() << "no GL context";
        platform::Clock::setFixed(10.0);
        // A fresh director: a renderer fixture earlier in this process may have replaced its frame services.
        shutDownDirector();
        director = Director::getInstance();
        // Exact pixels: the 2D projection maps design points one to one onto the frame.
        director->setProjection(Director::Projection::_2D);
        view = createAutoreleased<FixtureView>(context(), frameWidth(), frameHeight());
        view->setDesignResolutionSize(static_cast<float>(frameWidth()), static_cast<float>(frameHeight()),
                                      ResolutionPolicy::EXACT_FIT);
        director->setGLView(view);
    }
    void TearDown() override {
        if (director) {
            director->end();
            director->mainLoop();
        }
        PoolManager::getInstance()->getCurrentPool()->clear();
        platform::Clock::useRealTime();
        GLTest::TearDown();
    }

    // x and y in design points from the bottom left, as nodes see them; one finger per id.
    void touchDown(float x, float y, intptr_t id = 7) { touch(&GLView::handleTouchesBegin, x, y, id); }
    void touchMove(float x, float y, intptr_t id = 7) { touch(&GLView::handleTouchesMove, x, y, id); }
    void touchUp(float x, float y, intptr_t id = 7) { touch(&GLView::handleTouchesEnd, x, y, id); }
    void touchCancel(float x, float y, intptr_t id = 7) { touch(&GLView::handleTouchesCancel, x, y, id); }

    Director* director = nullptr;
    FixtureView* view = nullptr;

private:
    void touch(void (GLView::*phase)(int, intptr_t[], float[], float[]), float x, float y, intptr_t id) {
        float viewY = static_cast<float>(frameHeight()) - y;
        (view->*phase)(1, &id, &x, &viewY);
    }
};

}  // namespace test
}  // namespace kite
