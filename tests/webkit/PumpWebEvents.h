// Waiting on a web window from a test: its events are pumped until something happened.
#pragma once
#include <chrono>
#include <thread>

#include "platform/WebWindow.h"

namespace platform {

// Runs the page's events until the condition holds, for at most 30 s.
template <typename Condition>
bool pumpUntil(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        WebWindow::pumpEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace platform
