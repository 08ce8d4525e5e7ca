// Event dispatch: a touch through N scene-graph listeners, with and without a re-sort, and a custom event.
#include <benchmark/benchmark.h>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventCustom.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventListenerCustom.h"
#include "kite/scene/EventListenerTouch.h"
#include "kite/scene/EventTouch.h"
#include "kite/scene/Node.h"
#include "kite/scene/Scene.h"
#include "kite/scene/Touch.h"

namespace {

using namespace kite;

// A running scene of `count` nodes, each with a one-by-one listener that claims nothing.
struct Stage {
    explicit Stage(int count) {
        director = Director::getInstance();
        dispatcher = director->getEventDispatcher();
        dispatcher->setEnabled(true);
        scene = Scene::create();
        director->runWithScene(scene);
        director->mainLoop();
        for (int i = 0; i < count; ++i) {
            Node* node = Node::create();
            scene->addChild(node, i % 7 - 3);
            auto* listener = EventListenerTouchOneByOne::create();
            listener->onTouchBegan = [](Touch*, Event*) { return false; };
            dispatcher->addEventListenerWithSceneGraphPriority(listener, node);
        }
        scene->sortAllChildren();
        touch = new Touch();
        touch->setTouchInfo(0, 10.0f, 10.0f);
        PoolManager::getInstance()->getCurrentPool()->clear();
    }
    ~Stage() {
        touch->release();
        director->end();
        director->mainLoop();
        PoolManager::getInstance()->getCurrentPool()->clear();
    }
    void dispatchTouch() {
        EventTouch event;
        event.setTouches({touch});
        dispatcher->dispatchEvent(&event);
    }

    Director* director = nullptr;
    EventDispatcher* dispatcher = nullptr;
    Scene* scene = nullptr;
    Touch* touch = nullptr;
};

void TouchThroughSortedListeners(benchmark::State& state) {
    Stage stage(static_cast<int>(state.range(0)));
    for (auto _ : state) stage.dispatchTouch();
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(TouchThroughSortedListeners)->Arg(10)->Arg(100)->Arg(1000);

// Every dispatch after an order change walks the scene graph and sorts again.
void TouchAfterAnOrderChange(benchmark::State& state) {
    Stage stage(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        stage.dispatcher->setDirtyForNode(stage.scene);
        stage.dispatchTouch();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(TouchAfterAnOrderChange)->Arg(10)->Arg(100)->Arg(1000);

void CustomEventToTenListeners(benchmark::State& state) {
    Stage stage(0);
    int heard = 0;
    for (int i = 0; i < 10; ++i) stage.dispatcher->addCustomEventListener("tick", [&heard](EventCustom*) { ++heard; });
    EventCustom event("tick");
    for (auto _ : state) stage.dispatcher->dispatchEvent(&event);
    benchmark::DoNotOptimize(heard);
}
BENCHMARK(CustomEventToTenListeners);

}  // namespace
