#include "kite/scene/EventDispatcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventCustom.h"
#include "kite/scene/EventListenerCustom.h"
#include "kite/scene/EventListenerTouch.h"
#include "kite/scene/EventTouch.h"
#include "kite/scene/Node.h"
#include "kite/scene/Scene.h"
#include "kite/scene/Touch.h"
#include "platform/Clock.h"
#include "support/DirectorShutdown.h"

namespace kite {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// A running scene for the scene-graph order, and a dispatcher of the test's own.
class EventDispatcherTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::Clock::setFixed(1000.0);
        scene = Scene::create();
        Director::getInstance()->runWithScene(scene);
        Director::getInstance()->mainLoop();
        ASSERT_TRUE(scene->isRunning());
        dispatcher = new EventDispatcher();
        dispatcher->setEnabled(true);
    }
    void TearDown() override {
        for (Touch* t : touches) t->release();
        if (dispatcher) dispatcher->release();
        test::shutDownDirector();
        platform::Clock::useRealTime();
    }

    Node* addNode(Node* parent, int localZ, float globalZ = 0.0f) {
        Node* node = Node::create();
        node->setGlobalZOrder(globalZ);
        parent->addChild(node, localZ);
        return node;
    }

    // A one-by-one listener that logs "name:phase" and claims every touch.
    EventListenerTouchOneByOne* touchLogger(const std::string& name, bool claim = true, bool swallow = false) {
        auto* l = EventListenerTouchOneByOne::create();
        l->setSwallowTouches(swallow);
        l->onTouchBegan = [this, name, claim](Touch* t, Event*) {
            log.push_back(name + ":began" + std::to_string(t->getId()));
            return claim;
        };
        l->onTouchMoved = [this, name](Touch* t, Event*) {
            log.push_back(name + ":moved" + std::to_string(t->getId()));
        };
        l->onTouchEnded = [this, name](Touch* t, Event*) {
            log.push_back(name + ":ended" + std::to_string(t->getId()));
        };
        return l;
    }

    EventListenerCustom* customLogger(const std::string& eventName, const std::string& name) {
        return EventListenerCustom::create(eventName, [this, name](EventCustom*) { log.push_back(name); });
    }

    Touch* touch(int id) {
        Touch* t = new Touch();
        t->setTouchInfo(id, 10.0f * id, 20.0f * id);
        touches.push_back(t);
        return t;
    }

    void dispatchTouches(EventTouch::EventCode code, const std::vector<Touch*>& list) {
        EventTouch event;
        event.setEventCode(code);
        event.setTouches(list);
        dispatcher->dispatchEvent(&event);
    }

    Scene* scene = nullptr;
    EventDispatcher* dispatcher = nullptr;
    std::vector<Touch*> touches;
    std::vector<std::string> log;
};

TEST_F(EventDispatcherTest, NegativeFixedThenNodesTopMostFirstThenPositiveFixed) {
    Node* back = addNode(scene, 0);
    Node* front = addNode(scene, 1);
    dispatcher->addEventListenerWithFixedPriority(touchLogger("fixed+1", false), 1);
    dispatcher->addEventListenerWithSceneGraphPriority(touchLogger("back", false), back);
    dispatcher->addEventListenerWithFixedPriority(touchLogger("fixed-1", false), -1);
    dispatcher->addEventListenerWithSceneGraphPriority(touchLogger("front", false), front);
    dispatcher->addEventListenerWithFixedPriority(touchLogger("fixed-5", false), -5);

    dispatchTouches(EventTouch::EventCode::BEGAN, {touch(0)});
    EXPECT_THAT(log, ElementsAre("fixed-5:began0", "fixed-1:began0", "front:began0", "back:began0", "fixed+1:began0"));
}

TEST_F(EventDispatcherTest, NodeOrderFollowsGlobalZThenDrawingOrder) {
    Node* parent = addNode(scene, 0);
    Node* behindParent = addNode(parent, -1);
    Node* aboveParent = addNode(parent, 0);
    Node* laterSibling = addNode(scene, 0);
    Node* lifted = addNode(scene, -5, 1.0f);  // global Z 1 beats every node at 0
    for (auto [node, name] : std::vector<std::pair<Node*, std::string>>{{parent, "parent"},
                                                                        {behindParent, "behindParent"},
                                                                        {aboveParent, "aboveParent"},
                                                                        {laterSibling, "laterSibling"},
                                                                        {lifted, "lifted"}})
        dispatcher->addEventListenerWithSceneGraphPriority(touchLogger(name, false), node);

    dispatchTouches(EventTouch::EventCode::BEGAN, {touch(0)});
    EXPECT_THAT(log, ElementsAre("lifted:began0", "laterSibling:began0", "aboveParent:began0", "parent:began0",
                                 "behindParent:began0"));

    // A changed order is picked up at the next dispatch.
    log.clear();
    behindParent->setLocalZOrder(5);
    dispatcher->setDirtyForNode(behindParent);
    parent->sortAllChildren();
    dispatchTouches(EventTouch::EventCode::BEGAN, {touch(1)});
    EXPECT_EQ(log[1], "laterSibling:began1");
    EXPECT_EQ(log[2], "behindParent:began1");
}

TEST_F(EventDispatcherTest, MovedAndEndedTouchesReachOnlyTheirClaimers) {
    Node* a = addNode(scene, 0);
    Node* b = addNode(scene, 1);
    dispatcher->addEventListenerWithSceneGraphPriority(touchLogger("a", true), a);
    auto* picky = touchLogger("b", false);
    dispatcher->addEventListenerWithSceneGraphPriority(picky, b);

    Touch* t = touch(0);
    dispatchTouches(EventTouch::EventCode::BEGAN, {t});
    dispatchTouches(EventTouch::EventCode::MOVED, {t});
    dispatchTouches(EventTouch::EventCode::ENDED, {t});
    EXPECT_THAT(log, ElementsAre("b:began0", "a:began0", "a:moved0", "a:ended0"));
}

TEST_F(EventDispatcherTest, SwallowedTouchReachesNoLaterListener) {
    Node* back = addNode(scene, 0);
    Node* front = addNode(scene, 1);
    dispatcher->addEventListenerWithSceneGraphPriority(touchLogger("front", true, true), front);
    dispatcher->addEventListenerWithSceneGraphPriority(touchLogger("back"), back);
    dispatchTouches(EventTouch::EventCode::BEGAN, {touch(0)});
    dispatchTouches(EventTouch::EventCode::ENDED, {touches[0]});
    EXPECT_THAT(log, ElementsAre("front:began0", "front:ended0"));
}

TEST_F(EventDispatcherTest, AllAtOnceListenersGetTheTouchesLeftUnswallowed) {
    Node* front = addNode(scene, 1);
    auto* swallowFirst = EventListenerTouchOneByOne::create();
    swallowFirst->setSwallowTouches(true);
    swallowFirst->onTouchBegan = [](Touch* t, Event*) { return t->getId() == 0; };
    dispatcher->addEventListenerWithSceneGraphPriority(swallowFirst, front);

    std::vector<std::vector<int>> received;
    auto* all = EventListenerTouchAllAtOnce::create();
    all->onTouchesBegan = [&](const std::vector<Touch*>& list, Event*) {
        std::vector<int> ids;
        for (Touch* t : list) ids.push_back(t->getId());
        received.push_back(ids);
    };
    dispatcher->addEventListenerWithFixedPriority(all, 1);

    dispatchTouches(EventTouch::EventCode::BEGAN, {touch(0), touch(1), touch(2)});
    ASSERT_EQ(received.size(), 1u);
    EXPECT_THAT(received[0], ElementsAre(1, 2));

    // Every touch swallowed: the all-at-once listener is not called.
    dispatchTouches(EventTouch::EventCode::BEGAN, {touch(0)});
    EXPECT_EQ(received.size(), 1u);
}

TEST_F(EventDispatcherTest, StoppingTheEventEndsTheWalk) {
    dispatcher->addEventListenerWithFixedPriority(EventListenerCustom::create("e",
                                                                              [this](EventCustom* e) {
                                                                                  log.push_back("first");
                                                                                  e->stopPropagation();
                                                                              }),
                                                  1);
    dispatcher->addEventListenerWithFixedPriority(customLogger("e", "second"), 2);
    dispatcher->dispatchCustomEvent("e");
    EXPECT_THAT(log, ElementsAre("first"));
}

TEST_F(EventDispatcherTest, ListenerAddedDuringDispatchHearsOnlyTheNextEvent) {
    dispatcher->addCustomEventListener("e", [this](EventCustom*) {
        log.push_back("adder");
        if (log.size() == 1) dispatcher->addEventListenerWithFixedPriority(customLogger("e", "added"), 5);
    });
    dispatcher->dispatchCustomEvent("e");
    EXPECT_THAT(log, ElementsAre("adder"));
    dispatcher->dispatchCustomEvent("e");
    EXPECT_THAT(log, ElementsAre("adder", "adder", "added"));
}

TEST_F(EventDispatcherTest, ListenerRemovedDuringDispatchIsSkippedAndReleasedAfterIt) {
    EventListenerCustom* victim = customLogger("e", "victim");
    victim->retain();
    dispatcher->addCustomEventListener("e", [&](EventCustom*) {
        log.push_back("remover");
        dispatcher->removeEventListener(victim);
        EXPECT_GT(victim->getReferenceCount(), 1u);  // still held while the walk runs
    });
    dispatcher->addEventListenerWithFixedPriority(victim, 2);
    dispatcher->dispatchCustomEvent("e");
    EXPECT_THAT(log, ElementsAre("remover"));
    EXPECT_FALSE(victim->isRegistered());
    EXPECT_EQ(victim->getReferenceCount(), 2u);  // the pool's and ours
    victim->release();
}

TEST_F(EventDispatcherTest, ListenerRemovedAndAddedBackDuringDispatchIsCalledAtMostOnce) {
    EventListenerCustom* bouncer = nullptr;
    int bounces = 0;
    bouncer = EventListenerCustom::create("e", [&](EventCustom*) {
        log.push_back("bouncer");
        if (bounces++ == 0) {
            dispatcher->removeEventListener(bouncer);
            dispatcher->addEventListenerWithFixedPriority(bouncer, 1);
        }
    });
    dispatcher->addEventListenerWithFixedPriority(bouncer, 1);
    dispatcher->addEventListenerWithFixedPriority(customLogger("e", "after"), 2);
    dispatcher->dispatchCustomEvent("e");
    EXPECT_THAT(log, ElementsAre("bouncer", "after"));
    log.clear();
    dispatcher->dispatchCustomEvent("e");
    EXPECT_THAT(log, ElementsAre("bouncer", "after"));  // registered once, not twice
    EXPECT_EQ(bouncer->getReferenceCount(), 2u);        // the pool's and the dispatcher's
}

TEST_F(EventDispatcherTest, ARegisteredListenerIsRefusedAndHearsEachTouchOnce) {
    Node* first = addNode(scene, 0);
    Node* second = addNode(scene, 1);
    EventListenerTouchOneByOne* shared = touchLogger("shared", false);
    dispatcher->addEventListenerWithSceneGraphPriority(shared, first);
    ::testing::internal::CaptureStdout();
    dispatcher->addEventListenerWithSceneGraphPriority(shared, second);
    dispatcher->addEventListenerWithFixedPriority(shared, 3);
    EXPECT_NE(::testing::internal::GetCapturedStdout().find("registered already"), std::string::npos);
    EXPECT_EQ(shared->getAssociatedNode(), first);
    dispatchTouches(EventTouch::EventCode::BEGAN, {touch(0)});
    EXPECT_THAT(log, ElementsAre("shared:began0"));

    // The node that really holds it goes: nothing is left behind to reach later.
    dispatcher->removeEventListenersForTarget(first);
    scene->removeChild(first);
    log.clear();
    dispatchTouches(EventTouch::EventCode::BEGAN, {touch(1)});
    EXPECT_THAT(log, IsEmpty());
    dispatcher->addEventListenerWithSceneGraphPriority(shared, second);
    dispatchTouches(EventTouch::EventCode::BEGAN, {touch(2)});
    EXPECT_THAT(log, ElementsAre("shared:began2"));
}

TEST_F(EventDispatcherTest, DispatchDepthIsRestoredAfterNestedAndFailingCallbacks) {
    dispatcher->addCustomEventListener("outer", [this](EventCustom*) {
        log.push_back("outer");
        dispatcher->dispatchCustomEvent("inner");
    });
    dispatcher->addCustomEventListener("inner", [this](EventCustom*) { log.push_back("inner"); });
    dispatcher->addCustomEventListener("throws", [](EventCustom*) { throw std::runtime_error("callback failed"); });
    dispatcher->dispatchCustomEvent("outer");
    EXPECT_THROW(dispatcher->dispatchCustomEvent("throws"), std::runtime_error);

    // Outside any dispatch a new listener is registered at once and hears the next event.
    dispatcher->addCustomEventListener("late", [this](EventCustom*) { log.push_back("late"); });
    dispatcher->dispatchCustomEvent("late");
    EXPECT_THAT(log, ElementsAre("outer", "inner", "late"));
}

TEST_F(EventDispatcherTest, UnregisteredTouchListenerForgetsItsClaimedTouches) {
    Node* node = addNode(scene, 0);
    auto* listener = touchLogger("a");
    listener->retain();
    dispatcher->addEventListenerWithSceneGraphPriority(listener, node);
    dispatchTouches(EventTouch::EventCode::BEGAN, {touch(0)});
    EXPECT_EQ(listener->getClaimedTouches().size(), 1u);
    dispatcher->removeEventListener(listener);
    EXPECT_THAT(listener->getClaimedTouches(), IsEmpty());
    listener->release();
}

TEST_F(EventDispatcherTest, ListenerThatMissesTheEndOfItsTouchForgetsItAnyway) {
    Node* node = addNode(scene, 0);
    auto* listener = touchLogger("a");
    dispatcher->addEventListenerWithSceneGraphPriority(listener, node);
    Touch* t = touch(0);
    dispatchTouches(EventTouch::EventCode::BEGAN, {t});
    dispatcher->pauseEventListenersForTarget(node);
    dispatchTouches(EventTouch::EventCode::ENDED, {t});  // not heard: paused
    EXPECT_THAT(listener->getClaimedTouches(), IsEmpty());
    EXPECT_THAT(log, ElementsAre("a:began0"));
}

TEST_F(EventDispatcherTest, RemovingAllKeepsTheInternalListenersUntilTheDispatcherGoes) {
    EventListenerCustom* foreground =
        dispatcher->addCustomEventListener("event_come_to_foreground", [](EventCustom*) {});
    foreground->retain();
    dispatcher->addCustomEventListener("game", [this](EventCustom*) { log.push_back("game"); });
    dispatcher->removeAllEventListeners();
    dispatcher->dispatchCustomEvent("game");
    EXPECT_THAT(log, IsEmpty());
    EXPECT_TRUE(foreground->isRegistered());
    dispatcher->release();
    dispatcher = nullptr;
    EXPECT_FALSE(foreground->isRegistered());
    EXPECT_EQ(foreground->getReferenceCount(), 2u);  // the pool's and ours
    foreground->release();
}

TEST_F(EventDispatcherTest, RemovingATargetRemovesItsListenersAndChildrensWhenRecursive) {
    Node* parent = addNode(scene, 0);
    Node* child = addNode(parent, 0);
    dispatcher->addEventListenerWithSceneGraphPriority(touchLogger("parent", false), parent);
    dispatcher->addEventListenerWithSceneGraphPriority(touchLogger("child", false), child);
    dispatcher->removeEventListenersForTarget(parent, true);
    dispatchTouches(EventTouch::EventCode::BEGAN, {touch(0)});
    EXPECT_THAT(log, IsEmpty());
}

TEST_F(EventDispatcherTest, PausedDisabledAndUnavailableListenersHearNothing) {
    Node* node = addNode(scene, 0);
    auto* paused = touchLogger("paused", false);
    dispatcher->addEventListenerWithSceneGraphPriority(paused, node);
    dispatcher->pauseEventListenersForTarget(node);
    auto* disabled = touchLogger("disabled", false);
    disabled->setEnabled(false);
    dispatcher->addEventListenerWithFixedPriority(disabled, 1);
    auto* noBegan = EventListenerTouchOneByOne::create();
    dispatcher->addEventListenerWithFixedPriority(noBegan, 2);
    EXPECT_FALSE(noBegan->isRegistered());

    dispatchTouches(EventTouch::EventCode::BEGAN, {touch(0)});
    EXPECT_THAT(log, IsEmpty());
    dispatcher->resumeEventListenersForTarget(node);
    dispatchTouches(EventTouch::EventCode::BEGAN, {touch(1)});
    EXPECT_THAT(log, ElementsAre("paused:began1"));
}

TEST_F(EventDispatcherTest, NodeListenersFollowTheirNodesInAndOutOfTheScene) {
    EventDispatcher* shared = Director::getInstance()->getEventDispatcher();
    shared->setEnabled(true);
    Node* node = Node::create();
    node->retain();
    EXPECT_EQ(node->getEventDispatcher(), shared);
    auto* listener = touchLogger("node", false);
    shared->addEventListenerWithSceneGraphPriority(listener, node);
    EXPECT_TRUE(listener->isPaused());  // not on stage yet

    auto dispatchShared = [&](int id) {
        EventTouch event;
        event.setTouches({touch(id)});
        shared->dispatchEvent(&event);
    };
    scene->addChild(node);
    dispatchShared(0);
    node->removeFromParentAndCleanup(false);
    dispatchShared(1);
    EXPECT_THAT(log, ElementsAre("node:began0"));

    // Z-order changes re-sort at the next dispatch.
    Node* other = addNode(scene, 1);
    shared->addEventListenerWithSceneGraphPriority(touchLogger("other", false), other);
    scene->addChild(node, 0);
    scene->sortAllChildren();  // as the next visit would
    log.clear();
    dispatchShared(2);
    node->setLocalZOrder(2);
    scene->sortAllChildren();
    dispatchShared(3);
    EXPECT_THAT(log, ElementsAre("other:began2", "node:began2", "node:began3", "other:began3"));

    // A node that dies takes its listeners with it.
    listener->retain();
    node->removeFromParent();
    node->release();
    PoolManager::getInstance()->getCurrentPool()->clear();
    EXPECT_FALSE(listener->isRegistered());
    listener->release();
}

TEST_F(EventDispatcherTest, DirectorAnnouncesEachFramesStepsWithItselfAsData) {
    Director* director = Director::getInstance();
    EventDispatcher* shared = director->getEventDispatcher();
    shared->setEnabled(true);
    for (const char* name : {"director_after_draw", "director_after_visit", "director_after_update"}) {
        shared->addCustomEventListener(name, [this, name, director](EventCustom* e) {
            EXPECT_EQ(e->getUserData(), director);
            log.push_back(name);
        });
    }
    director->mainLoop();
    EXPECT_THAT(log, ElementsAre("director_after_update", "director_after_visit", "director_after_draw"));
}

TEST_F(EventDispatcherTest, DisabledDispatcherDeliversNothing) {
    dispatcher->addCustomEventListener("e", [this](EventCustom*) { log.push_back("e"); });
    dispatcher->setEnabled(false);
    dispatcher->dispatchCustomEvent("e");
    EXPECT_THAT(log, IsEmpty());
}

TEST_F(EventDispatcherTest, AListenerIsFiledUnderTheIdItWasGiven) {
    std::vector<std::string> heard;
    auto* listener =
        EventListenerCustom::create("score_changed", [&](EventCustom* e) { heard.push_back(e->getEventName()); });
    listener->setListenerID("level_done");
    EXPECT_EQ(listener->getListenerID(), "level_done");
    dispatcher->addEventListenerWithFixedPriority(listener, 1);
    EventCustom scoreChanged("score_changed");
    EventCustom levelDone("level_done");
    dispatcher->dispatchEvent(&scoreChanged);
    dispatcher->dispatchEvent(&levelDone);
    EXPECT_THAT(heard, ElementsAre("level_done"));
    dispatcher->removeEventListenersForListenerID("level_done");
    EXPECT_FALSE(listener->isRegistered());
    dispatcher->dispatchEvent(&levelDone);
    EXPECT_THAT(heard, ElementsAre("level_done"));
}

}  // namespace
}  // namespace kite
