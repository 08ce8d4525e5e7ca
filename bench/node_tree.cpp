// Cost of walking a node tree each frame: a still tree, a tree whose every node moved, and
// building and sorting a parent's children (time per iteration is one frame or one build).
#include <benchmark/benchmark.h>

#include <vector>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/math/Mat4.h"
#include "kite/scene/Node.h"

namespace {

// 10 layers of 100 leaves each under one root: the shape of a board screen.
kite::Node* buildTree(std::vector<kite::Node*>* all) {
    kite::Node* root = kite::Node::create();
    root->retain();
    for (int l = 0; l < 10; ++l) {
        kite::Node* layer = kite::Node::create();
        root->addChild(layer, l);
        all->push_back(layer);
        for (int i = 0; i < 100; ++i) {
            kite::Node* leaf = kite::Node::create();
            leaf->setContentSize(kite::Size(40, 40));
            leaf->setAnchorPoint(kite::Vec2(0.5f, 0.5f));
            leaf->setPosition(static_cast<float>(i % 10) * 48, static_cast<float>(i / 10) * 48);
            layer->addChild(leaf, 100 - i);
            all->push_back(leaf);
        }
    }
    root->visit(nullptr, kite::Mat4::IDENTITY, 0);
    return root;
}

void BM_VisitStillTree(benchmark::State& state) {
    std::vector<kite::Node*> all;
    kite::Node* root = buildTree(&all);
    for (auto _ : state) root->visit(nullptr, kite::Mat4::IDENTITY, 0);
    root->release();
    kite::PoolManager::getInstance()->getCurrentPool()->clear();
}

void BM_VisitTreeWhereEveryNodeMoved(benchmark::State& state) {
    std::vector<kite::Node*> all;
    kite::Node* root = buildTree(&all);
    float x = 0.0f;
    for (auto _ : state) {
        x += 1.0f;
        for (kite::Node* node : all) node->setPositionX(x);
        root->visit(nullptr, kite::Mat4::IDENTITY, 0);
    }
    root->release();
    kite::PoolManager::getInstance()->getCurrentPool()->clear();
}

void BM_AddThousandChildrenThenSortOnce(benchmark::State& state) {
    for (auto _ : state) {
        kite::Node* parent = kite::Node::create();
        for (int i = 0; i < 1000; ++i) parent->addChild(kite::Node::create(), (i * 7919) % 13);
        parent->sortAllChildren();
        benchmark::DoNotOptimize(parent->getChildren().front());
        kite::PoolManager::getInstance()->getCurrentPool()->clear();
    }
}

BENCHMARK(BM_VisitStillTree);
BENCHMARK(BM_VisitTreeWhereEveryNodeMoved);
BENCHMARK(BM_AddThousandChildrenThenSortOnce);

}  // namespace
