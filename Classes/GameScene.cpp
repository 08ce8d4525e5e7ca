#include "Classes/GameScene.h"

#include "Classes/GameLayer.h"
#include "Classes/QKSingleton.h"
#include "Classes/QKSound.h"
#include "kite/foundation/Create.h"

GameScene* GameScene::create() { return kite::createAutoreleased<GameScene>(); }

bool GameScene::init() {
    if (!Scene::init()) return false;
    QKSingleton::getInstance()->inGame = true;
    QKSound::getInstance()->playBackgroundMusic();
    GameLayer* layer = GameLayer::create();
    if (!layer) return false;
    addChild(layer);
    return true;
}
