// Waiting on a web window from a test: its events are pumped until something happened.
#pragma once
#include <chrono>
#include <thread>

#include "platform/WebWindow.h"

namespace platform {

// The most a wait on a page lasts. A loaded machine (a whole test suite beside a load of twice the cores) takes
// long to start WebKit's processes and run a page's scripts: the bound only keeps a page that never comes from
// hanging the run.
constexpr std::chrono::minutes kPageWait{2};

// Runs the page's events until the condition holds, for at most kPageWait.
template <typename Condition>
bool pumpUntil(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + kPageWait;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        WebWindow::pumpEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace platform
