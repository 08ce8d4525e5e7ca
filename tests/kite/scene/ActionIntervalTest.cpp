// Interval and instant actions driven frame by frame with the fixed 1/60 s step.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <vector>

#include "ActionTestSupport.h"
#include "kite/foundation/AutoreleasePool.h"
#include "kite/scene/ActionInstant.h"
#include "kite/scene/ActionInterval.h"
#include "kite/scene/ActionManager.h"
#include "kite/scene/Node.h"

using ::testing::ElementsAre;
using ::testing::FloatNear;

namespace kite {
namespace {

constexpr float kFrame = 1.0f / 60.0f;

// The frame on which an action of this duration ends: its first frame only starts it, then each
// frame adds 1/60 s in single precision until the total reaches the duration (sixty such steps
// fall just short of 1 s, so a 1 s action ends on frame 62).
int endFrame(float duration) {
    float elapsed = 0.0f;
    int frame = 1;
    while (elapsed < duration) {
        elapsed += kFrame;
        ++frame;
    }
    return frame;
}

class ActionIntervalTest : public test::ActionFixture {
protected:
    void run(Action* action) { manager->addAction(action, node, false); }
    // Runs frames and reports how many it took until the node has no action left.
    int framesUntilDone(int limit = 1000) {
        for (int frame = 1; frame <= limit; ++frame) {
            manager->update(kFrame);
            if (manager->getNumberOfRunningActionsInTarget(node) == 0) return frame;
        }
        return -1;
    }
};

TEST_F(ActionIntervalTest, MoveToStartsOnItsFirstFrameAndArrivesOneSecondLater) {
    node->setPosition(10, 20);
    run(MoveTo::create(1.0f, Vec2(70, 80)));
    manager->update(kFrame);
    EXPECT_EQ(node->getPosition(), Vec2(10, 20));  // first frame: time 0, its dt not counted
    for (int i = 0; i < 30; ++i) manager->update(kFrame);
    EXPECT_THAT(node->getPositionX(), FloatNear(40, 1e-3));
    EXPECT_THAT(node->getPositionY(), FloatNear(50, 1e-3));
    int more = framesUntilDone();
    EXPECT_EQ(31 + more, endFrame(1.0f));
    EXPECT_EQ(endFrame(1.0f), 62);
    EXPECT_EQ(node->getPosition(), Vec2(70, 80));
}

TEST_F(ActionIntervalTest, TwoMovesOnOneNodeAddUp) {
    run(MoveBy::create(0.5f, Vec2(10, 0)));
    run(MoveBy::create(0.5f, Vec2(0, 10)));
    framesUntilDone();
    EXPECT_THAT(node->getPositionX(), FloatNear(10, 1e-4));
    EXPECT_THAT(node->getPositionY(), FloatNear(10, 1e-4));
}

TEST_F(ActionIntervalTest, MoveByKeepsWhatOtherCodeMovedMeanwhile) {
    run(MoveBy::create(1.0f, Vec2(60, 0)));
    manager->update(kFrame);
    manager->update(kFrame);
    node->setPositionY(5);
    framesUntilDone();
    EXPECT_THAT(node->getPositionX(), FloatNear(60, 1e-3));
    EXPECT_THAT(node->getPositionY(), FloatNear(5, 1e-3));
}

TEST_F(ActionIntervalTest, FlatMoveLeavesTheDepthWhereOtherCodePutsIt) {
    node->setPosition3D(Vec3(0, 0, 4));
    run(MoveBy::create(0.5f, Vec2(10, 0)));
    manager->update(kFrame);
    manager->update(kFrame);
    EXPECT_EQ(node->getPositionZ(), 4.0f);
    node->setPositionZ(9);
    framesUntilDone();
    EXPECT_THAT(node->getPositionX(), FloatNear(10, 1e-4));
    EXPECT_EQ(node->getPositionZ(), 9.0f);
}

TEST_F(ActionIntervalTest, DepthMoveAndFlatMoveOnOneNodeAddUp) {
    node->setPosition3D(Vec3(0, 0, 4));
    run(MoveBy::create(0.5f, Vec3(0, 0, 6)));
    run(MoveBy::create(0.5f, Vec2(10, 0)));
    for (int i = 0; i < 10; ++i) manager->update(kFrame);
    node->setPositionX(node->getPositionX() + 5);
    framesUntilDone();
    EXPECT_THAT(node->getPositionX(), FloatNear(15, 1e-4));
    EXPECT_THAT(node->getPositionZ(), FloatNear(10, 1e-4));
}

TEST_F(ActionIntervalTest, MoveToReverseIsAMoveByOfItsLastDelta) {
    auto* to = MoveTo::create(1.0f, Vec2(30, 40));
    EXPECT_EQ(to->reverse()->getDuration(), 1.0f);
    run(to);
    framesUntilDone();
    run(to->reverse());
    framesUntilDone();
    EXPECT_EQ(node->getPosition(), Vec2(0, 0));
}

TEST_F(ActionIntervalTest, ScaleToReachesBothAxesAndHasNoReverse) {
    run(ScaleTo::create(0.5f, 2.0f, 3.0f));
    EXPECT_EQ(framesUntilDone(), endFrame(0.5f));
    EXPECT_FLOAT_EQ(node->getScaleX(), 2.0f);
    EXPECT_FLOAT_EQ(node->getScaleY(), 3.0f);
    EXPECT_FLOAT_EQ(node->getScaleZ(), 1.0f);
    EXPECT_EQ(ScaleTo::create(1.0f, 2.0f)->reverse(), nullptr);
}

TEST_F(ActionIntervalTest, RotateByWithEqualSkewsTurnsTheNode) {
    node->setRotation(10);
    run(RotateBy::create(1.0f, 90.0f));
    framesUntilDone();
    EXPECT_FLOAT_EQ(node->getRotation(), 100.0f);
    EXPECT_FLOAT_EQ(node->getRotationSkewY(), 100.0f);
}

TEST_F(ActionIntervalTest, RotateByWithTwoAnglesDrivesTheSkews) {
    run(RotateBy::create(1.0f, 10.0f, 20.0f));
    framesUntilDone();
    EXPECT_FLOAT_EQ(node->getRotationSkewX(), 10.0f);
    EXPECT_FLOAT_EQ(node->getRotationSkewY(), 20.0f);
    run(RotateBy::create(1.0f, 10.0f, 20.0f)->reverse());
    framesUntilDone();
    EXPECT_NEAR(node->getRotationSkewX(), 0.0f, 1e-4);
    EXPECT_NEAR(node->getRotationSkewY(), 0.0f, 1e-4);
}

TEST_F(ActionIntervalTest, BlinkHidesAndShowsBySliceAndRestoresVisibilityAtStop) {
    auto* blink = Blink::create(3.0f, 3);
    blink->startWithTarget(node);
    blink->update(0.2f);
    EXPECT_TRUE(node->isVisible());
    blink->update(0.1f);
    EXPECT_FALSE(node->isVisible());
    blink->stop();
    EXPECT_TRUE(node->isVisible());
}

TEST_F(ActionIntervalTest, BlinkEndsWithTheStartingVisibility) {
    run(Blink::create(1.0f, 4));
    std::vector<bool> seen;
    for (int i = 0; i < endFrame(1.0f); ++i) {
        manager->update(kFrame);
        seen.push_back(node->isVisible());
    }
    EXPECT_EQ(manager->getNumberOfRunningActionsInTarget(node), 0u);
    EXPECT_TRUE(node->isVisible());
    EXPECT_FALSE(seen[7]);  // t = 7/60, inside the hidden half of the first slice
    EXPECT_TRUE(seen[12]);
}

TEST_F(ActionIntervalTest, BlinkWithoutBlinksKeepsTheNodeAsItWas) {
    for (int count : {0, -3}) {
        run(Blink::create(0.5f, count));
        for (int i = 0; i < 10; ++i) {
            manager->update(kFrame);
            EXPECT_TRUE(node->isVisible()) << count;
        }
        framesUntilDone();
        EXPECT_TRUE(node->isVisible());
    }
}

TEST_F(ActionIntervalTest, ZeroDurationTakesTwoStepsUpdatingToZeroThenOne) {
    auto* move = MoveBy::create(0.0f, Vec2(5, 0));
    EXPECT_EQ(move->getDuration(), FLT_EPSILON);
    run(move);
    manager->update(kFrame);
    EXPECT_EQ(node->getPositionX(), 0.0f);
    EXPECT_EQ(framesUntilDone(), 1);
    EXPECT_EQ(node->getPositionX(), 5.0f);
}

TEST_F(ActionIntervalTest, DelayThenCallbackFiresOnTheFrameTheDelayEnds) {
    int firedAt = -1;
    int frame = 0;
    run(Sequence::create(DelayTime::create(0.5f), CallFunc::create([&] { firedAt = frame; }), nullptr));
    for (frame = 1; frame <= 40; ++frame) manager->update(kFrame);
    EXPECT_EQ(firedAt, endFrame(0.5f));
}

TEST_F(ActionIntervalTest, CallFuncRunsExactlyOnceInTheFrameItStarts) {
    int calls = 0;
    Node* seen = nullptr;
    run(CallFunc::create([&] { ++calls; }));
    run(CallFuncN::create([&](Node* n) { seen = n; }));
    EXPECT_EQ(framesUntilDone(), 1);
    manager->update(kFrame);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(seen, node);
}

class Counter : public Ref {
public:
    void hit() { ++hits; }
    void hitNode(Node* n) { nodes.push_back(n); }
    int hits = 0;
    std::vector<Node*> nodes;
};

TEST_F(ActionIntervalTest, MemberCallbacksAreCalledOnTheirRetainedTarget) {
    RefPtr<Counter> counter(new Counter());
    counter->release();
    unsigned before = counter->getReferenceCount();
    auto* call = CallFunc::create(counter.get(), static_cast<CallFunc::MemberCallback>(&Counter::hit));
    EXPECT_EQ(counter->getReferenceCount(), before + 1);
    run(call);
    run(call->clone());
    run(CallFuncN::create(counter.get(), static_cast<CallFuncN::MemberCallbackN>(&Counter::hitNode)));
    framesUntilDone();
    EXPECT_EQ(counter->hits, 2);
    EXPECT_THAT(counter->nodes, ElementsAre(node));
}

TEST_F(ActionIntervalTest, SequenceRunsItsPartsInTurn) {
    run(Sequence::create(MoveBy::create(0.5f, Vec2(10, 0)), MoveBy::create(0.5f, Vec2(0, 10)), nullptr));
    for (int i = 0; i < 31; ++i) manager->update(kFrame);
    EXPECT_THAT(node->getPositionX(), FloatNear(10, 1e-4));
    EXPECT_THAT(node->getPositionY(), FloatNear(0, 1e-4));
    EXPECT_EQ(31 + framesUntilDone(), endFrame(1.0f));
    EXPECT_THAT(node->getPositionY(), FloatNear(10, 1e-4));
}

TEST_F(ActionIntervalTest, SequenceJumpingPastTheSplitFinishesTheFirstPartFirst) {
    std::vector<int> order;
    auto* seq =
        Sequence::create(MoveBy::create(1.0f, Vec2(10, 0)), CallFunc::create([&] { order.push_back(1); }), nullptr);
    seq->startWithTarget(node);
    seq->update(1.0f);  // the first part was never started
    EXPECT_EQ(node->getPositionX(), 10.0f);
    EXPECT_THAT(order, ElementsAre(1));
}

TEST_F(ActionIntervalTest, SequenceFactoryEdgeCases) {
    EXPECT_EQ(Sequence::create(nullptr), nullptr);
    auto* single = Sequence::create(DelayTime::create(2.0f), nullptr);
    ASSERT_NE(single, nullptr);
    EXPECT_EQ(single->getDuration(), 2.0f);
    EXPECT_EQ(Sequence::create(DelayTime::create(1.0f), DelayTime::create(2.0f), DelayTime::create(3.0f), nullptr)
                  ->getDuration(),
              6.0f);
    EXPECT_EQ(Sequence::createWithTwoActions(DelayTime::create(1.0f), nullptr), nullptr);
}

TEST_F(ActionIntervalTest, ReversingASequenceWithoutAReversiblePartGivesNothing) {
    auto* seq = Sequence::create(MoveBy::create(1.0f, Vec2(1, 0)), ScaleTo::create(1.0f, 2.0f), nullptr);
    EXPECT_EQ(seq->reverse(), nullptr);
    EXPECT_EQ(Spawn::create(ScaleTo::create(1.0f, 2.0f), DelayTime::create(1.0f), nullptr)->reverse(), nullptr);
    EXPECT_EQ(RepeatForever::create(ScaleTo::create(1.0f, 2.0f))->reverse(), nullptr);
}

TEST_F(ActionIntervalTest, ReversedSequenceUndoesTheMovesInReverseOrder) {
    node->setPosition(5, 5);
    auto* seq = Sequence::create(MoveBy::create(0.25f, Vec2(10, 0)), MoveBy::create(0.25f, Vec2(0, 20)), nullptr);
    run(seq->reverse());
    for (int i = 0; i < 16; ++i) manager->update(kFrame);
    EXPECT_THAT(node->getPositionY(), FloatNear(-15, 1e-3));
    EXPECT_THAT(node->getPositionX(), FloatNear(5, 1e-3));
    framesUntilDone();
    EXPECT_THAT(node->getPositionX(), FloatNear(-5, 1e-3));
}

TEST_F(ActionIntervalTest, SpawnPadsTheShorterPartAndLastsAsTheLonger) {
    auto* spawn = Spawn::create(MoveBy::create(1.0f, Vec2(30, 0)), RotateBy::create(3.0f, 90.0f), nullptr);
    EXPECT_EQ(spawn->getDuration(), 3.0f);
    run(spawn);
    for (int i = 0; i < 61; ++i) manager->update(kFrame);
    EXPECT_THAT(node->getPositionX(), FloatNear(30, 1e-3));
    EXPECT_THAT(node->getRotation(), FloatNear(30, 0.1));
    EXPECT_EQ(61 + framesUntilDone(), endFrame(3.0f));
    EXPECT_FLOAT_EQ(node->getRotation(), 90.0f);
}

TEST_F(ActionIntervalTest, ReversedSpawnPutsThePaddingDelayFirst) {
    auto* spawn = Spawn::create(MoveBy::create(1.0f, Vec2(30, 0)), MoveBy::create(3.0f, Vec2(0, 30)), nullptr);
    auto* reversed = spawn->reverse();
    ASSERT_NE(reversed, nullptr);
    EXPECT_EQ(reversed->getDuration(), 3.0f);
    reversed->startWithTarget(node);
    reversed->update(0.5f);  // 1.5 s in: the short move still waits behind its delay
    EXPECT_THAT(node->getPositionX(), FloatNear(0, 1e-4));
    EXPECT_THAT(node->getPositionY(), FloatNear(-15, 1e-3));
    reversed->update(1.0f);
    EXPECT_THAT(node->getPositionX(), FloatNear(-30, 1e-3));
}

TEST_F(ActionIntervalTest, RepeatForeverCarriesTheOvershootIntoTheNextCycle) {
    auto* inner = MoveBy::create(1.0f, Vec2(10, 0));
    auto* repeat = RepeatForever::create(inner);
    repeat->startWithTarget(node);
    repeat->step(0.0f);
    repeat->step(2.5f);
    EXPECT_FLOAT_EQ(inner->getElapsed(), 0.5f);
    EXPECT_FALSE(repeat->isDone());
}

TEST_F(ActionIntervalTest, RepeatForeverNeverEnds) {
    run(RepeatForever::create(RotateBy::create(0.5f, 360.0f)));
    for (int i = 0; i < 600; ++i) manager->update(kFrame);
    EXPECT_EQ(manager->getNumberOfRunningActionsInTarget(node), 1u);
    EXPECT_GT(node->getRotation(), 360.0f * 19);
}

TEST_F(ActionIntervalTest, ClonesAreIndependentCopies) {
    auto* seq = Sequence::create(MoveBy::create(0.25f, Vec2(10, 0)), DelayTime::create(0.25f), nullptr);
    auto* copy = seq->clone();
    ASSERT_NE(copy, seq);
    EXPECT_EQ(copy->getDuration(), 0.5f);
    run(seq);
    run(copy);
    framesUntilDone();
    EXPECT_THAT(node->getPositionX(), FloatNear(20, 1e-3));
}

}  // namespace
}  // namespace kite
