// The renderer's CPU cost to sort and batch a frame of quads of one texture, and the draw calls it issues.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench/GLStage.h"
#include "kite/foundation/math/Mat4.h"
#include "kite/rendering/GLProgram.h"
#include "kite/rendering/GLProgramState.h"
#include "kite/rendering/QuadCommand.h"
#include "kite/rendering/Renderer.h"

namespace {

using namespace kite;

// A small viewport keeps rasterisation out of the figure.
constexpr int kViewport = 16;

bench::GLStage& scene() {
    static bench::GLStage s = [] {
        bench::GLStage made;
        bench::openGLStage(made, kViewport);
        if (!made.renderer) return made;
        static Renderer* current = made.renderer.get();
        DirectorFrameServices services;
        services.getRenderer = [] { return current; };
        setDirectorFrameServices(services);
        return made;
    }();
    return s;
}

// One command per quad, as sprites emit them, spread over a few global orders
// so that the sort has work; every quad lands off the tiny viewport but one.
void BM_SortAndBatchQuads(benchmark::State& state) {
    bench::GLStage& s = scene();
    if (!s.renderer) {
        state.SkipWithError("no GL context");
        return;
    }
    const auto count = static_cast<std::size_t>(state.range(0));
    GLProgramState* programState =
        GLProgramState::getOrCreateWithGLProgramName(GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR_NO_MVP);
    std::vector<PosColorTexQuad> quads(count);
    std::vector<QuadCommand> commands(count);
    for (std::size_t i = 0; i < count; ++i) {
        PosColorTexQuad& q = quads[i];
        const float x = static_cast<float>(i % 100) * 0.01f - 0.5f;
        q.bl.vertices = Vec3(x, -0.5f, 0);
        q.tl.vertices = Vec3(x, 0.5f, 0);
        q.br.vertices = Vec3(x + 0.01f, -0.5f, 0);
        q.tr.vertices = Vec3(x + 0.01f, 0.5f, 0);
        q.tl.colors = q.bl.colors = q.tr.colors = q.br.colors = Color4B(255, 255, 255, 255);
    }
    Mat4 transform;
    for (auto _ : state) {
        s.renderer->clearDrawStats();
        for (std::size_t i = 0; i < count; ++i) {
            const float z = static_cast<float>(static_cast<int>(i % 7) - 3);
            commands[i].init(z, s.texture->getName(), programState, BlendFunc::ALPHA_PREMULTIPLIED, &quads[i], 1,
                             transform, 0);
            s.renderer->addCommand(&commands[i]);
        }
        s.renderer->render();
        glFinish();
    }
    state.counters["draw_calls"] = static_cast<double>(s.renderer->getDrawnBatches());
    state.counters["quads"] = static_cast<double>(count);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(count));
}
BENCHMARK(BM_SortAndBatchQuads)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
