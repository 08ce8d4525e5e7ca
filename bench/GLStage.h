// Shared by the drawing benchmarks: a hidden GL window with the GPU information, a renderer and a white texture.
#pragma once
#include <cstdlib>
#include <memory>

#include "kite/rendering/Configuration.h"
#include "kite/rendering/Renderer.h"
#include "kite/rendering/Texture2D.h"
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

}  // namespace bench
