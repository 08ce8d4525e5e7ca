// Explosions kept full, stepped and drawn every frame: in one batch or on their own, and, on their own,
// drawn three ways: from memory by the renderer after the step's upload into the system's own vertex buffer
// (what the systems do), from memory without that upload, and from the system's own buffers.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "bench/GLStage.h"
#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Create.h"
#include "kite/foundation/math/Mat4.h"
#include "kite/rendering/Configuration.h"
#include "kite/rendering/CustomCommand.h"
#include "kite/rendering/GLProgram.h"
#include "kite/rendering/GLProgramCache.h"
#include "kite/rendering/GLStateCache.h"
#include "kite/rendering/Renderer.h"
#include "kite/scene/Director.h"
#include "kite/scene/Node.h"
#include "kite/scene/ParticleBatchNode.h"
#include "kite/scene/ParticleExamples.h"

namespace {

using namespace kite;

constexpr int kViewport = 64;
constexpr float kStep = 1.0f / 60.0f;

using Stage = bench::GLStage;

void setUp(Stage& made) {
    bench::openGLStage(made, kViewport);
    if (!made.renderer) return;
    Director::getInstance();  // nodes and the default texture reach it; its frame services are replaced below
    bench::installFrameServices(made, kViewport);
}

Stage& stage() { return bench::sharedStage<Stage, setUp>(); }

// The renderer draws the quads from memory, and nothing is uploaded after a step.
class UnuploadedExplosion : public ParticleExplosion {
public:
    void postStep() override {}
};

// Uploads the live quads after a step and draws them from its own buffers with one draw call of its own.
class OwnBufferExplosion : public ParticleExplosion {
public:
    bool initWithTotalParticles(int n) override {
        if (!ParticleExplosion::initWithTotalParticles(n)) return false;
        program_ = GLProgramCache::getInstance()->getGLProgram(GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR);
        return program_ != nullptr;
    }
    void postStep() override {
        if (particleIdx <= 0) return;
        glBindBuffer(GL_ARRAY_BUFFER, buffersVBO[0]);
        glBufferSubData(GL_ARRAY_BUFFER, 0, static_cast<GLsizeiptr>(sizeof(PosColorTexQuad)) * particleIdx,
                        quads.data());
        glBindBuffer(GL_ARRAY_BUFFER, 0);
    }
    void draw(Renderer* renderer, const Mat4& transform, uint32_t flags) override {
        if (particleIdx <= 0 || !texture || !VAOname) return;
        transform_ = transform;
        command_.init(globalZOrder, transform_, flags);
        command_.func = [this, renderer] { drawOwnBuffers(renderer); };
        renderer->addCommand(&command_);
    }

private:
    void drawOwnBuffers(Renderer* renderer) {
        program_->use();
        program_->setUniformsForBuiltins(transform_);
        GLStateCache::bindTexture2D(texture->getName());
        GLStateCache::blendFunc(blendFunc.src, blendFunc.dst);
        GLStateCache::bindVAO(VAOname);
        glDrawElements(GL_TRIANGLES, particleIdx * 6, GL_UNSIGNED_SHORT, nullptr);
        GLStateCache::bindVAO(0);
        renderer->addDrawnBatches(1);
        renderer->addDrawnVertices(particleIdx * 6);
    }

    GLProgram* program_ = nullptr;
    Mat4 transform_;
    CustomCommand command_;
};

// An explosion that never stops emitting, so that it stays full.
template <class Explosion>
Explosion* steadyExplosion(int i, int particles) {
    auto* explosion = new (std::nothrow) Explosion();
    if (!explosion || !explosion->initWithTotalParticles(particles)) {
        delete explosion;
        return nullptr;
    }
    explosion->autorelease();
    explosion->setDuration(ParticleSystem::DURATION_INFINITY);
    explosion->setPosition(8.0f + 5.0f * static_cast<float>(i % 10), 16.0f + 4.0f * static_cast<float>(i / 10));
    return explosion;
}

template <class Explosion>
void runExplosions(benchmark::State& state, bool batched) {
    const int explosions = static_cast<int>(state.range(0));
    const int particles = static_cast<int>(state.range(1));
    Stage& s = stage();
    Texture2D* texture = s.renderer ? defaultParticleTexture() : nullptr;
    if (!texture || (!batched && !Configuration::getInstance()->supportsVertexArrayObject())) {
        state.SkipWithError("no GL context with vertex array objects");
        return;
    }
    std::srand(1);
    RefPtr<Node> root(Node::create());
    Node* parent = root.get();
    if (batched) {
        parent = ParticleBatchNode::createWithTexture(texture, explosions * particles);
        root->addChild(parent);
    }
    std::vector<ParticleSystem*> systems;
    for (int i = 0; i < explosions; ++i) {
        systems.push_back(steadyExplosion<Explosion>(i, particles));
        parent->addChild(systems.back());
    }
    PoolManager::getInstance()->getCurrentPool()->clear();
    for (int frame = 0; frame < 60; ++frame) {
        for (ParticleSystem* system : systems) system->update(kStep);
    }

    Renderer* renderer = s.renderer.get();
    std::int64_t drawCalls = 0;
    int alive = 0;
    for (auto _ : state) {
        alive = 0;
        for (ParticleSystem* system : systems) {
            system->update(kStep);
            alive += system->getParticleCount();
        }
        drawCalls = bench::drawFrame(renderer, root.get());
    }
    state.counters["draw_calls_per_frame"] = static_cast<double>(drawCalls);
    state.counters["particles"] = static_cast<double>(alive);
}

// Ten explosions of 300 particles; twenty-four of 15, as the game's bursts; one of 10,000.
void workloads(benchmark::internal::Benchmark* b) {
    b->Args({10, 300})->Args({24, 15})->Args({1, 10000})->Unit(benchmark::kMillisecond);
}

void BM_ExplosionsInOneBatch(benchmark::State& state) { runExplosions<ParticleExplosion>(state, true); }
BENCHMARK(BM_ExplosionsInOneBatch)->Args({10, 300})->Unit(benchmark::kMillisecond);

void BM_ExplosionsFromMemoryAfterTheirUpload(benchmark::State& state) {
    runExplosions<ParticleExplosion>(state, false);
}
BENCHMARK(BM_ExplosionsFromMemoryAfterTheirUpload)->Apply(workloads);

void BM_ExplosionsFromMemoryWithoutUpload(benchmark::State& state) {
    runExplosions<UnuploadedExplosion>(state, false);
}
BENCHMARK(BM_ExplosionsFromMemoryWithoutUpload)->Apply(workloads);

void BM_ExplosionsFromTheirOwnBuffers(benchmark::State& state) { runExplosions<OwnBufferExplosion>(state, false); }
BENCHMARK(BM_ExplosionsFromTheirOwnBuffers)->Apply(workloads);

}  // namespace
