// The application's life-cycle notifications: observers by token, posted on the caller's thread.
#pragma once
#include <cstdint>
#include <functional>

namespace platform {

enum class AppNotification {
    WillTerminate,
    WillEnterForeground,
    DidBecomeActive,
    DidEnterBackground,
    WillResignActive
};

// A token removes the observer again; observers may be added from any thread.
std::uint64_t addAppObserver(AppNotification name, std::function<void()> handler);
void removeAppObserver(std::uint64_t token);
// Calls every observer of the name, in the order they were added.
void postAppNotification(AppNotification name);

}  // namespace platform
