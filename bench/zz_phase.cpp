#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <memory>
#include "bench/GLStage.h"
#include "kite/foundation/AutoreleasePool.h"
#include "kite/rendering/Renderer.h"
#include "kite/scene/ActionInterval.h"
#include "kite/scene/ActionManager.h"
#include "kite/scene/Director.h"
#include "kite/scene/Sprite.h"
using namespace kite;
namespace {
void setUp(bench::GLStage& made) {
    bench::openGLStage(made, 32);
    Director::getInstance();
    made.renderer = std::make_unique<Renderer>();
    made.renderer->setFlushesToGL(false);
    made.renderer->initGLView();
    bench::installFrameServices(made, 32);
}
void BM_Phase(benchmark::State& state) {
    bench::GLStage& s = bench::sharedStage<bench::GLStage, setUp>();
    const int count = state.range(0);
    RefPtr<ActionManager> actions(new ActionManager()); actions->release();
    RefPtr<Node> root(Node::create());
    for (int i = 0; i < count; ++i) {
        Sprite* sprite = Sprite::createWithTexture(s.texture);
        sprite->setPosition(4 + i % 24, 4 + (i / 24) % 24);
        auto* there = MoveBy::create(0.5f, Vec2(i % 5 - 2.0f, 2.0f));
        actions->addAction(RepeatForever::create(Sequence::create(there, there->reverse(), nullptr)), sprite, false);
        root->addChild(sprite);
    }
    PoolManager::getInstance()->getCurrentPool()->clear();
    double tu = 0, tv = 0, tr = 0; int n = 0;
    using C = std::chrono::steady_clock;
    for (auto _ : state) {
        auto a = C::now(); actions->update(1.0f / 60.0f);
        auto b = C::now(); root->visit(s.renderer.get(), Mat4::IDENTITY, FLAGS_TRANSFORM_DIRTY);
        auto c = C::now(); s.renderer->render();
        auto d = C::now();
        tu += std::chrono::duration<double, std::nano>(b - a).count(); tv += std::chrono::duration<double, std::nano>(c - b).count(); tr += std::chrono::duration<double, std::nano>(d - c).count(); ++n;
    }
    state.counters["update"] = tu / n / count; state.counters["visit"] = tv / n / count; state.counters["render"] = tr / n / count;
    for (Node* child : root->getChildren()) actions->removeAllActionsFromTarget(child);
}
BENCHMARK(BM_Phase)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);
}
