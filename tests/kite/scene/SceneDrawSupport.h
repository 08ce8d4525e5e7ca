// Shared by the scene drawing tests: a renderer on the headless frame, pixel-mapped projection, textures from pixels.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/rendering/DrawTestSupport.h"
#include "kite/rendering/Renderer.h"
#include "kite/rendering/Texture2D.h"
#include "kite/scene/Director.h"
#include "kite/scene/Node.h"
#include "support/GLTest.h"

namespace kite {
namespace test {

// A texture whose pixel (x, y), y counted from the top row, has the colour colorAt(x, y).
inline RefPtr<Texture2D> textureFrom(int w, int h, const std::function<Pixel(int, int)>& colorAt) {
    std::vector<std::uint8_t> pixels;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            Pixel p = colorAt(x, y);
            pixels.insert(pixels.end(), {p.r, p.g, p.b, p.a});
        }
    RefPtr<Texture2D> texture(Texture2D::create());
    texture->initWithData(pixels.data(), static_cast<ssize_t>(pixels.size()), Texture2D::PixelFormat::RGBA8888, w,
                          h);
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

}  // namespace test
}  // namespace kite
