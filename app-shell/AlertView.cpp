#include "app-shell/AlertView.h"

#include <vector>

#include "Classes/PopupBoxLayer.h"
#include "kite/foundation/Log.h"
#include "kite/foundation/Scheduler.h"
#include "kite/scene/Director.h"
#include "kite/scene/Scene.h"

namespace {

// Above every dialog of the game.
constexpr int kAlertZOrder = 1000;

struct WaitingAlert {
    std::string title;
    std::string message;
};

// Built only when a scene runs: before that the design size is not set yet.
std::vector<WaitingAlert>& waitingAlerts() {
    static std::vector<WaitingAlert> alerts;
    return alerts;
}

void presentWaitingAlerts(float) {
    kite::Director* director = kite::Director::getInstance();
    kite::Scene* scene = director->getRunningScene();
    if (!scene) return;
    for (const WaitingAlert& waiting : waitingAlerts()) {
        PopupBoxLayer* alert = PopupBoxLayer::create();
        if (!alert) continue;
        alert->setTitle(waiting.title);
        alert->setMessage(waiting.message);
        alert->buildAlert();
        scene->addChild(alert, kAlertZOrder);
    }
    waitingAlerts().clear();
    director->getScheduler()->unscheduleUpdate(&waitingAlerts());
}

}  // namespace

void showAlertView(const std::string& title, const std::string& message, const std::string& button) {
    kite::log("AlertView: %s / %s [%s]", title.c_str(), message.c_str(), button.c_str());
    const bool firstWaiting = waitingAlerts().empty();
    waitingAlerts().push_back({title, message});
    if (firstWaiting) {
        kite::Director::getInstance()->getScheduler()->schedulePerFrame(presentWaitingAlerts, &waitingAlerts(), 0,
                                                                        false);
    }
    presentWaitingAlerts(0);
}
