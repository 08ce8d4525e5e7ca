#include "Classes/MenuScene.h"

#include "Classes/MenuLayer.h"
#include "Classes/QKSingleton.h"
#include "Classes/QKSound.h"
#include "kite/foundation/Create.h"

MenuScene* MenuScene::create() { return kite::createAutoreleased<MenuScene>(); }

bool MenuScene::init() {
    if (!Scene::init()) return false;
    QKSingleton::getInstance()->inGame = false;
    QKSound::getInstance()->playBackgroundMusic();
    MenuLayer* layer = MenuLayer::create();
    if (!layer) return false;
    addChild(layer);
    return true;
}
