// A sprite storm: thousands of sprites of one texture moved every frame, drawn on their own or through batch nodes.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#include <vector>

#include "bench/GLStage.h"
#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/SmallObjectPool.h"
#include "kite/foundation/math/Mat4.h"
#include "kite/rendering/DirectorFrameServices.h"
#include "kite/rendering/Renderer.h"
#include "kite/rendering/Texture2D.h"
#include "kite/rendering/TextureAtlas.h"
#include "kite/scene/ActionInterval.h"
#include "kite/scene/ActionManager.h"
#include "kite/scene/Director.h"
#include "kite/scene/Node.h"
#include "kite/scene/Sprite.h"
#include "kite/scene/SpriteBatchNode.h"

namespace {

using namespace kite;

// A small viewport keeps rasterisation out of the figure; every sprite stays inside it.
constexpr int kViewport = 32;

using Stage = bench::GLStage;

void setUp(Stage& made) {
    bench::openGLStage(made, kViewport);
    if (!made.renderer) return;
    Director::getInstance();  // nodes reach it; its frame services are replaced below
    bench::installFrameServices(made, kViewport);
}

Stage& stage() { return bench::sharedStage<Stage, setUp>(); }

// Each sprite runs a move that bounces it across the viewport forever.
Sprite* stormSprite(Texture2D* texture, int i, ActionManager* actions) {
    Sprite* sprite = Sprite::createWithTexture(texture);
    sprite->setPosition(static_cast<float>(4 + i % 24), static_cast<float>(4 + (i / 24) % 24));
    const float dx = static_cast<float>(i % 5) - 2.0f;
    auto* there = MoveBy::create(0.5f, Vec2(dx, 2.0f));
    actions->addAction(RepeatForever::create(Sequence::create(there, there->reverse(), nullptr)), sprite, false);
    return sprite;
}

// Resident memory now and at its peak, in megabytes. Memory per sprite is the difference of the
// resident figures of two runs (say 1,000 and 50,000 sprites, each in a process of its own).
double residentMegabytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Bytes in use: the heap's, with the engine's small-object pool counted by the blocks it handed
// out rather than its slabs. Taken before and after building a tree: what the engine itself holds
// per sprite, apart from the GL driver's memory for the triangles it draws.
double heapBytesInUse() {
    const struct mallinfo2 info = mallinfo2();
    const double heap = static_cast<double>(info.uordblks + info.hblkhd);
    return heap - static_cast<double>(SmallObjectPool::bytesInSlabs()) +
           static_cast<double>(SmallObjectPool::bytesInUse());
}

double peakResidentMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// One frame: actions step, the tree is visited, the renderer draws; glFinish keeps the GPU's
// work inside the frame that made it.
void runFrames(benchmark::State& state, Node* root, ActionManager* actions, Renderer* renderer) {
    std::int64_t drawCalls = 0;
    for (auto _ : state) {
        actions->update(1.0f / 60.0f);
        drawCalls = bench::drawFrame(renderer, root);
    }
    state.counters["draw_calls_per_frame"] = static_cast<double>(drawCalls);
    state.counters["rss_mb"] = residentMegabytes();
    state.counters["peak_rss_mb"] = peakResidentMegabytes();
    state.counters["sprites"] = static_cast<double>(state.range(0));
}

void stopActions(ActionManager* actions, Node* node) {
    actions->removeAllActionsFromTarget(node);
    for (Node* child : node->getChildren()) stopActions(actions, child);
}

// One run: build(root, actions) makes the tree, the frames run, then every action stops.
template <class Build>
void runStorm(benchmark::State& state, Build build) {
    Stage& s = stage();
    if (!s.renderer) {
        state.SkipWithError("no GL context");
        return;
    }
    RefPtr<ActionManager> actions(new ActionManager());
    actions->release();
    RefPtr<Node> root(Node::create());
    build(root.get(), actions.get());
    PoolManager::getInstance()->getCurrentPool()->clear();
    runFrames(state, root.get(), actions.get(), s.renderer.get());
    stopActions(actions.get(), root.get());
}

void BM_SpriteStorm(benchmark::State& state) {
    runStorm(state, [&state](Node* root, ActionManager* actions) {
        for (int i = 0; i < state.range(0); ++i) root->addChild(stormSprite(stage().texture, i, actions));
    });
}
BENCHMARK(BM_SpriteStorm)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);

void BM_SpriteStormBatched(benchmark::State& state) {
    runStorm(state, [&state](Node* root, ActionManager* actions) {
        // An atlas addresses at most 16,384 quads with 16-bit indices: one batch node per that many.
        Texture2D* texture = stage().texture;
        SpriteBatchNode* batch = nullptr;
        for (int i = 0; i < state.range(0); ++i) {
            if (i % TextureAtlas::MAX_CAPACITY == 0) {
                batch = SpriteBatchNode::createWithTexture(texture, TextureAtlas::MAX_CAPACITY);
                root->addChild(batch);
            }
            batch->addChild(stormSprite(texture, i, actions));
        }
    });
}
BENCHMARK(BM_SpriteStormBatched)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);

// The same storm moved the way the other 2D libraries' samples move theirs: one loop over every
// sprite each frame, no action objects. Memory per sprite is measured on this one.
void BM_SpriteStormMovedByLoop(benchmark::State& state) {
    Stage& s = stage();
    if (!s.renderer) {
        state.SkipWithError("no GL context");
        return;
    }
    const int count = static_cast<int>(state.range(0));
    std::vector<Sprite*> sprites;
    std::vector<Vec2> velocities;
    sprites.reserve(count);
    velocities.reserve(count);
    const double heapBefore = heapBytesInUse();
    RefPtr<Node> root(Node::create());
    for (int i = 0; i < count; ++i) {
        Sprite* sprite = Sprite::createWithTexture(s.texture);
        sprite->setPosition(static_cast<float>(4 + i % 24), static_cast<float>(4 + (i / 24) % 24));
        root->addChild(sprite);
        sprites.push_back(sprite);
        velocities.emplace_back((static_cast<float>(i % 5) - 2.0f) * 2.0f, 4.0f);
    }
    PoolManager::getInstance()->getCurrentPool()->clear();
    state.counters["heap_bytes_per_sprite"] = (heapBytesInUse() - heapBefore) / count;
    std::int64_t drawCalls = 0;
    int frame = 0;

    for (auto _ : state) {
        // Every sprite turns back each half second (30 frames), as the action storm does.
        const float sign = (frame++ / 30) % 2 == 0 ? 1.0f : -1.0f;
        for (int i = 0; i < count; ++i) {
            const Vec2& p = sprites[i]->getPosition();
            sprites[i]->setPosition(p.x + sign * velocities[i].x / 60.0f, p.y + sign * velocities[i].y / 60.0f);
        }
        drawCalls = bench::drawFrame(s.renderer.get(), root.get());
    }
    state.counters["draw_calls_per_frame"] = static_cast<double>(drawCalls);
    state.counters["rss_mb"] = residentMegabytes();
    state.counters["peak_rss_mb"] = peakResidentMegabytes();
    state.counters["sprites"] = static_cast<double>(count);
}
BENCHMARK(BM_SpriteStormMovedByLoop)->Arg(1000)->Arg(10000)->Arg(50000)->Unit(benchmark::kMillisecond);

}  // namespace
