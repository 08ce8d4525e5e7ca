#include "app-shell/AlertView.h"

#include <vector>

#include "Classes/PopupBoxLayer.h"
#include "kite/foundation/Log.h"
#include "kite/foundation/Ref.h"
#include "kite/foundation/Scheduler.h"
#include "kite/scene/Director.h"
#include "kite/scene/Scene.h"

namespace {

// Above every dialog of the game.
constexpr int kAlertZOrder = 1000;

std::vector<kite::RefPtr<PopupBoxLayer>>& waitingAlerts() {
    static std::vector<kite::RefPtr<PopupBoxLayer>> alerts;
    return alerts;
}

void presentWaitingAlerts(float) {
    kite::Director* director = kite::Director::getInstance();
    kite::Scene* scene = director->getRunningScene();
    if (!scene) return;
    for (const kite::RefPtr<PopupBoxLayer>& alert : waitingAlerts()) scene->addChild(alert.get(), kAlertZOrder);
    waitingAlerts().clear();
    director->getScheduler()->unscheduleUpdate(&waitingAlerts());
}

}  // namespace

void showAlertView(const std::string& title, const std::string& message, const std::string& button) {
    kite::log("AlertView: %s / %s [%s]", title.c_str(), message.c_str(), button.c_str());
    PopupBoxLayer* alert = PopupBoxLayer::create();
    if (!alert) return;
    alert->setTitle(title);
    alert->setMessage(message);
    alert->buildAlert();
    const bool firstWaiting = waitingAlerts().empty();
    waitingAlerts().emplace_back(alert);
    if (firstWaiting) {
        kite::Director::getInstance()->getScheduler()->schedulePerFrame(presentWaitingAlerts, &waitingAlerts(), 0,
                                                                         false);
    }
    presentWaitingAlerts(0);
}
