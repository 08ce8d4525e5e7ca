#include <gtest/gtest.h>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/scene/EventAcceleration.h"
#include "kite/scene/EventCustom.h"
#include "kite/scene/EventKeyboard.h"
#include "kite/scene/EventListenerAcceleration.h"
#include "kite/scene/EventListenerCustom.h"
#include "kite/scene/EventListenerKeyboard.h"
#include "kite/scene/EventListenerTouch.h"
#include "kite/scene/EventTouch.h"
#include "kite/scene/Touch.h"

namespace kite {
namespace {

class EventListenerTest : public ::testing::Test {
protected:
    void TearDown() override { PoolManager::getInstance()->getCurrentPool()->clear(); }
};

TEST_F(EventListenerTest, NewListenersStartPausedEnabledAndUnregisteredUnderTheirIds) {
    auto* oneByOne = EventListenerTouchOneByOne::create();
    auto* allAtOnce = EventListenerTouchAllAtOnce::create();
    auto* keyboard = EventListenerKeyboard::create();
    auto* acceleration = EventListenerAcceleration::create(nullptr);
    auto* custom = EventListenerCustom::create("game_over", [](EventCustom*) {});
    EXPECT_EQ(oneByOne->getListenerID(), "__kt_touch_one_by_one");
    EXPECT_EQ(allAtOnce->getListenerID(), "__kt_touch_all_at_once");
    EXPECT_EQ(keyboard->getListenerID(), "__kt_keyboard");
    EXPECT_EQ(acceleration->getListenerID(), "__kt_acceleration");
    EXPECT_EQ(custom->getListenerID(), "game_over");
    EXPECT_EQ(static_cast<int>(oneByOne->getType()), 1);
    EXPECT_EQ(static_cast<int>(allAtOnce->getType()), 2);
    EXPECT_EQ(static_cast<int>(keyboard->getType()), 3);
    EXPECT_EQ(static_cast<int>(acceleration->getType()), 5);
    EXPECT_EQ(static_cast<int>(custom->getType()), 8);
    for (EventListener* l : {static_cast<EventListener*>(oneByOne), static_cast<EventListener*>(custom)}) {
        EXPECT_TRUE(l->isPaused());
        EXPECT_TRUE(l->isEnabled());
        EXPECT_FALSE(l->isRegistered());
        EXPECT_EQ(l->getFixedPriority(), 0);
        EXPECT_EQ(l->getAssociatedNode(), nullptr);
    }
}

TEST_F(EventListenerTest, AvailabilityFollowsTheCallbacksEachKindNeeds) {
    auto* oneByOne = EventListenerTouchOneByOne::create();
    oneByOne->onTouchEnded = [](Touch*, Event*) {};
    EXPECT_FALSE(oneByOne->checkAvailable());
    oneByOne->onTouchBegan = [](Touch*, Event*) { return true; };
    EXPECT_TRUE(oneByOne->checkAvailable());

    auto* allAtOnce = EventListenerTouchAllAtOnce::create();
    EXPECT_FALSE(allAtOnce->checkAvailable());
    allAtOnce->onTouchesEnded = [](const std::vector<Touch*>&, Event*) {};
    EXPECT_TRUE(allAtOnce->checkAvailable());

    auto* keyboard = EventListenerKeyboard::create();
    EXPECT_FALSE(keyboard->checkAvailable());
    keyboard->onKeyReleased = [](EventKeyboard::KeyCode, Event*) {};
    EXPECT_TRUE(keyboard->checkAvailable());

    EXPECT_TRUE(EventListenerAcceleration::create(nullptr)->checkAvailable());
    EXPECT_FALSE(EventListenerCustom::create("x", nullptr)->checkAvailable());
    EXPECT_TRUE(EventListenerCustom::create("x", [](EventCustom*) {})->checkAvailable());
}

TEST_F(EventListenerTest, ClonesKeepCallbacksAndTouchState) {
    int calls = 0;
    auto* custom =
        EventListenerCustom::create("score", [&](EventCustom* e) { calls += *static_cast<int*>(e->getUserData()); });
    EventListenerCustom* copy = custom->clone();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->getListenerID(), "score");
    EventCustom event("score");
    int add = 5;
    event.setUserData(&add);
    copy->getCallback()(&event);
    EXPECT_EQ(calls, 5);

    auto* touch = EventListenerTouchOneByOne::create();
    touch->onTouchBegan = [](Touch*, Event*) { return true; };
    touch->setSwallowTouches(true);
    EventListenerTouchOneByOne* touchCopy = touch->clone();
    EXPECT_TRUE(touchCopy->isSwallowTouches());
    EXPECT_TRUE(touchCopy->checkAvailable());

    int accelerationCalls = 0;
    auto* acceleration = EventListenerAcceleration::create([&](Acceleration* a, Event*) {
        EXPECT_DOUBLE_EQ(a->x, 0.5);
        ++accelerationCalls;
    });
    Acceleration sample;
    sample.x = 0.5;
    EventAcceleration accelerationEvent(sample);
    acceleration->clone()->getCallback()(&accelerationEvent);
    EXPECT_EQ(accelerationCalls, 1);
}

TEST_F(EventListenerTest, KeyboardListenerCallsThePressedOrReleasedCallback) {
    std::vector<std::string> calls;
    auto* keyboard = EventListenerKeyboard::create();
    keyboard->onKeyPressed = [&](EventKeyboard::KeyCode, Event*) { calls.push_back("pressed"); };
    EventKeyboard pressed(EventKeyboard::KeyCode::KEY_BACK, true);
    EventKeyboard released(EventKeyboard::KeyCode::KEY_BACK, false);
    keyboard->getCallback()(&pressed);
    keyboard->getCallback()(&released);  // no released callback: nothing
    EXPECT_EQ(calls, std::vector<std::string>{"pressed"});
}

TEST_F(EventListenerTest, TouchKeepsItsStartPointAndTracksThePreviousOne) {
    Touch touch;
    touch.setTouchInfo(3, 10.0f, 20.0f);
    EXPECT_EQ(touch.getId(), 3);
    EXPECT_EQ(touch.getLocationInView(), Vec2(10.0f, 20.0f));
    EXPECT_EQ(touch.getPreviousLocationInView(), Vec2(10.0f, 20.0f));
    touch.setTouchInfo(3, 15.0f, 30.0f);
    EXPECT_EQ(touch.getLocationInView(), Vec2(15.0f, 30.0f));
    EXPECT_EQ(touch.getPreviousLocationInView(), Vec2(10.0f, 20.0f));
    EXPECT_EQ(touch.getStartLocationInView(), Vec2(10.0f, 20.0f));
}

TEST_F(EventListenerTest, EventsCarryTheirTypeAndStopFlag) {
    EventTouch touchEvent;
    EXPECT_EQ(touchEvent.getType(), Event::Type::TOUCH);
    EXPECT_EQ(touchEvent.getEventCode(), EventTouch::EventCode::BEGAN);
    EXPECT_FALSE(touchEvent.isStopped());
    touchEvent.stopPropagation();
    EXPECT_TRUE(touchEvent.isStopped());
    EventCustom custom("name");
    EXPECT_EQ(custom.getType(), Event::Type::CUSTOM);
    EXPECT_EQ(custom.getUserData(), nullptr);
    EXPECT_EQ(custom.getCurrentTarget(), nullptr);
}

}  // namespace
}  // namespace kite
