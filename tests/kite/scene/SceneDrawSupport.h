// Shared by the scene drawing tests: a renderer on the headless frame, pixel-mapped projection, textures from pixels.
#pragma once
#include <dlfcn.h>
#include <link.h>

#include <cstdint>
#include <cstring>
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

// Keeps Mesa's driver loaded to the end, so that the leak checker does not take the driver's own
// caches, left behind when it unloads at exit, for leaks of the test.
inline void pinGLDriver() {
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void*) {
            const char* name = info->dlpi_name;
            if (name && (std::strstr(name, "_dri.so") || std::strstr(name, "libgallium"))) {
                dlopen(name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
            }
            return 0;
        },
        nullptr);
}

// Draws node trees into the frame; frame pixels are design points.
class SceneDrawTest : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        pinGLDriver();
        // Nodes reach the director; made first, so that the services below replace its own.
        Director::getInstance();
        renderer_ = std::make_unique<Renderer>();
        services_ = std::make_unique<FrameServicesScope>(renderer_.get(), frameWidth(), frameHeight());
        renderer_->initGLView();
    }
    void TearDown() override {
        PoolManager::getInstance()->getCurrentPool()->clear();
        services_.reset();
        renderer_.reset();
        GLTest::TearDown();
    }

    // Visits the tree from the root and renders; returns the draw calls made.
    std::int64_t drawFrame(Node* root) {
        renderer_->clearDrawStats();
        renderer_->clear();
        root->visit(renderer_.get(), Mat4::IDENTITY, FLAGS_TRANSFORM_DIRTY);
        renderer_->render();
        return renderer_->getDrawnBatches();
    }

    std::unique_ptr<Renderer> renderer_;
    std::unique_ptr<FrameServicesScope> services_;
};

}  // namespace test
}  // namespace kite
