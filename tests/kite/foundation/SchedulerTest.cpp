#include "kite/foundation/Scheduler.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace kite {
namespace {

using ::testing::ElementsAre;
using ::testing::FloatNear;

// A target whose timer selectors record when they fire and may run a hook.
class Ticker : public Ref {
public:
    void tick(float elapsed) {
        fired.push_back(elapsed);
        if (onTick) onTick();
    }
    void tock(float elapsed) {
        tocked.push_back(elapsed);
        if (onTock) onTock();
    }
    void update(float dt) { updates.push_back(dt); }

    std::vector<float> fired, tocked, updates;
    std::function<void()> onTick, onTock;
};

// Steps the scheduler with a fixed frame time and records the time of each trigger.
struct FixedFrames {
    Scheduler scheduler;
    float now = 0.0f;
    void run(int frames, float dt) {
        for (int i = 0; i < frames; ++i) {
            now += dt;
            scheduler.update(dt);
        }
    }
};

TEST(Scheduler, ZeroIntervalForeverTimerFiresEveryFrameButTheFirst) {
    FixedFrames f;
    Ticker t;
    f.scheduler.scheduleSelectorForever(schedule_selector(&Ticker::tick), &t, 0.0f, false);
    f.scheduler.update(0.1f);
    EXPECT_TRUE(t.fired.empty());
    f.scheduler.update(0.02f);
    f.scheduler.update(0.03f);
    EXPECT_THAT(t.fired, ElementsAre(FloatNear(0.02f, 1e-6), FloatNear(0.03f, 1e-6)));
    f.scheduler.unscheduleAllForTarget(&t);
}

TEST(Scheduler, RepeatTwoFiresThreeTimesDroppingTheRemainderThenRemovesItself) {
    FixedFrames f;
    Ticker t;
    std::vector<float> times;
    t.onTick = [&] { times.push_back(f.now); };
    f.scheduler.scheduleSelector(schedule_selector(&Ticker::tick), &t, 1.0f, 2, 0.0f, false);
    f.run(20, 0.4f);
    // The first frame only starts the clock; 1.2 s accumulate before each trigger.
    EXPECT_THAT(times, ElementsAre(FloatNear(1.6f, 1e-4), FloatNear(2.8f, 1e-4), FloatNear(4.0f, 1e-4)));
    EXPECT_THAT(t.fired, ElementsAre(FloatNear(1.2f, 1e-4), FloatNear(1.2f, 1e-4), FloatNear(1.2f, 1e-4)));
    EXPECT_FALSE(f.scheduler.isScheduled(schedule_selector(&Ticker::tick), &t));
}

TEST(Scheduler, DelayedTimerReceivesTheAccumulatedTimeOnItsOnlyTrigger) {
    FixedFrames f;
    Ticker t;
    f.scheduler.scheduleSelector(schedule_selector(&Ticker::tick), &t, 1.0f, 0, 0.5f, false);
    f.run(10, 0.3f);
    EXPECT_THAT(t.fired, ElementsAre(FloatNear(0.6f, 1e-5)));
    EXPECT_FALSE(f.scheduler.isScheduled(schedule_selector(&Ticker::tick), &t));
}

TEST(Scheduler, DelayRemainderCarriesOverToTheFirstInterval) {
    FixedFrames f;
    Ticker t;
    f.scheduler.scheduleSelector(schedule_selector(&Ticker::tick), &t, 0.5f, 1, 0.5f, false);
    f.run(1, 0.3f);  // starts the clock
    f.run(2, 0.3f);  // 0.6: delayed trigger, 0.1 carried over
    f.run(2, 0.3f);  // 0.1 + 0.6 = 0.7 >= 0.5: second trigger
    EXPECT_THAT(t.fired, ElementsAre(FloatNear(0.6f, 1e-5), FloatNear(0.7f, 1e-5)));
    EXPECT_FALSE(f.scheduler.isScheduled(schedule_selector(&Ticker::tick), &t));
}

TEST(Scheduler, SchedulingAgainChangesOnlyTheInterval) {
    FixedFrames f;
    Ticker t;
    f.scheduler.scheduleSelector(schedule_selector(&Ticker::tick), &t, 1.0f, 0, 0.0f, false);
    f.run(2, 0.5f);
    // Repeat count and elapsed time stay; only the interval changes.
    f.scheduler.scheduleSelector(schedule_selector(&Ticker::tick), &t, 0.25f, kRepeatForever, 0.0f, false);
    f.run(1, 0.5f);
    f.run(5, 0.5f);
    EXPECT_THAT(t.fired, ElementsAre(FloatNear(1.0f, 1e-5)));
    EXPECT_FALSE(f.scheduler.isScheduled(schedule_selector(&Ticker::tick), &t));
}

TEST(Scheduler, TimerMayUnscheduleItselfOrAllTimersOfItsTarget) {
    FixedFrames f;
    Ticker t;
    t.onTick = [&] { f.scheduler.unscheduleSelector(schedule_selector(&Ticker::tick), &t); };
    f.scheduler.scheduleSelectorForever(schedule_selector(&Ticker::tick), &t, 0.0f, false);
    f.scheduler.scheduleSelectorForever(schedule_selector(&Ticker::tock), &t, 0.0f, false);
    f.run(4, 0.1f);
    EXPECT_EQ(t.fired.size(), 1u);
    EXPECT_EQ(t.tocked.size(), 3u);

    t.onTock = [&] { f.scheduler.unscheduleAllForTarget(&t); };
    f.run(3, 0.1f);
    EXPECT_EQ(t.tocked.size(), 4u);
    EXPECT_FALSE(f.scheduler.isScheduled(schedule_selector(&Ticker::tock), &t));

    // The target's entry is gone, so a new timer starts from a clean state.
    t.onTock = nullptr;
    f.scheduler.scheduleSelector(schedule_selector(&Ticker::tock), &t, 0.0f, 0, 0.0f, true);
    f.run(3, 0.1f);
    EXPECT_EQ(t.tocked.size(), 4u);  // paused flag of the new entry applies
    f.scheduler.resumeTarget(&t);
    f.run(3, 0.1f);
    EXPECT_EQ(t.tocked.size(), 5u);
}

TEST(Scheduler, OneShotTimerMayReplaceItselfFromItsCallback) {
    FixedFrames f;
    Ticker t;
    const SEL_SCHEDULE tick = schedule_selector(&Ticker::tick);
    int rescheduled = 0;
    t.onTick = [&] {
        f.scheduler.unscheduleSelector(tick, &t);
        if (rescheduled++ < 2) f.scheduler.scheduleSelector(tick, &t, 0.0f, 0, 0.0f, false);
    };
    f.scheduler.scheduleSelector(tick, &t, 0.0f, 0, 0.0f, false);
    f.run(10, 0.1f);
    // Each one-shot fires on its second step; the spent one must not cancel its successor.
    EXPECT_EQ(t.fired.size(), 3u);
    EXPECT_FALSE(f.scheduler.isScheduled(tick, &t));
}

TEST(Scheduler, UnschedulingAnEarlierTimerDoesNotSkipTheNextOne) {
    FixedFrames f;
    std::vector<std::string> order;
    class Three : public Ref {
    public:
        std::vector<std::string>* order = nullptr;
        std::function<void()> onSecond;
        void first(float) { order->push_back("first"); }
        void second(float) {
            order->push_back("second");
            if (onSecond) onSecond();
        }
        void third(float) { order->push_back("third"); }
    } three;
    three.order = &order;
    three.onSecond = [&] { f.scheduler.unscheduleSelector(schedule_selector(&Three::first), &three); };
    f.scheduler.scheduleSelectorForever(schedule_selector(&Three::first), &three, 0.0f, false);
    f.scheduler.scheduleSelectorForever(schedule_selector(&Three::second), &three, 0.0f, false);
    f.scheduler.scheduleSelectorForever(schedule_selector(&Three::third), &three, 0.0f, false);
    f.run(2, 0.1f);
    EXPECT_THAT(order, ElementsAre("first", "second", "third"));
    f.scheduler.unscheduleAll();
}

TEST(Scheduler, TimersScheduledDuringUpdateJoinTheSameFrame) {
    FixedFrames f;
    Ticker a, b;
    int tickCalls = 0;
    a.onTick = [&] {
        if (++tickCalls == 1) {
            // Same target (being walked) and a target with no timers yet.
            f.scheduler.scheduleSelectorForever(schedule_selector(&Ticker::tock), &a, 0.0f, false);
            f.scheduler.scheduleSelectorForever(schedule_selector(&Ticker::tick), &b, 0.0f, false);
        }
    };
    f.scheduler.scheduleSelectorForever(schedule_selector(&Ticker::tick), &a, 0.0f, false);
    f.run(2, 0.1f);  // both new timers take their clock-starting step in frame 2
    EXPECT_TRUE(a.tocked.empty());
    EXPECT_TRUE(b.fired.empty());
    f.run(1, 0.1f);
    EXPECT_EQ(a.tocked.size(), 1u);
    EXPECT_EQ(b.fired.size(), 1u);
    f.scheduler.unscheduleAll();
}

TEST(Scheduler, PerFrameCallbacksRunInPriorityOrderThenRegistrationOrder) {
    Scheduler s;
    std::vector<std::string> order;
    int keys[6];
    auto add = [&](int index, int priority, const char* name) {
        s.schedulePerFrame([&order, name](float) { order.push_back(name); }, &keys[index], priority, false);
    };
    add(0, 5, "pos5");
    add(1, 0, "zeroA");
    add(2, -3, "neg3a");
    add(3, -3, "neg3b");
    add(4, Scheduler::PRIORITY_SYSTEM, "system");
    add(5, 0, "zeroB");
    s.update(0.016f);
    EXPECT_THAT(order, ElementsAre("system", "neg3a", "neg3b", "zeroA", "zeroB", "pos5"));
    s.unscheduleAll();
}

TEST(Scheduler, ScheduleUpdateCallsTheTargetsUpdateWithScaledTime) {
    Scheduler s;
    Ticker t;
    s.scheduleUpdate(&t, 0, false);
    s.update(0.02f);
    s.setTimeScale(0.5f);
    s.update(0.02f);
    EXPECT_THAT(t.updates, ElementsAre(FloatNear(0.02f, 1e-7), FloatNear(0.01f, 1e-7)));
    s.unscheduleUpdate(&t);
    s.update(0.02f);
    EXPECT_EQ(t.updates.size(), 2u);
}

TEST(Scheduler, TimeScaleAlsoSlowsTimers) {
    FixedFrames f;
    Ticker t;
    f.scheduler.setTimeScale(0.5f);
    f.scheduler.scheduleSelector(schedule_selector(&Ticker::tick), &t, 1.0f, 0, 0.0f, false);
    f.run(4, 0.5f);
    EXPECT_TRUE(t.fired.empty());  // only 0.75 s of scaled time after the clock started
    f.run(1, 0.5f);
    EXPECT_THAT(t.fired, ElementsAre(FloatNear(1.0f, 1e-6)));
}

TEST(Scheduler, CallbackUnschedulingAnotherTargetSkipsItAndRemovesItAtFrameEnd) {
    Scheduler s;
    int first = 0, second = 0;
    int secondCalls = 0;
    s.schedulePerFrame([&](float) { s.unscheduleUpdate(&second); }, &first, 0, false);
    s.schedulePerFrame([&](float) { ++secondCalls; }, &second, 0, false);
    s.update(0.1f);
    EXPECT_EQ(secondCalls, 0);
    EXPECT_FALSE(s.isScheduledForUpdate(&second));
    // Registering it again after the frame gives a fresh entry.
    s.schedulePerFrame([&](float) { secondCalls += 10; }, &second, 0, false);
    s.unscheduleUpdate(&first);
    s.update(0.1f);
    EXPECT_EQ(secondCalls, 10);
    s.unscheduleAll();
}

TEST(Scheduler, CallbackMayUnscheduleItselfAndBeRevivedInTheSameFrame) {
    Scheduler s;
    int key = 0, calls = 0;
    s.schedulePerFrame(
        [&](float) {
            ++calls;
            s.unscheduleUpdate(&key);
            s.schedulePerFrame([](float) {}, &key, 0, false);  // revives, keeps this callback
        },
        &key, 0, false);
    s.update(0.1f);
    s.update(0.1f);
    EXPECT_EQ(calls, 2);
    s.unscheduleAll();
}

TEST(Scheduler, RegisteringAgainKeepsTheCallbackOrMovesToANewPriority) {
    Scheduler s;
    std::vector<std::string> order;
    int a = 0, b = 0, c = 0;
    s.schedulePerFrame([&](float) { order.push_back("a"); }, &a, -10, false);
    s.schedulePerFrame([&](float) { order.push_back("b"); }, &b, -5, false);
    s.schedulePerFrame([&](float) { order.push_back("c"); }, &c, -1, false);
    // Same priority: the old callback stays, only the paused flag changes.
    s.schedulePerFrame([&](float) { order.push_back("b2"); }, &b, -5, true);
    s.update(0.1f);
    EXPECT_THAT(order, ElementsAre("a", "c"));
    order.clear();
    // Another priority moves the entry (with the new callback), even when it
    // equals the priority at the head of the list.
    s.schedulePerFrame([&](float) { order.push_back("c2"); }, &c, -10, false);
    s.update(0.1f);
    EXPECT_THAT(order, ElementsAre("a", "c2"));
    s.unscheduleAll();
}

TEST(Scheduler, PausedTargetSkipsItsTimersAndUpdatesUntilResumed) {
    FixedFrames f;
    Ticker t;
    f.scheduler.scheduleUpdate(&t, 1, false);
    f.scheduler.scheduleSelectorForever(schedule_selector(&Ticker::tick), &t, 0.0f, false);
    f.run(2, 0.1f);
    f.scheduler.pauseTarget(&t);
    EXPECT_TRUE(f.scheduler.isTargetPaused(&t));
    f.run(3, 0.1f);
    EXPECT_EQ(t.updates.size(), 2u);
    EXPECT_EQ(t.fired.size(), 1u);
    f.scheduler.resumeTarget(&t);
    f.run(1, 0.1f);
    EXPECT_EQ(t.updates.size(), 3u);
    EXPECT_EQ(t.fired.size(), 2u);
    f.scheduler.unscheduleAllForTarget(&t);
}

TEST(Scheduler, UnscheduleAllWithMinPriorityKeepsLowerPriorities) {
    Scheduler s;
    Ticker t;
    int low = 0, zero = 0, high = 0;
    int lowCalls = 0, zeroCalls = 0, highCalls = 0;
    s.schedulePerFrame([&](float) { ++lowCalls; }, &low, -5, false);
    s.schedulePerFrame([&](float) { ++zeroCalls; }, &zero, 0, false);
    s.schedulePerFrame([&](float) { ++highCalls; }, &high, 5, false);
    s.scheduleSelectorForever(schedule_selector(&Ticker::tick), &t, 0.0f, false);
    s.unscheduleAllWithMinPriority(0);
    s.update(0.1f);
    s.update(0.1f);
    EXPECT_EQ(lowCalls, 2);
    EXPECT_EQ(zeroCalls, 0);
    EXPECT_EQ(highCalls, 0);
    EXPECT_TRUE(t.fired.empty());  // every timer goes, whatever the minimum
    s.unscheduleAll();
    s.update(0.1f);
    EXPECT_EQ(lowCalls, 2);
}

TEST(Scheduler, NullOrUnknownTargetsAreIgnored) {
    Scheduler s;
    Ticker t;
    s.scheduleSelectorForever(schedule_selector(&Ticker::tick), nullptr, 0.0f, false);
    s.schedulePerFrame([](float) {}, nullptr, 0, false);
    s.unscheduleSelector(schedule_selector(&Ticker::tick), &t);
    s.unscheduleAllForTarget(nullptr);
    s.unscheduleUpdate(&t);
    s.pauseTarget(nullptr);
    s.update(0.1f);
    EXPECT_FALSE(s.isScheduled(schedule_selector(&Ticker::tick), &t));
}

TEST(Scheduler, DestroyingTheSchedulerReleasesItsTimers) {
    Ticker t;
    {
        Scheduler s;
        s.scheduleSelectorForever(schedule_selector(&Ticker::tick), &t, 0.0f, false);
        s.scheduleUpdate(&t, 0, false);
    }                                      // the leak checker of the sanitizer run catches a timer left behind
    EXPECT_EQ(t.getReferenceCount(), 1u);  // targets are never retained
}

TEST(Scheduler, PostedFunctionsRunOnTheMainThreadInTheNextUpdateInOrderPerThread) {
    Scheduler s;
    constexpr int kThreads = 4;
    constexpr int kPerThread = 200;
    const auto mainThread = std::this_thread::get_id();
    std::map<int, std::vector<int>> seen;  // touched on the main thread only
    bool offMainThread = false;
    std::mutex mutex;
    std::condition_variable allPosted;
    int finished = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i) {
                s.performFunctionInMainThread([&, t, i] {
                    if (std::this_thread::get_id() != mainThread) offMainThread = true;
                    seen[t].push_back(i);
                });
            }
            std::lock_guard<std::mutex> lock(mutex);
            ++finished;
            allPosted.notify_one();
        });
    }
    {
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(allPosted.wait_for(lock, std::chrono::seconds(10), [&] { return finished == kThreads; }));
    }
    for (auto& thread : threads) thread.join();
    EXPECT_TRUE(seen.empty());  // nothing runs before the update
    s.update(0.016f);
    EXPECT_FALSE(offMainThread);
    ASSERT_EQ(seen.size(), static_cast<size_t>(kThreads));
    std::vector<int> expected(kPerThread);
    for (int i = 0; i < kPerThread; ++i) expected[i] = i;
    for (auto& [thread, values] : seen) EXPECT_EQ(values, expected) << "thread " << thread;
}

TEST(Scheduler, PostedFunctionsRunAfterCallbacksAndTimersAndMayPostAgain) {
    Scheduler s;
    Ticker t;
    std::vector<std::string> order;
    t.onTick = [&] { order.push_back("timer"); };
    s.schedulePerFrame([&](float) { order.push_back("update"); }, &order, 0, false);
    s.scheduleSelectorForever(schedule_selector(&Ticker::tick), &t, 0.0f, false);
    s.update(0.1f);  // starts the timer's clock
    order.clear();
    s.performFunctionInMainThread([&] {
        order.push_back("posted");
        s.performFunctionInMainThread([&] { order.push_back("posted again"); });
    });
    s.update(0.1f);
    EXPECT_THAT(order, ElementsAre("update", "timer", "posted"));
    order.clear();
    s.update(0.1f);
    EXPECT_THAT(order, ElementsAre("update", "timer", "posted again"));
    s.unscheduleAll();
}

}  // namespace
}  // namespace kite
