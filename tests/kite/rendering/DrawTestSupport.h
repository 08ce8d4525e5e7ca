// Helpers of the rendering tests: solid textures, quads in frame pixels, a pixel projection, the frame services
// and a fixture drawing through a fresh renderer.
#pragma once
#include <GLES2/gl2.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "kite/foundation/Ref.h"
#include "kite/foundation/math/Mat4.h"
#include "kite/rendering/DirectorFrameServices.h"
#include "kite/rendering/GLProgramState.h"
#include "kite/rendering/Renderer.h"
#include "kite/rendering/Texture2D.h"
#include "kite/rendering/ktTypes.h"
#include "support/GLTest.h"

namespace kite {
namespace test {

// A texture of one RGBA colour, size w x h.
inline RefPtr<Texture2D> solidTexture(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a = 255, int w = 2,
                                      int h = 2) {
    std::vector<std::uint8_t> pixels;
    for (int i = 0; i < w * h; ++i) pixels.insert(pixels.end(), {r, g, b, a});
    RefPtr<Texture2D> texture(Texture2D::create());
    texture->initWithData(pixels.data(), static_cast<ssize_t>(pixels.size()), Texture2D::PixelFormat::RGBA8888, w, h);
    return texture;
}

// A white quad covering [x0, x1] x [y0, y1] in frame pixels, sampling the whole texture.
inline PosColorTexQuad quadAt(float x0, float y0, float x1, float y1, float z = 0.0f,
                              Color4B color = Color4B(255, 255, 255, 255)) {
    PosColorTexQuad q;
    q.tl.vertices = Vec3(x0, y1, z);
    q.bl.vertices = Vec3(x0, y0, z);
    q.tr.vertices = Vec3(x1, y1, z);
    q.br.vertices = Vec3(x1, y0, z);
    q.tl.texCoords = {0.0f, 0.0f};
    q.bl.texCoords = {0.0f, 1.0f};
    q.tr.texCoords = {1.0f, 0.0f};
    q.br.texCoords = {1.0f, 1.0f};
    q.tl.colors = q.bl.colors = q.tr.colors = q.br.colors = color;
    return q;
}

// Installs a projection that maps frame pixels to the viewport, and the
// renderer as the director's, for as long as it lives.
class FrameServicesScope {
public:
    FrameServicesScope(Renderer* renderer, int width, int height) {
        current() = this;
        renderer_ = renderer;
        Mat4::createOrthographicOffCenter(0.0f, static_cast<float>(width), 0.0f, static_cast<float>(height), -1024.0f,
                                          1024.0f, &projection_);
        winSize_ = Size(static_cast<float>(width), static_cast<float>(height));
        DirectorFrameServices frame;
        frame.getMatrix = [](int stack) -> const Mat4& {
            static const Mat4 identity;
            return stack == 1 ? current()->projection_ : identity;
        };
        frame.getRenderer = [] { return current()->renderer_; };
        frame.getWinSize = [] { return current()->winSize_; };
        frame.getContentScaleFactor = [] { return current()->contentScale_; };
        frame.isVisitingNonDefaultCamera = [] { return current()->otherCamera_; };
        frame.getDepthInView = [](const Mat4& m) { return -m.m[14]; };
        setDirectorFrameServices(frame);
    }
    ~FrameServicesScope() {
        setDirectorFrameServices(DirectorFrameServices());
        current() = nullptr;
    }
    FrameServicesScope(const FrameServicesScope&) = delete;
    FrameServicesScope& operator=(const FrameServicesScope&) = delete;

    void setContentScale(float scale) { contentScale_ = scale; }
    void setVisitingOtherCamera(bool other) { otherCamera_ = other; }
    void setWinSize(const Size& size) { winSize_ = size; }

private:
    static FrameServicesScope*& current() {
        static FrameServicesScope* scope = nullptr;
        return scope;
    }

    Renderer* renderer_ = nullptr;
    Mat4 projection_;
    Size winSize_;
    float contentScale_ = 1.0f;
    bool otherCamera_ = false;
};

// A headless frame drawn through a fresh renderer, installed as the director's.
class RendererFixture : public GLTest {
protected:
    void SetUp() override {
        GLTest::SetUp();
        startRenderer();
    }
    void TearDown() override {
        services_.reset();
        renderer_.reset();
        GLTest::TearDown();
    }

    // A fresh renderer with its GL objects; call again after switching extensions.
    void startRenderer() {
        services_.reset();
        renderer_ = std::make_unique<Renderer>();
        services_ = std::make_unique<FrameServicesScope>(renderer_.get(), frameWidth(), frameHeight());
        renderer_->initGLView();
    }

    std::unique_ptr<Renderer> renderer_;
    std::unique_ptr<FrameServicesScope> services_;
};

inline GLProgramState* stateNamed(const char* name) { return GLProgramState::getOrCreateWithGLProgramName(name); }

}  // namespace test
}  // namespace kite
