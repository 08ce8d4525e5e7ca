// The action manager: per-frame stepping, removal and addition from inside a step, pausing, short memory.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ActionTestSupport.h"
#include "SceneDrawSupport.h"
#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Create.h"
#include "kite/foundation/Scheduler.h"
#include "kite/scene/Action.h"
#include "kite/scene/ActionInstant.h"
#include "kite/scene/ActionInterval.h"
#include "kite/scene/ActionManager.h"
#include "kite/scene/Director.h"
#include "kite/scene/Layer.h"
#include "kite/scene/Node.h"

using ::testing::ElementsAre;

namespace kite {
namespace {

// An action that records its steps and runs a hook inside them.
class Probe : public Action {
public:
    static Probe* make(std::vector<std::string>* journal, const std::string& name, int stepsUntilDone = 1000) {
        auto* probe = createAutoreleased<Probe>();
        probe->journal_ = journal;
        probe->name_ = name;
        probe->stepsLeft_ = stepsUntilDone;
        return probe;
    }
    bool init() { return true; }
    void step(float) override {
        journal_->push_back(name_ + ".step");
        --stepsLeft_;
        if (onStep) onStep();
    }
    bool isDone() const override { return stepsLeft_ <= 0; }
    void stop() override {
        journal_->push_back(name_ + ".stop");
        Action::stop();
    }
    ~Probe() override {
        if (destroyed) *destroyed = true;
    }

    std::function<void()> onStep;
    bool* destroyed = nullptr;

private:
    std::vector<std::string>* journal_ = nullptr;
    std::string name_;
    int stepsLeft_ = 0;
};

class ActionManagerTest : public test::ActionFixture {
protected:
    void TearDown() override {
        test::ActionFixture::TearDown();
        actionManagerFailAllocation(-1);
    }

    std::vector<std::string> journal;
};

TEST_F(ActionManagerTest, ActionsStepInOrderAddedAndFinishedOnesStopAndLeave) {
    manager->addAction(Probe::make(&journal, "a", 1), node, false);
    manager->addAction(Probe::make(&journal, "b", 2), node, false);
    manager->update(1 / 60.f);
    manager->update(1 / 60.f);
    manager->update(1 / 60.f);
    EXPECT_THAT(journal, ElementsAre("a.step", "a.stop", "b.step", "b.step", "b.stop"));
    EXPECT_EQ(manager->getNumberOfRunningActionsInTarget(node), 0u);
}

TEST_F(ActionManagerTest, ManagerHoldsTheNodeWhileItHasActions) {
    unsigned before = node->getReferenceCount();
    manager->addAction(Probe::make(&journal, "a", 1), node, false);
    EXPECT_EQ(node->getReferenceCount(), before + 1);
    manager->update(0.f);
    EXPECT_EQ(node->getReferenceCount(), before);
}

TEST_F(ActionManagerTest, ActionRemovingItselfIsKeptAliveUntilItsStepReturnsAndNotStopped) {
    bool destroyed = false;
    Probe* self = Probe::make(&journal, "a");
    self->destroyed = &destroyed;
    self->onStep = [&] {
        manager->removeAction(self);
        EXPECT_FALSE(destroyed);
    };
    manager->addAction(self, node, false);
    PoolManager::getInstance()->getCurrentPool()->clear();
    manager->update(0.f);
    EXPECT_TRUE(destroyed);
    EXPECT_THAT(journal, ElementsAre("a.step"));
    EXPECT_EQ(manager->getNumberOfRunningActionsInTarget(node), 0u);
}

TEST_F(ActionManagerTest, RemovingAnEarlierActionDoesNotSkipTheNext) {
    Probe* a = Probe::make(&journal, "a");
    Probe* b = Probe::make(&journal, "b");
    Probe* c = Probe::make(&journal, "c");
    b->onStep = [&] { manager->removeAction(a); };
    manager->addAction(a, node, false);
    manager->addAction(b, node, false);
    manager->addAction(c, node, false);
    manager->update(0.f);
    EXPECT_THAT(journal, ElementsAre("a.step", "b.step", "c.step"));
    EXPECT_EQ(manager->getNumberOfRunningActionsInTarget(node), 2u);
}

TEST_F(ActionManagerTest, ARunningActionIsRefusedOnASecondNodeAndMayRunAgainOnceDone) {
    Node* second = Node::create();
    Probe* a = Probe::make(&journal, "a", 1);
    manager->addAction(a, node, false);
    ::testing::internal::CaptureStdout();
    manager->addAction(a, second, false);
    manager->addAction(a, node, false);
    EXPECT_NE(::testing::internal::GetCapturedStdout().find("already running"), std::string::npos);
    EXPECT_EQ(a->getTarget(), node);
    EXPECT_EQ(manager->getNumberOfRunningActionsInTarget(node), 1u);
    EXPECT_EQ(manager->getNumberOfRunningActionsInTarget(second), 0u);
    manager->update(0.f);
    EXPECT_THAT(journal, ElementsAre("a.step", "a.stop"));
    // Finished and removed, the same action may run again.
    manager->addAction(a, second, false);
    EXPECT_EQ(manager->getNumberOfRunningActionsInTarget(second), 1u);
    EXPECT_EQ(a->getTarget(), second);
}

TEST_F(ActionManagerTest, ActionAddedDuringAStepRunsInTheSamePass) {
    Probe* a = Probe::make(&journal, "a", 1);
    a->onStep = [&] { manager->addAction(Probe::make(&journal, "late", 1), node, false); };
    manager->addAction(a, node, false);
    manager->update(0.f);
    EXPECT_THAT(journal, ElementsAre("a.step", "a.stop", "late.step", "late.stop"));
}

TEST_F(ActionManagerTest, PausedNodeDoesNotAdvanceUntilResumed) {
    manager->addAction(Probe::make(&journal, "a"), node, true);
    manager->update(0.f);
    EXPECT_TRUE(journal.empty());
    EXPECT_TRUE(manager->isTargetPaused(node));
    manager->resumeTarget(node);
    manager->update(0.f);
    EXPECT_THAT(journal, ElementsAre("a.step"));
}

TEST_F(ActionManagerTest, StopAllInsideAStepKeepsTheElementUntilTheEndOfItsPass) {
    Probe* a = Probe::make(&journal, "a");
    Probe* b = Probe::make(&journal, "b");
    a->onStep = [&] { manager->removeAllActionsFromTarget(node); };
    manager->addAction(a, node, false);
    manager->addAction(b, node, false);
    unsigned before = node->getReferenceCount();
    manager->update(0.f);
    EXPECT_THAT(journal, ElementsAre("a.step"));
    EXPECT_EQ(manager->getNumberOfRunningActionsInTarget(node), 0u);
    EXPECT_EQ(node->getReferenceCount(), before - 1);  // element freed at the end of the pass
}

TEST_F(ActionManagerTest, ElementEmptiedButRefilledInItsPassSurvives) {
    Probe* a = Probe::make(&journal, "a");
    a->onStep = [&] {
        manager->removeAllActionsFromTarget(node);
        manager->addAction(Probe::make(&journal, "b"), node, false);
    };
    manager->addAction(a, node, false);
    manager->update(0.f);
    EXPECT_THAT(journal, ElementsAre("a.step"));
    manager->update(0.f);
    EXPECT_THAT(journal, ElementsAre("a.step", "b.step"));
}

TEST_F(ActionManagerTest, ActionRemovingAnotherNodesActionsLeavesTheWalkValid) {
    Node* other = Node::create();
    Probe* a = Probe::make(&journal, "a");
    a->onStep = [&] { manager->removeAllActionsFromTarget(other); };
    manager->addAction(a, node, false);
    manager->addAction(Probe::make(&journal, "o"), other, false);
    manager->update(0.f);
    manager->update(0.f);
    EXPECT_THAT(journal, ElementsAre("a.step", "a.step"));
}

TEST_F(ActionManagerTest, UnknownAndNullArgumentsAreIgnored) {
    manager->removeAction(nullptr);
    manager->removeAllActionsFromTarget(nullptr);
    manager->removeAction(Probe::make(&journal, "x"));
    manager->pauseTarget(node);
    manager->addAction(nullptr, node, false);
    manager->addAction(Probe::make(&journal, "y"), nullptr, false);
    manager->update(0.f);
    EXPECT_TRUE(journal.empty());
}

TEST_F(ActionManagerTest, ShortMemoryRefusesTheActionWithoutEndingTheProcess) {
    // Element, table, buckets, action array, array growth: each failing in turn.
    unsigned before = node->getReferenceCount();
    for (int failing = 0; failing < 4; ++failing) {
        actionManagerFailAllocation(failing);
        manager->addAction(Probe::make(&journal, "lost"), node, false);
        actionManagerFailAllocation(-1);
        EXPECT_EQ(manager->getNumberOfRunningActionsInTarget(node), 0u) << failing;
        EXPECT_EQ(node->getReferenceCount(), before) << failing;
    }
    for (int i = 0; i < 4; ++i) manager->addAction(Probe::make(&journal, "kept"), node, false);
    actionManagerFailAllocation(0);
    manager->addAction(Probe::make(&journal, "lost"), node, false);
    actionManagerFailAllocation(-1);
    manager->update(0.f);
    EXPECT_THAT(journal, ElementsAre("kept.step", "kept.step", "kept.step", "kept.step"));
}

TEST_F(ActionManagerTest, ScheduledAtSystemPriorityActionsRunBeforeOtherUpdates) {
    Scheduler scheduler;
    std::vector<std::string> order;
    scheduler.schedulePerFrame([&](float) { order.push_back("game"); }, node, -1000, false);
    scheduler.schedulePerFrame([&](float dt) { manager->update(dt); }, manager, Scheduler::PRIORITY_SYSTEM, false);
    Probe* a = Probe::make(&journal, "a");
    a->onStep = [&] { order.push_back("action"); };
    manager->addAction(a, node, false);
    scheduler.update(1 / 60.f);
    EXPECT_THAT(order, ElementsAre("action", "game"));
    scheduler.unscheduleAll();
}

// A node whose update notes where its action stood.
class Watcher : public Node {
public:
    void update(float) override { seen.push_back(getPositionX()); }
    std::vector<float> seen;
};

TEST(DirectorActions, NodeActionsStepThroughTheDirectorBeforeTheNodesOwnUpdate) {
    Director* director = Director::getInstance();
    Watcher* node = createAutoreleased<Watcher>();
    node->retain();
    EXPECT_EQ(node->getActionManager(), director->getActionManager());
    node->onEnter();
    node->scheduleUpdateWithPriority(-1000);
    node->runAction(MoveBy::create(0.0f, Vec2(7, 0)));
    for (int frame = 0; frame < 3; ++frame) director->getScheduler()->update(1 / 60.f);
    // Frame 1 starts the move at time 0; frame 2 ends it, and the node's update already sees that.
    EXPECT_THAT(node->seen, ElementsAre(0.f, 7.f, 7.f));
    node->onExit();
    node->cleanup();
    node->release();
    PoolManager::getInstance()->getCurrentPool()->clear();
}

TEST(DirectorActions, NodeNotRunningStartsItsActionsPausedAndStopAllRemovesThem) {
    Director* director = Director::getInstance();
    RefPtr<Node> node(Node::create());
    node->runAction(MoveBy::create(1.0f, Vec2(7, 0)));
    EXPECT_TRUE(director->getActionManager()->isTargetPaused(node.get()));
    node->onEnter();
    EXPECT_FALSE(director->getActionManager()->isTargetPaused(node.get()));
    node->stopAllActions();
    EXPECT_EQ(director->getActionManager()->getNumberOfRunningActionsInTarget(node.get()), 0u);
    node->onExit();
    PoolManager::getInstance()->getCurrentPool()->clear();
}

// Actions stepped by the director's scheduler at a fixed step, seen in drawn frames.
class ActionDrawTest : public test::SceneDrawTest {
protected:
    void step(int frames) {
        for (int i = 0; i < frames; ++i) Director::getInstance()->getScheduler()->update(0.125f);
    }
};

TEST_F(ActionDrawTest, MovedLayerIsDrawnWhereEachFrameLeavesItAndRecolouredWhenTheMoveEnds) {
    const test::Pixel red{255, 0, 0, 255}, blue{0, 0, 255, 255}, black{0, 0, 0, 255};
    LayerColor* layer = LayerColor::create(Color4B(255, 0, 0, 255), 10, 10);
    layer->onEnter();
    layer->runAction(Sequence::create(MoveTo::create(0.5f, Vec2(40, 0)),
                                      CallFunc::create([layer] { layer->setColor(Color3B(0, 0, 255)); }), nullptr));
    step(1);  // the move starts at time 0
    drawFrame(layer);
    EXPECT_THAT(readPixel(5, 5), test::PixelNear(red, 0));
    step(2);  // halfway
    drawFrame(layer);
    EXPECT_THAT(readPixel(25, 5), test::PixelNear(red, 0));
    EXPECT_THAT(readPixel(5, 5), test::PixelNear(black, 0));
    step(1);
    drawFrame(layer);
    EXPECT_THAT(readPixel(35, 5), test::PixelNear(red, 0));
    step(1);  // the move ends and the call-back runs in the same frame
    drawFrame(layer);
    EXPECT_THAT(readPixel(45, 5), test::PixelNear(blue, 0));
    EXPECT_THAT(readPixel(39, 5), test::PixelNear(black, 0));
    EXPECT_EQ(Director::getInstance()->getActionManager()->getNumberOfRunningActionsInTarget(layer), 0u);
    layer->onExit();
    layer->cleanup();
}

TEST(ActionDescription, HasNoClosingBracket) {
    auto* action = DelayTime::create(1.f);
    action->setTag(5);
    EXPECT_EQ(action->description(), "<Action | Tag = 5");
    PoolManager::getInstance()->getCurrentPool()->clear();
}

}  // namespace
}  // namespace kite
