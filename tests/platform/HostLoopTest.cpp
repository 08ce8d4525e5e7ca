#include "platform/HostLoop.h"

#include <SDL2/SDL.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/DisplayLink.h"
#include "platform/GLContext.h"
#include "platform/Signals.h"

namespace platform {
namespace {

using ::testing::ElementsAre;

class HostLoopTest : public ::testing::Test {
protected:
    void SetUp() override { Clock::setFixed(100.0); }
    void TearDown() override {
        loop.reset();
        Clock::useRealTime();
    }

    // Records the loop tick of each firing.
    std::shared_ptr<DisplayLink> recordingLink(int interval, std::vector<std::uint64_t>* fired) {
        auto link = DisplayLink::create([this, fired] { fired->push_back(loop.currentTick()); });
        link->setFrameInterval(interval);
        link->addToLoop(loop);
        return link;
    }

    HostLoop loop;
};

TEST_F(HostLoopTest, FixedStepFiresEveryNthTickAndAdvancesTheClockOneTickAPass) {
    loop.setFixedStep(true);
    std::vector<std::uint64_t> everyTick, quarterSecond;
    auto a = recordingLink(1, &everyTick);
    auto b = recordingLink(15, &quarterSecond);
    for (int i = 0; i < 45; ++i) loop.runOnce();
    EXPECT_EQ(everyTick.size(), 45u);
    EXPECT_THAT(quarterSecond, ElementsAre(15u, 30u, 45u));
    EXPECT_NEAR(Clock::now(), 100.0 + 45.0 / 60.0, 1e-9);
}

TEST_F(HostLoopTest, RealTimeLinkSkipsMissedTicksAndKeepsItsPhase) {
    std::vector<std::uint64_t> fired;
    loop.runOnce();  // tick 0 at the current time
    auto link = recordingLink(4, &fired);
    Clock::advance(3.5 / 60);
    loop.runOnce();
    EXPECT_TRUE(fired.empty());
    Clock::advance(1.0 / 60);  // tick 4
    loop.runOnce();
    Clock::advance(9.2 / 60);  // tick 13: a slow frame; ticks 8 and 12 are missed
    loop.runOnce();
    Clock::advance(3.0 / 60);  // tick 16: back on the grid of every fourth tick
    loop.runOnce();
    EXPECT_THAT(fired, ElementsAre(4u, 13u, 16u));
}

TEST_F(HostLoopTest, ClockSteppingBackNeverFiresTwice) {
    std::vector<std::uint64_t> fired;
    loop.runOnce();
    auto link = recordingLink(1, &fired);
    Clock::advance(1.0 / 60);
    loop.runOnce();
    Clock::advance(-5.0 / 60);
    loop.runOnce();
    loop.runOnce();
    EXPECT_EQ(fired.size(), 1u);
}

TEST_F(HostLoopTest, LinksMayRebuildOrDropThemselvesWhileFiring) {
    loop.setFixedStep(true);
    int fired = 0;
    std::shared_ptr<DisplayLink> link;
    std::function<void()> rebuild = [&] {
        ++fired;
        // As the display-link caller does on an interval change: drop the firing
        // link and add a fresh one.
        link->invalidate();
        link = DisplayLink::create(rebuild);
        link->addToLoop(loop);
    };
    link = DisplayLink::create(rebuild);
    link->addToLoop(loop);
    for (int i = 0; i < 5; ++i) loop.runOnce();
    EXPECT_EQ(fired, 5);
    EXPECT_EQ(loop.linkCount(), 1u);
    link->invalidate();
    EXPECT_EQ(loop.linkCount(), 0u);
}

TEST_F(HostLoopTest, SourcesArePolledOncePerPassAndMayRemoveThemselves) {
    loop.setFixedStep(true);
    int polled = 0;
    int once = 0;
    HostLoop::SourceId self = 0;
    loop.addSource([&] { ++polled; });
    self = loop.addSource([&] {
        ++once;
        loop.removeSource(self);
    });
    for (int i = 0; i < 3; ++i) loop.runOnce();
    EXPECT_EQ(polled, 3);
    EXPECT_EQ(once, 1);
}

int toolkitPumps = 0;
void countToolkitPump() { ++toolkitPumps; }

TEST_F(HostLoopTest, AToolkitsEventsArePumpedEveryPassOnceItsPumpIsSet) {
    loop.setFixedStep(true);
    toolkitPumps = 0;
    loop.runOnce();  // none set: nothing to pump
    HostLoop::setToolkitEventPump(&countToolkitPump);
    loop.runOnce();
    loop.runOnce();
    HostLoop::setToolkitEventPump(nullptr);
    loop.runOnce();
    EXPECT_EQ(toolkitPumps, 2);
}

TEST_F(HostLoopTest, BackgroundAndForegroundAlternateAndQuitRunsBackgroundFirst) {
    std::vector<std::string> calls;
    HostLoop::Handlers handlers;
    handlers.background = [&] { calls.push_back("background"); };
    handlers.foreground = [&] { calls.push_back("foreground"); };
    handlers.quit = [&] { calls.push_back("quit"); };
    loop.setHandlers(handlers);
    loop.enterForeground();  // already in the foreground
    loop.enterBackground();
    loop.enterBackground();
    loop.enterForeground();
    loop.quit();
    loop.quit();
    EXPECT_THAT(calls, ElementsAre("background", "foreground", "background", "quit"));
    EXPECT_TRUE(loop.isStopping());
    EXPECT_EQ(loop.run(), 0);  // returns at once after quit
}

TEST_F(HostLoopTest, SignalsBecomeLifecycleCallsOnTheLoop) {
    watchLifecycleSignals();
    std::vector<std::string> calls;
    HostLoop::Handlers handlers;
    handlers.background = [&] { calls.push_back("background"); };
    handlers.foreground = [&] { calls.push_back("foreground"); };
    handlers.quit = [&] { calls.push_back("quit"); };
    loop.setHandlers(handlers);
    std::raise(SIGUSR1);
    std::raise(SIGUSR1);
    std::raise(SIGUSR2);
    EXPECT_TRUE(calls.empty());  // nothing happens until the loop looks
    loop.runOnce();
    EXPECT_THAT(calls, ElementsAre("background", "foreground"));
    std::raise(SIGTERM);
    loop.runOnce();
    EXPECT_THAT(calls, ElementsAre("background", "foreground", "background", "quit"));
    EXPECT_TRUE(loop.isStopping());
}

TEST_F(HostLoopTest, WindowMinimiseRestoreAndCloseDriveTheLifecycle) {
    WindowOptions options;
    options.width = 16;
    options.height = 16;
    options.visible = false;
    auto context = GLContext::create(options);
    ASSERT_NE(context, nullptr);
    std::vector<std::string> calls;
    HostLoop::Handlers handlers;
    handlers.background = [&] { calls.push_back("background"); };
    handlers.foreground = [&] { calls.push_back("foreground"); };
    handlers.quit = [&] { calls.push_back("quit"); };
    loop.setHandlers(handlers);
    loop.setFixedStep(true);
    auto push = [&](Uint8 what) {
        SDL_Event event{};
        event.type = SDL_WINDOWEVENT;
        event.window.event = what;
        event.window.windowID = context->windowId();
        SDL_PushEvent(&event);
    };
    push(SDL_WINDOWEVENT_MINIMIZED);
    push(SDL_WINDOWEVENT_RESTORED);
    loop.runOnce();
    EXPECT_THAT(calls, ElementsAre("background", "foreground"));
    push(SDL_WINDOWEVENT_CLOSE);
    loop.runOnce();
    EXPECT_THAT(calls, ElementsAre("background", "foreground", "background", "quit"));
}

TEST_F(HostLoopTest, PostedEventsArriveInOrderBeforeTheNextPassesLinks) {
    std::vector<std::string> calls;
    HostLoop::Handlers handlers;
    handlers.background = [&] { calls.push_back("background"); };
    handlers.foreground = [&] { calls.push_back("foreground"); };
    handlers.quit = [&] { calls.push_back("quit"); };
    handlers.input = [&](const InputEvent& e) {
        calls.push_back(e.type == InputEvent::Type::TOUCH_BEGAN ? "began" : "other");
        if (e.type == InputEvent::Type::TOUCH_BEGAN) loop.post(InputEvent::of(InputEvent::Type::FOCUS_LOST));
    };
    loop.setHandlers(handlers);
    loop.setFixedStep(true);
    auto link = DisplayLink::create([&] { calls.push_back("frame"); });
    link->addToLoop(loop);
    loop.post(InputEvent::touch(InputEvent::Type::TOUCH_BEGAN, 1, 2.0f, 3.0f));
    loop.post(InputEvent::of(InputEvent::Type::BACKGROUND));
    loop.post(InputEvent::of(InputEvent::Type::FOREGROUND));
    loop.runOnce();
    // What a handler posts waits for the next pass.
    EXPECT_THAT(calls, ElementsAre("began", "background", "foreground", "frame"));
    loop.post(InputEvent::of(InputEvent::Type::CLOSE));
    loop.runOnce();
    EXPECT_THAT(calls, ElementsAre("began", "background", "foreground", "frame", "other", "background", "quit"));
    EXPECT_TRUE(loop.isStopping());
}

TEST(Clock, FixedClockMovesOnlyWhenAdvanced) {
    Clock::setFixed(5.0);
    EXPECT_TRUE(Clock::isFixed());
    EXPECT_EQ(Clock::now(), 5.0);
    Clock::advance(0.25);
    EXPECT_EQ(Clock::now(), 5.25);
    Clock::useRealTime();
    double a = Clock::now();
    Clock::advance(1000.0);  // ignored on real time
    EXPECT_LT(Clock::now() - a, 100.0);
    EXPECT_GE(Clock::now(), a);
}

TEST(GLContext, WindowsScaleDownToFitASmallerScreenButNeverUp) {
    int w = 640, h = 1136;
    fitWithin(w, h, 1280, 800);
    EXPECT_EQ(w, 450);
    EXPECT_EQ(h, 800);
    w = 768, h = 1024;
    fitWithin(w, h, 1920, 1080);
    EXPECT_EQ(w, 768);
    EXPECT_EQ(h, 1024);
}

}  // namespace
}  // namespace platform
