// The CPU side of a sprite frame: N moving sprites are updated, visited and batched by a renderer
// that hands nothing to GL, so the figure is the engine's own work per sprite.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "bench/GLStage.h"
#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/math/Mat4.h"
#include "kite/rendering/Renderer.h"
#include "kite/scene/ActionInterval.h"
#include "kite/scene/ActionManager.h"
#include "kite/scene/Director.h"
#include "kite/scene/Node.h"
#include "kite/scene/Sprite.h"

namespace {

using namespace kite;

constexpr int kViewport = 32;

// The GL context only makes the texture; the stage's renderer is replaced by one that never flushes.
void setUp(bench::GLStage& made) {
    bench::openGLStage(made, kViewport);
    if (!made.renderer) return;
    Director::getInstance();
    made.renderer = std::make_unique<Renderer>();
    made.renderer->setFlushesToGL(false);
    made.renderer->initGLView();
    bench::installFrameServices(made, kViewport);
}

bench::GLStage& stage() { return bench::sharedStage<bench::GLStage, setUp>(); }

inline void frame(ActionManager* actions, Node* root, Renderer* renderer) {
    actions->update(1.0f / 60.0f);
    root->visit(renderer, Mat4::IDENTITY, FLAGS_TRANSFORM_DIRTY);
    renderer->render();
}

// The measured frames, kept out of line so an instruction count can be taken of them alone
// (valgrind --tool=callgrind --toggle-collect='*spriteFrame*'); the warm-up frame is not counted.
[[gnu::noinline]] void spriteFrame(ActionManager* actions, Node* root, Renderer* renderer) {
    frame(actions, root, renderer);
}

void BM_SpriteFrameWithoutGL(benchmark::State& state) {
    bench::GLStage& s = stage();
    if (!s.renderer) {
        state.SkipWithError("no GL context");
        return;
    }
    const int count = static_cast<int>(state.range(0));
    RefPtr<ActionManager> actions(new ActionManager());
    actions->release();
    RefPtr<Node> root(Node::create());
    for (int i = 0; i < count; ++i) {
        Sprite* sprite = Sprite::createWithTexture(s.texture);
        sprite->setPosition(static_cast<float>(4 + i % 24), static_cast<float>(4 + (i / 24) % 24));
        auto* there = MoveBy::create(0.5f, Vec2(static_cast<float>(i % 5) - 2.0f, 2.0f));
        actions->addAction(RepeatForever::create(Sequence::create(there, there->reverse(), nullptr)), sprite, false);
        root->addChild(sprite);
    }
    PoolManager::getInstance()->getCurrentPool()->clear();
    Renderer* renderer = s.renderer.get();
    frame(actions.get(), root.get(), renderer);  // first touches and the actions' start
    for (auto _ : state) spriteFrame(actions.get(), root.get(), renderer);
    state.SetItemsProcessed(state.iterations() * count);
    state.counters["ns_per_sprite"] = benchmark::Counter(static_cast<double>(state.iterations() * count),
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    for (Node* child : root->getChildren()) actions->removeAllActionsFromTarget(child);
}
BENCHMARK(BM_SpriteFrameWithoutGL)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);

// The same frame with the sprites moved by one loop over them, as the other 2D libraries' samples
// move theirs: the engine's own work without the actions.
[[gnu::noinline]] void loopFrame(std::vector<Sprite*>& sprites, float step, Node* root, Renderer* renderer) {
    for (std::size_t i = 0; i < sprites.size(); ++i) {
        const Vec2& p = sprites[i]->getPosition();
        const float dx = (static_cast<float>(i % 5) - 2.0f) * step;
        sprites[i]->setPosition(p.x + dx, p.y + 2.0f * step);
    }
    root->visit(renderer, Mat4::IDENTITY, FLAGS_TRANSFORM_DIRTY);
    renderer->render();
}

void BM_SpriteFrameMovedByLoopWithoutGL(benchmark::State& state) {
    bench::GLStage& s = stage();
    if (!s.renderer) {
        state.SkipWithError("no GL context");
        return;
    }
    const int count = static_cast<int>(state.range(0));
    RefPtr<Node> root(Node::create());
    std::vector<Sprite*> sprites;
    sprites.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        Sprite* sprite = Sprite::createWithTexture(s.texture);
        sprite->setPosition(static_cast<float>(4 + i % 24), static_cast<float>(4 + (i / 24) % 24));
        root->addChild(sprite);
        sprites.push_back(sprite);
    }
    PoolManager::getInstance()->getCurrentPool()->clear();
    Renderer* renderer = s.renderer.get();
    int frame = 0;
    for (auto _ : state) {
        // Back and forth every half second (30 frames), as the actions move them.
        const float step = ((frame++ / 30) % 2 == 0 ? 1.0f : -1.0f) / 30.0f;
        loopFrame(sprites, step, root.get(), renderer);
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.counters["ns_per_sprite"] = benchmark::Counter(static_cast<double>(state.iterations() * count),
                                                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SpriteFrameMovedByLoopWithoutGL)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);

}  // namespace
