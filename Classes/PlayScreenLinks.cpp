#include "Classes/PlayScreenLinks.h"

#include "Classes/MenuScene.h"
#include "Classes/MenuScreens.h"
#include "Classes/QKGateway.h"
#include "Classes/QKSingleton.h"
#include "kite/scene/Director.h"
#include "kite/scene/Scene.h"

namespace links {

kite::Scene* makeMenuScene() { return MenuScene::create(); }

void openShop(kite::Node* screen) { MenuScreens::openShop(screen); }

void openSale(kite::Node* screen) { MenuScreens::openSale(screen); }

// Logged even with no scene running, when there is nothing to show it over.
void showAlert(const std::string& title, const std::string& message) {
    QKSingleton::getInstance()->showAlert(kite::Director::getInstance()->getRunningScene(), title, message);
}

// Both go out only with the network up and a bound phone (the gateway checks).
void submitScore() { QKGateway::getInstance()->submitScore(); }

void submitGameover() { QKGateway::getInstance()->submitGameover(); }

}  // namespace links
