// Ten explosions of 300 particles each, kept full, stepped and drawn every frame, in one batch or on their own.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "bench/GLStage.h"
#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/math/Mat4.h"
#include "kite/rendering/Renderer.h"
#include "kite/scene/Director.h"
#include "kite/scene/Node.h"
#include "kite/scene/ParticleBatchNode.h"
#include "kite/scene/ParticleExamples.h"

namespace {

using namespace kite;

constexpr int kViewport = 64;
constexpr int kExplosions = 10;
constexpr int kParticles = 300;
constexpr float kStep = 1.0f / 60.0f;

using Stage = bench::GLStage;

void setUp(Stage& made) {
    bench::openGLStage(made, kViewport);
    if (!made.renderer) return;
    Director::getInstance();  // nodes and the default texture reach it; its frame services are replaced below
    bench::installFrameServices(made, kViewport);
}

Stage& stage() { return bench::sharedStage<Stage, setUp>(); }

// An explosion that never stops emitting, so that it stays at its 300 particles.
ParticleExplosion* steadyExplosion(int i) {
    ParticleExplosion* explosion = ParticleExplosion::createWithTotalParticles(kParticles);
    explosion->setDuration(ParticleSystem::DURATION_INFINITY);
    explosion->setPosition(8.0f + 5.0f * static_cast<float>(i), 32.0f);
    return explosion;
}

void runExplosions(benchmark::State& state, bool batched) {
    Stage& s = stage();
    Texture2D* texture = s.renderer ? defaultParticleTexture() : nullptr;
    if (!texture) {
        state.SkipWithError("no GL context");
        return;
    }
    std::srand(1);
    RefPtr<Node> root(Node::create());
    Node* parent = root.get();
    if (batched) {
        parent = ParticleBatchNode::createWithTexture(texture, kExplosions * kParticles);
        root->addChild(parent);
    }
    std::vector<ParticleSystem*> systems;
    for (int i = 0; i < kExplosions; ++i) {
        systems.push_back(steadyExplosion(i));
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

void BM_ExplosionsInOneBatch(benchmark::State& state) { runExplosions(state, true); }
BENCHMARK(BM_ExplosionsInOneBatch)->Unit(benchmark::kMillisecond);

void BM_ExplosionsOnTheirOwn(benchmark::State& state) { runExplosions(state, false); }
BENCHMARK(BM_ExplosionsOnTheirOwn)->Unit(benchmark::kMillisecond);

}  // namespace
