// The application's life-cycle notifications.
#include "platform/AppNotifications.h"

#include <mutex>
#include <vector>

namespace platform {

namespace {

struct Observer {
    std::uint64_t token;
    AppNotification name;
    std::function<void()> handler;
};

std::mutex observersMutex;
std::vector<Observer> observers;
std::uint64_t lastToken = 0;

}  // namespace

std::uint64_t addAppObserver(AppNotification name, std::function<void()> handler) {
    std::lock_guard<std::mutex> lock(observersMutex);
    observers.push_back({++lastToken, name, std::move(handler)});
    return lastToken;
}

void removeAppObserver(std::uint64_t token) {
    std::lock_guard<std::mutex> lock(observersMutex);
    for (auto it = observers.begin(); it != observers.end(); ++it) {
        if (it->token == token) {
            observers.erase(it);
            return;
        }
    }
}

void postAppNotification(AppNotification name) {
    std::vector<std::function<void()>> handlers;
    {
        // Called outside the lock: a handler may add or remove observers.
        std::lock_guard<std::mutex> lock(observersMutex);
        for (const Observer& observer : observers) {
            if (observer.name == name) handlers.push_back(observer.handler);
        }
    }
    for (const auto& handler : handlers) handler();
}

}  // namespace platform
