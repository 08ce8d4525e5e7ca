// Shared by the drawing benchmarks: a hidden GL window with the GPU information, a renderer and a white texture.
#pragma once
#include <cstdlib>
#include <memory>

#include "kite/foundation/math/Mat4.h"
#include "kite/rendering/Configuration.h"
#include "kite/rendering/DirectorFrameServices.h"
#include "kite/rendering/Renderer.h"
#include "kite/rendering/Texture2D.h"
#include "kite/scene/Director.h"
#include "platform/GLContext.h"

namespace bench {

struct GLStage {
    std::unique_ptr<platform::GLContext> context;
    std::unique_ptr<kite::Renderer> renderer;
    kite::Texture2D* texture = nullptr;  // white 2 x 2, kept for the whole run
};

// A size x size window drawn by one llvmpipe thread (unless the environment says otherwise).
// Without a GL context the stage stays empty: no renderer, no texture.
inline void openGLStage(GLStage& stage, int size) {
    setenv("LP_NUM_THREADS", "1", 0);
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    platform::WindowOptions options;
    options.width = size;
    options.height = size;
    options.visible = false;
    stage.context = platform::GLContext::create(options);
    if (!stage.context) return;
    kite::Configuration::getInstance()->gatherGPUInfo();
    stage.renderer = std::make_unique<kite::Renderer>();
    stage.renderer->initGLView();
    const unsigned char white[16] = {255, 255, 255, 255, 255, 255, 255, 255,
                                     255, 255, 255, 255, 255, 255, 255, 255};
    stage.texture = kite::Texture2D::create();
    stage.texture->retain();
    stage.texture->initWithData(white, 16, kite::Texture2D::PixelFormat::RGBA8888, 2, 2);
}

// A stage that stands in for the director's frame: its renderer, a size x size window and a projection that
// maps points one to one onto the window's pixels.
struct SceneStage : GLStage {
    kite::Mat4 projection;
    float size = 0.0f;
};

// Opened on first use and kept for the whole run.
inline SceneStage& sceneStage(int size) {
    static SceneStage stage;
    static bool ready = false;
    if (ready) return stage;
    ready = true;
    openGLStage(stage, size);
    if (!stage.renderer) return stage;
    kite::Director::getInstance();  // nodes reach it; its frame services are replaced below
    stage.size = static_cast<float>(size);
    kite::Mat4::createOrthographicOffCenter(0, stage.size, 0, stage.size, -1024, 1024, &stage.projection);
    kite::DirectorFrameServices frame;
    frame.getRenderer = [] { return stage.renderer.get(); };
    frame.getWinSize = [] { return kite::Size(stage.size, stage.size); };
    frame.getContentScaleFactor = [] { return 1.0f; };
    frame.getMatrix = [](int stack) -> const kite::Mat4& {
        static const kite::Mat4 identity;
        return stack == 1 ? stage.projection : identity;
    };
    kite::setDirectorFrameServices(frame);
    return stage;
}

}  // namespace bench
