// Cost of the per-draw GL set-up: cached uniforms, skipped bindings and a program state's apply.
#include "kite/rendering/Configuration.h"
#include "kite/rendering/GLProgram.h"
#include "kite/rendering/GLProgramCache.h"
#include "kite/rendering/GLProgramState.h"
#include "kite/rendering/GLStateCache.h"
#include "platform/GLContext.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

namespace {

// One hidden offscreen context for the whole run; llvmpipe on a fixed thread count.
platform::GLContext* context() {
    static std::unique_ptr<platform::GLContext> shared = [] {
        setenv("LP_NUM_THREADS", "2", 0);
        platform::WindowOptions options;
        options.width = 64;
        options.height = 64;
        options.visible = false;
        auto created = platform::GLContext::create(options);
        if (created) kite::Configuration::getInstance()->gatherGPUInfo();
        return created;
    }();
    return shared.get();
}

kite::GLProgram* program(const char* name) {
    return context() ? kite::GLProgramCache::getInstance()->getGLProgram(name) : nullptr;
}

void UnchangedUniformIsSkipped(benchmark::State& state) {
    kite::GLProgram* p = program("ShaderPosition_uColor");
    if (!p) return state.SkipWithError("no GL context");
    const GLint location = p->getUniformLocation("u_color");
    p->use();
    for (auto _ : state) p->setUniformLocationWith4f(location, 0.25f, 0.5f, 0.75f, 1.0f);
}
BENCHMARK(UnchangedUniformIsSkipped);

void ChangedUniformIsSent(benchmark::State& state) {
    kite::GLProgram* p = program("ShaderPosition_uColor");
    if (!p) return state.SkipWithError("no GL context");
    const GLint location = p->getUniformLocation("u_color");
    p->use();
    float red = 0.0f;
    for (auto _ : state) {
        red = red > 0.5f ? 0.0f : 1.0f;
        p->setUniformLocationWith4f(location, red, 0.5f, 0.75f, 1.0f);
    }
}
BENCHMARK(ChangedUniformIsSent);

void RedundantBindingsAreSkipped(benchmark::State& state) {
    kite::GLProgram* p = program("ShaderPositionTextureColor_noMVP");
    if (!p) return state.SkipWithError("no GL context");
    for (auto _ : state) {
        kite::GLStateCache::useProgram(p->getProgram());
        kite::GLStateCache::bindTexture2D(1);
        kite::GLStateCache::blendFunc(GL_ONE, GL_ONE_MINUS_SRC_ALPHA);
        kite::GLStateCache::enableVertexAttribs(kite::GLStateCache::VERTEX_ATTRIB_FLAG_POS_COLOR_TEX);
    }
}
BENCHMARK(RedundantBindingsAreSkipped);

// What a batch of sprites pays per material switch back to the same state.
void ProgramStateApplyWithUnchangedValues(benchmark::State& state) {
    kite::GLProgram* p = program("ShaderPositionTextureColor_noMVP");
    if (!p) return state.SkipWithError("no GL context");
    kite::GLProgramState* s = kite::GLProgramState::getOrCreateWithGLProgram(p);
    kite::Mat4 modelView;
    kite::Mat4::createTranslation(10.0f, 20.0f, 0.0f, &modelView);
    for (auto _ : state) s->apply(modelView);
}
BENCHMARK(ProgramStateApplyWithUnchangedValues);

void BuiltinProgramsCompileAndLink(benchmark::State& state) {
    if (!context()) return state.SkipWithError("no GL context");
    for (auto _ : state) {
        kite::GLProgramCache::destroyInstance();
        benchmark::DoNotOptimize(kite::GLProgramCache::getInstance());
    }
    state.SetLabel("22 programs");
}
BENCHMARK(BuiltinProgramsCompileAndLink)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
