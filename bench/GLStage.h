// Shared by the drawing benchmarks: a hidden GL window with the GPU information, a renderer and a white texture.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "kite/foundation/math/Mat4.h"
#include "kite/rendering/Configuration.h"
#include "kite/rendering/DirectorFrameServices.h"
#include "kite/rendering/Renderer.h"
#include "kite/rendering/Texture2D.h"
#include "kite/scene/Node.h"
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
    const unsigned char white[16] = {255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255};
    stage.texture = kite::Texture2D::create();
    stage.texture->retain();
    stage.texture->initWithData(white, 16, kite::Texture2D::PixelFormat::RGBA8888, 2, 2);
}

// The one stage of a benchmark file, set up on its first use.
template <class Stage, void (*SetUp)(Stage&)>
Stage& sharedStage() {
    static Stage stage;
    static bool ready = false;
    if (!ready) {
        ready = true;
        SetUp(stage);
    }
    return stage;
}

// One measured frame of a tree: visited, drawn, and finished by the GPU (glFinish keeps the GPU's
// work inside the frame that made it). Returns the batches the renderer drew.
inline std::int64_t drawFrame(kite::Renderer* renderer, kite::Node* root) {
    renderer->clearDrawStats();
    root->visit(renderer, kite::Mat4::IDENTITY, kite::FLAGS_TRANSFORM_DIRTY);
    renderer->render();
    glFinish();
    return renderer->getDrawnBatches();
}

// Nodes reach the director; its frame services are then replaced by these: the stage's renderer, a
// size x size window mapped to the viewport in pixels, content scale 1.
inline void installFrameServices(GLStage& stage, int size) {
    static GLStage* current = nullptr;
    static kite::Mat4 projection;
    static int window = 0;
    current = &stage;
    window = size;
    kite::Mat4::createOrthographicOffCenter(0, static_cast<float>(size), 0, static_cast<float>(size), -1024, 1024,
                                            &projection);
    kite::DirectorFrameServices frame;
    frame.getRenderer = [] { return current->renderer.get(); };
    frame.getWinSize = [] { return kite::Size(static_cast<float>(window), static_cast<float>(window)); };
    frame.getContentScaleFactor = [] { return 1.0f; };
    frame.getMatrix = [](int stack) -> const kite::Mat4& {
        static const kite::Mat4 identity;
        return stack == 1 ? projection : identity;
    };
    kite::setDirectorFrameServices(frame);
}

}  // namespace bench
