// The lifecycle signals with WebKit loaded: its script engine, started with the first page,
// leaves SIGUSR1 and SIGUSR2 to the game, and a page's scripts still run to their end.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "platform/Signals.h"
#include "platform/WebWindow.h"
#include "PumpWebEvents.h"

namespace platform {
namespace {

// Enough objects, kept alive, that the script engine has to collect while the page runs.
const char kBusyPage[] =
    "<html><body><script>"
    "var kept = [];"
    "for (var round = 0; round < 20; round++) {"
    "  var batch = [];"
    "  for (var i = 0; i < 200000; i++) batch.push({n: i, text: 'item ' + i});"
    "  kept.push(batch.length);"
    "}"
    "location.href = 'pagecall://done?rounds=' + kept.length;"
    "</script></body></html>";

// The lifecycle signal taken next, waiting at most 10 s for one sent to the process to arrive.
LifecycleSignal nextLifecycleSignal() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    LifecycleSignal taken = takeLifecycleSignal();
    while (taken == LifecycleSignal::None && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        taken = takeLifecycleSignal();
    }
    return taken;
}

// In a process of its own (the signals are watched from its start): a page that works the
// script engine hard, then the user signals, raised on this thread and sent to the process.
int showBusyPageThenSignal() {
    watchLifecycleSignals();
    std::unique_ptr<WebWindow> page = WebWindow::create();
    if (dynamic_cast<RecordingWebWindow*>(page.get())) {
        std::fprintf(stderr, "no WebKit window\n");
        return 2;
    }
    std::string call;
    page->setJavascriptInterfaceScheme("pagecall");
    page->setOnJsCallback([&](const std::string& url) { call = url; });
    page->setFrame(0, 0, 320, 240);
    page->loadHtmlString(kBusyPage, "");
    pumpUntil([&call] { return !call.empty(); });
    if (call != "pagecall://done?rounds=20") {
        std::fprintf(stderr, "the page's script did not end: \"%s\"\n", call.c_str());
        return 3;
    }
    std::raise(SIGUSR1);
    if (takeLifecycleSignal() != LifecycleSignal::Background) return 4;
    std::raise(SIGUSR2);
    if (takeLifecycleSignal() != LifecycleSignal::Foreground) return 5;
    kill(getpid(), SIGUSR1);
    if (nextLifecycleSignal() != LifecycleSignal::Background) return 6;
    kill(getpid(), SIGUSR2);
    if (nextLifecycleSignal() != LifecycleSignal::Foreground) return 7;
    std::fprintf(stderr, "background, then foreground\n");
    return 0;
}

TEST(WebKitSignalsDeathTest, UserSignalsStillMeanBackgroundAndForegroundAfterAPageRanItsScripts) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Ends without exit handlers: WebKit's threads are still running.
    EXPECT_EXIT(std::_Exit(showBusyPageThenSignal()), ::testing::ExitedWithCode(0), "background, then foreground");
}

}  // namespace
}  // namespace platform
