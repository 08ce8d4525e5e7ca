#include "app-shell/AlertView.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "Classes/PopupBoxLayer.h"
#include "kite/foundation/Create.h"
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
    bool replaceable;  // it came while one of its title was on the screen
    std::function<void()> drawn;
};

// Runs its function once the first frame that drew it (with its alert) is on the screen: in the next frame,
// or as it leaves the screen before that (its alert closed, the game quitting).
class DrawnSignal : public kite::Node {
public:
    static DrawnSignal* create(std::function<void()> drawn) {
        DrawnSignal* signal = kite::createAutoreleased<DrawnSignal>();
        if (signal) signal->pending_ = std::make_shared<std::function<void()>>(std::move(drawn));
        return signal;
    }
    using kite::Node::draw;
    void draw(kite::Renderer*, const kite::Mat4&, uint32_t) override {
        if (drawn_) return;
        drawn_ = true;
        // This frame is presented once drawing is over; the next one runs what is posted now.
        kite::Director::getInstance()->getScheduler()->performFunctionInMainThread(
            [pending = pending_] { runOnce(*pending); });
    }
    void onExit() override {
        kite::Node::onExit();
        if (drawn_) runOnce(*pending_);
    }

private:
    static void runOnce(std::function<void()>& function) {
        if (!function) return;
        const std::function<void()> once = std::move(function);
        function = nullptr;
        once();
    }

    std::shared_ptr<std::function<void()>> pending_;
    bool drawn_ = false;
};

// Alerts of one kind (one title) show one at a time: the newest of a kind waits while one of
// its kind is on the screen, and replaces an older one that came meanwhile, so a flood of them
// never stacks. Alerts wait too until a scene runs: before that the design size is not set yet.
// Those raised while none of their kind shows (at start: no network, the store's news) each
// wait their turn.
std::vector<WaitingAlert>& waitingAlerts() {
    static std::vector<WaitingAlert> alerts;
    return alerts;
}

std::string nodeName(const std::string& title) { return "AlertView " + title; }

void presentWaitingAlerts(float) {
    kite::Director* director = kite::Director::getInstance();
    kite::Scene* scene = director->getRunningScene();
    if (!scene) return;
    std::vector<WaitingAlert>& waiting = waitingAlerts();
    for (auto it = waiting.begin(); it != waiting.end();) {
        if (scene->getChildByName(nodeName(it->title))) {
            ++it;
            continue;
        }
        if (PopupBoxLayer* alert = PopupBoxLayer::create()) {
            alert->setTitle(it->title);
            alert->setMessage(it->message);
            alert->setMessageLinesCentred(true);
            alert->buildAlert();
            alert->setName(nodeName(it->title));
            if (it->drawn) {
                if (DrawnSignal* signal = DrawnSignal::create(std::move(it->drawn))) alert->addChild(signal);
            }
            scene->addChild(alert, kAlertZOrder);
        }
        it = waiting.erase(it);
    }
    if (waiting.empty()) director->getScheduler()->unscheduleUpdate(&waitingAlerts());
}

}  // namespace

void showAlertView(const std::string& title, const std::string& message, const std::string& button,
                   std::function<void()> drawn) {
    kite::log("AlertView: %s / %s [%s]", title.c_str(), message.c_str(), button.c_str());
    std::vector<WaitingAlert>& waiting = waitingAlerts();
    const kite::Scene* scene = kite::Director::getInstance()->getRunningScene();
    const bool shown = scene && scene->getChildByName(nodeName(title));
    auto same =
        std::find_if(waiting.rbegin(), waiting.rend(), [&](const WaitingAlert& alert) { return alert.title == title; });
    // One whose drawing is awaited is never replaced, nor replaces: it takes its turn.
    if (shown && same != waiting.rend() && same->replaceable && !drawn)
        same->message = message;
    else
        waiting.push_back({title, message, shown && !drawn, std::move(drawn)});
    // Asking again keeps the one schedule.
    kite::Director::getInstance()->getScheduler()->schedulePerFrame(presentWaitingAlerts, &waitingAlerts(), 0, false);
    presentWaitingAlerts(0);
}
