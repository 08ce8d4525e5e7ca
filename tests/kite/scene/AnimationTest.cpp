// Frame animations: durations, split times, frames shown on time, the frame-displayed event, restore and reverse.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "SceneDrawSupport.h"
#include "kite/scene/ActionInterval.h"
#include "kite/scene/ActionManager.h"
#include "kite/scene/Animation.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventCustom.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventListenerCustom.h"
#include "kite/scene/Sprite.h"
#include "kite/scene/SpriteFrame.h"

using ::testing::ElementsAre;
using ::testing::FloatEq;

namespace kite {
namespace {

using test::Pixel;
using test::PixelNear;

constexpr float kFrame = 1.0f / 60.0f;

const Pixel kColours[] = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}};

class AnimationTest : public test::SceneDrawTest {
protected:
    void SetUp() override {
        test::SceneDrawTest::SetUp();
        // Three 4 x 4 cells side by side, one colour each.
        sheet_ = test::textureFrom(12, 4, [](int x, int) { return kColours[x / 4]; });
        for (int i = 0; i < 3; ++i) {
            frames_.pushBack(SpriteFrame::createWithTexture(sheet_.get(), Rect(static_cast<float>(i * 4), 0, 4, 4)));
        }
        manager_ = new ActionManager();
    }
    void TearDown() override {
        manager_->release();
        frames_.clear();
        test::SceneDrawTest::TearDown();
    }
    // Which of the three frames the sprite shows, or -1.
    int shown(Sprite* sprite) {
        for (int i = 0; i < 3; ++i)
            if (sprite->isFrameDisplayed(frames_.at(static_cast<std::size_t>(i)))) return i;
        return -1;
    }

    RefPtr<Texture2D> sheet_;
    Vector<SpriteFrame*> frames_;
    ActionManager* manager_ = nullptr;
};

TEST_F(AnimationTest, DurationIsTotalDelayUnitsTimesDelayPerUnit) {
    Vector<SpriteFrame*> five;
    for (int i = 0; i < 5; ++i) five.pushBack(frames_.at(0));
    Animation* animation = Animation::createWithSpriteFrames(five, 0.1f);
    EXPECT_FLOAT_EQ(animation->getTotalDelayUnits(), 5.0f);
    EXPECT_FLOAT_EQ(animation->getDuration(), 0.5f);

    Vector<AnimationFrame*> steps;
    for (float units : {1.0f, 2.0f, 0.5f}) steps.pushBack(AnimationFrame::create(frames_.at(0), units, ValueMap()));
    EXPECT_FLOAT_EQ(Animation::create(steps, 1.0f)->getTotalDelayUnits(), 3.5f);
    EXPECT_EQ(Animation::createWithSpriteFrames(Vector<SpriteFrame*>(), 0.1f)->getTotalDelayUnits(), 0.0f);
}

TEST_F(AnimationTest, CloneSharesTheFrameObjects) {
    Animation* animation = Animation::createWithSpriteFrames(frames_, 0.1f, 2);
    animation->setRestoreOriginalFrame(true);
    Animation* copy = animation->clone();
    ASSERT_NE(copy, animation);
    EXPECT_EQ(copy->getFrames().at(1), animation->getFrames().at(1));
    EXPECT_EQ(copy->getLoops(), 2u);
    EXPECT_TRUE(copy->getRestoreOriginalFrame());
}

TEST_F(AnimationTest, CacheHoldsNoAnimationsAndSpritesFindNoneByName) {
    EXPECT_EQ(AnimationCache::getInstance()->getAnimation("walk"), nullptr);
    Sprite* sprite = Sprite::createWithSpriteFrame(frames_.at(2));
    sprite->setDisplayFrameWithAnimationName("walk", 0);
    EXPECT_EQ(shown(sprite), 2);
}

TEST_F(AnimationTest, EqualDelaysSplitTheDurationInThirds) {
    Animate* animate = Animate::create(Animation::createWithSpriteFrames(frames_, 0.1f));
    EXPECT_THAT(animate->getSplitTimes(), ElementsAre(0.0f, FloatEq(1 / 3.f), FloatEq(2 / 3.f)));
    EXPECT_FLOAT_EQ(animate->getDuration(), 0.3f);
    EXPECT_EQ(Animate::create(nullptr), nullptr);
}

TEST_F(AnimationTest, FramesSwitchOnTimeAndTheLastStays) {
    Sprite* sprite = Sprite::createWithSpriteFrame(frames_.at(0));
    sprite->setAnchorPoint(Vec2::ZERO);
    manager_->addAction(Animate::create(Animation::createWithSpriteFrames(frames_, 0.1f)), sprite, false);
    // 0.1 s per frame: frame 1 from about the 7th frame, frame 2 from about the 13th.
    std::vector<int> seen;
    std::vector<Pixel> drawn;
    for (int frame = 1; frame <= 24; ++frame) {
        manager_->update(kFrame);
        seen.push_back(shown(sprite));
        drawFrame(sprite);
        drawn.push_back(readPixel(2, 2));
    }
    EXPECT_EQ(seen[4], 0);
    EXPECT_EQ(seen[8], 1);
    EXPECT_EQ(seen[10], 1);
    EXPECT_EQ(seen[14], 2);
    EXPECT_EQ(seen[23], 2);
    EXPECT_EQ(manager_->getNumberOfRunningActionsInTarget(sprite), 0u);
    EXPECT_THAT(drawn[4], PixelNear(kColours[0], 1));
    EXPECT_THAT(drawn[8], PixelNear(kColours[1], 1));
    EXPECT_THAT(drawn[23], PixelNear(kColours[2], 1));
}

TEST_F(AnimationTest, RestoringAnimationGivesTheOriginalFrameBackAtTheEnd) {
    Sprite* sprite = Sprite::createWithSpriteFrame(frames_.at(2));
    Animation* animation = Animation::createWithSpriteFrames(frames_, 0.05f, 2);
    animation->setRestoreOriginalFrame(true);
    manager_->addAction(Animate::create(animation), sprite, false);
    std::vector<int> seen;
    for (int frame = 0; frame < 30; ++frame) {
        manager_->update(kFrame);
        seen.push_back(shown(sprite));
    }
    EXPECT_EQ(seen[0], 0);
    EXPECT_EQ(seen[10], 0);  // second loop began again from the first frame
    EXPECT_EQ(seen[29], 2);  // restored
    EXPECT_EQ(manager_->getNumberOfRunningActionsInTarget(sprite), 0u);
}

TEST_F(AnimationTest, ReverseShowsTheFramesBackwards) {
    Sprite* sprite = Sprite::createWithSpriteFrame(frames_.at(1));
    Animate* reversed = Animate::create(Animation::createWithSpriteFrames(frames_, 0.1f))->reverse();
    reversed->startWithTarget(sprite);
    reversed->update(0.0f);
    EXPECT_EQ(shown(sprite), 2);
    reversed->update(1.0f);
    EXPECT_EQ(shown(sprite), 0);
}

TEST_F(AnimationTest, ZeroDelayRunsThroughItsFramesInTwoStepsWithoutNaN) {
    Sprite* sprite = Sprite::createWithSpriteFrame(frames_.at(1));
    Animate* animate = Animate::create(Animation::createWithSpriteFrames(frames_, 0.0f));
    EXPECT_THAT(animate->getSplitTimes(), ElementsAre(0.0f, FloatEq(1 / 3.f), FloatEq(2 / 3.f)));
    manager_->addAction(animate, sprite, false);
    manager_->update(kFrame);
    EXPECT_EQ(shown(sprite), 0);
    manager_->update(kFrame);
    EXPECT_EQ(manager_->getNumberOfRunningActionsInTarget(sprite), 0u);
    EXPECT_EQ(shown(sprite), 2);
}

TEST_F(AnimationTest, AnimateOnANodeThatIsNoSpriteChangesNothing) {
    RefPtr<Node> node(Node::create());
    manager_->addAction(Animate::create(Animation::createWithSpriteFrames(frames_, 0.01f)), node.get(), false);
    for (int i = 0; i < 5; ++i) manager_->update(kFrame);
    EXPECT_EQ(manager_->getNumberOfRunningActionsInTarget(node.get()), 0u);
}

TEST_F(AnimationTest, FrameWithUserInfoAnnouncesItselfEachTimeItIsShown) {
    EventDispatcher* dispatcher = Director::getInstance()->getEventDispatcher();
    ASSERT_NE(dispatcher, nullptr);
    const bool wasEnabled = dispatcher->isEnabled();
    dispatcher->setEnabled(true);
    std::vector<std::string> heard;
    Sprite* sprite = Sprite::createWithSpriteFrame(frames_.at(0));
    EventListenerCustom* listener =
        dispatcher->addCustomEventListener(Animate::AnimationFrameDisplayedNotification, [&](EventCustom* event) {
            auto* info = static_cast<Animate::AnimationFrameDisplayedUserData*>(event->getUserData());
            EXPECT_EQ(info->target, sprite);
            heard.push_back(info->userInfo->at("step").asString());
        });
    ValueMap info;
    info["step"] = Value("middle");
    Vector<AnimationFrame*> steps;
    steps.pushBack(AnimationFrame::create(frames_.at(0), 1.0f, ValueMap()));
    steps.pushBack(AnimationFrame::create(frames_.at(1), 1.0f, info));
    steps.pushBack(AnimationFrame::create(frames_.at(2), 1.0f, ValueMap()));
    manager_->addAction(Animate::create(Animation::create(steps, 0.05f, 2)), sprite, false);
    for (int frame = 0; frame < 30; ++frame) manager_->update(kFrame);
    EXPECT_THAT(heard, ElementsAre("middle", "middle"));
    dispatcher->removeEventListener(listener);
    dispatcher->setEnabled(wasEnabled);
}

}  // namespace
}  // namespace kite
