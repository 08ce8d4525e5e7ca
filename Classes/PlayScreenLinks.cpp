#include "Classes/PlayScreenLinks.h"

#include "Classes/GameData.h"
#include "Classes/GameScene.h"
#include "Classes/QKSingleton.h"
#include "kite/foundation/Log.h"

namespace links {

kite::Scene* makeMenuScene() {
    // Without a menu the player goes straight back into the stored game, as at start-up.
    kite::log("stargrid: no menu in this build; back to the stored game");
    GameData::getInstance()->resumeGame();
    return GameScene::create();
}

void openShop(kite::Node*) { kite::log("stargrid: the shop is not in this build"); }

void openSale(kite::Node*) { kite::log("stargrid: the sale screen is not in this build"); }

void showAlert(const std::string& title, const std::string& message) {
    kite::log("stargrid: alert %s: %s", title.c_str(), message.c_str());
}

// Both notices go out only with the network up and a bound phone; no server is reachable from this build.
void submitScore() {
    if (!QKSingleton::getInstance()->networkReachable) return;
    kite::log("stargrid: no game server in this build; score not sent");
}

void submitGameover() {
    if (!QKSingleton::getInstance()->networkReachable) return;
    kite::log("stargrid: no game server in this build; game-over notice not sent");
}

}  // namespace links
