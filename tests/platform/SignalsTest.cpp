// The lifecycle signals against libraries that want them: WebKit's script engine is pointed at
// another signal, and a handler or an unblocking a library leaves behind is undone. A quit request
// during a start-up that is stuck ends it.
#include "platform/Signals.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

namespace platform {
namespace {

// In a process of its own: watches the signals with JSC_SIGNAL_FOR_GC as given (nullptr: unset),
// then writes what the variable holds.
[[noreturn]] void watchWithCollectorSignal(const char* given) {
    if (given)
        setenv("JSC_SIGNAL_FOR_GC", given, 1);
    else
        unsetenv("JSC_SIGNAL_FOR_GC");
    watchLifecycleSignals();
    const char* now = std::getenv("JSC_SIGNAL_FOR_GC");
    std::fprintf(stderr, "collector signal [%s]\n", now ? now : "unset");
    std::_Exit(0);
}

std::string realTimeCollector() { return std::to_string(SIGRTMIN + 1); }

TEST(SignalsDeathTest, WebKitsScriptEngineIsGivenARealTimeSignalUnlessTheUserNamedAFreeOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(watchWithCollectorSignal(nullptr), ::testing::ExitedWithCode(0),
                "^collector signal \\[" + realTimeCollector() + "\\]\n$");
    EXPECT_EXIT(watchWithCollectorSignal(""), ::testing::ExitedWithCode(0),
                "^collector signal \\[" + realTimeCollector() + "\\]\n$");
    // A real-time signal nobody handles: the user's choice stands.
    const std::string free = std::to_string(SIGRTMIN + 3);
    EXPECT_EXIT(watchWithCollectorSignal(free.c_str()), ::testing::ExitedWithCode(0),
                "^collector signal \\[" + free + "\\]\n$");
}

void ignoredHandler(int) {}

TEST(SignalsDeathTest, ACollectorSignalThatIsNotAFreeRealTimeOneIsReplacedWithALogLine) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string replaced = "; it takes " + realTimeCollector() + "\ncollector signal \\[" + realTimeCollector();
    // Ours, SIGCHLD (WebKit waits on its spawns), faults and alarms, SIGPWR, the first real-time
    // signal, past the last, none at all.
    const std::vector<std::string> refused{
        "10", "12", "15", "2", "1", "17", "11", "14", "30", "9", "0", "100", "35x", "SIGPWR", std::to_string(SIGRTMIN)};
    for (const std::string& given : refused) {
        EXPECT_EXIT(watchWithCollectorSignal(given.c_str()), ::testing::ExitedWithCode(0),
                    "Signals: JSC_SIGNAL_FOR_GC \"" + given + "\" is not a signal WebKit may take" + replaced)
            << given;
    }
    // A real-time signal something already handles.
    const std::string taken = std::to_string(SIGRTMIN + 2);
    EXPECT_EXIT(
        {
            std::signal(SIGRTMIN + 2, ignoredHandler);
            watchWithCollectorSignal(taken.c_str());
        },
        ::testing::ExitedWithCode(0),
        "Signals: JSC_SIGNAL_FOR_GC \"" + taken + "\" is not a signal WebKit may take" + replaced);
}

// In a process of its own: the terminal hangs up, which asks the game to quit as SIGTERM does.
[[noreturn]] void hangUp() {
    watchLifecycleSignals();
    std::raise(SIGHUP);
    std::fprintf(stderr, "hang-up %s\n", takeLifecycleSignal() == LifecycleSignal::Quit ? "quits" : "ignored");
    std::_Exit(0);
}

TEST(SignalsDeathTest, AHangUpIsAQuitRequestNotTheEnd) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(hangUp(), ::testing::ExitedWithCode(0), "^hang-up quits\n$");
}

// In a process of its own, started as nohup starts a program: the hang-up stays ignored.
[[noreturn]] void hangUpUnderNohup() {
    std::signal(SIGHUP, SIG_IGN);
    watchLifecycleSignals();
    std::raise(SIGHUP);
    reclaimLifecycleSignals();
    std::raise(SIGHUP);
    struct sigaction now;
    sigaction(SIGHUP, nullptr, &now);
    std::fprintf(stderr, "hang-up %s, %s\n", takeLifecycleSignal() == LifecycleSignal::Quit ? "quits" : "ignored",
                 now.sa_handler == SIG_IGN ? "still ignored" : "handled");
    std::_Exit(0);
}

TEST(SignalsDeathTest, AHangUpIgnoredAtStartStaysIgnored) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(hangUpUnderNohup(), ::testing::ExitedWithCode(0), "^hang-up ignored, still ignored\n$");
}

bool foreignHandlerRan = false;
void foreignHandler(int) { foreignHandlerRan = true; }

// In a process of its own: a library takes SIGUSR1 and unblocks it on this thread, as WebKit's
// script engine does with its signal; after the reclaim, SIGUSR1 is a lifecycle signal again.
[[noreturn]] void reclaimFromALibrary() {
    watchLifecycleSignals();
    struct sigaction library = {};
    library.sa_handler = foreignHandler;
    sigemptyset(&library.sa_mask);
    sigaction(SIGUSR1, &library, nullptr);
    sigset_t usr1;
    sigemptyset(&usr1);
    sigaddset(&usr1, SIGUSR1);
    pthread_sigmask(SIG_UNBLOCK, &usr1, nullptr);
    reclaimLifecycleSignals();
    std::raise(SIGUSR1);
    const bool background = takeLifecycleSignal() == LifecycleSignal::Background;
    std::fprintf(stderr, "background %s, library handler %s\n", background ? "taken" : "lost",
                 foreignHandlerRan ? "ran" : "idle");
    std::_Exit(0);
}

TEST(SignalsDeathTest, AHandlerAndAnUnblockingALibraryLeftOnALifecycleSignalAreUndone) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(reclaimFromALibrary(), ::testing::ExitedWithCode(0),
                "Signals: a library took signal 10; it is the game's again\n"
                "Signals: a library unblocked signal 10 on the main thread; it is blocked again\n"
                "background taken, library handler idle\n");
}

// In a process of its own: start-up gets stuck reading what nobody writes, after a pause request and
// a quit request came; only the quit request ends it.
[[noreturn]] void startUpStuckInARead() {
    watchLifecycleSignals();
    watchStartup();
    startupStep("reading the settings");
    kill(getpid(), SIGUSR1);
    kill(getpid(), SIGTERM);
    int nobodyWrites[2];
    if (pipe(nobodyWrites) == 0) {
        char byte;
        (void)!read(nobodyWrites[0], &byte, 1);
    }
    std::fprintf(stderr, "the read ended\n");
    std::_Exit(0);
}

TEST(SignalsDeathTest, AQuitRequestEndsAStartUpStuckPastTheGraceNamingItsStep) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(startUpStuckInARead(), ::testing::ExitedWithCode(1),
                "^[a-z_]+: SIGTERM during start-up, which did not get past \"reading the settings\" within 3 s; "
                "quitting\n$");
}

// In a process of its own: a quit request comes during start-up, which then reaches the loop.
[[noreturn]] void startUpReachingTheLoop() {
    watchLifecycleSignals();
    watchStartup();
    startupStep("opening the window");
    kill(getpid(), SIGINT);
    startupReachedLoop();
    std::fprintf(stderr, "the loop %s\n", takeLifecycleSignal() == LifecycleSignal::Quit ? "quits" : "got nothing");
    std::_Exit(0);
}

TEST(SignalsDeathTest, AStartUpThatReachesTheLoopQuitsThereOnTheRequest) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(startUpReachingTheLoop(), ::testing::ExitedWithCode(0), "^the loop quits\n$");
}

// In a process of its own: a hold that names none of the steps start-up goes through.
[[noreturn]] void startUpWithAMistypedHold() {
    setenv("STARGRID_STARTUP_HOLD", "opening the windw", 1);
    watchLifecycleSignals();
    watchStartup();
    startupStep("opening the window");
    startupReachedLoop();
    std::_Exit(0);
}

TEST(SignalsDeathTest, AHoldThatNamesNoStepIsSaidWithTheSteps) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(startUpWithAMistypedHold(), ::testing::ExitedWithCode(0),
                "^[a-z_]+: STARGRID_STARTUP_HOLD \"opening the windw\" names no step of start-up \\(\"opening the "
                "window\"\\); it was not held\n$");
}

}  // namespace
}  // namespace platform
