#include "Classes/MenuScene.h"

#include "Classes/MenuLayer.h"
#include "Classes/QKSingleton.h"
#include "Classes/QKSound.h"
#include "kite/foundation/Create.h"
#include "kite/rendering/TextureCache.h"
#include "kite/scene/Director.h"

MenuScene* MenuScene::create() { return kite::createAutoreleased<MenuScene>(); }

std::vector<std::string> MenuScene::picturesToPreload() {
    // The background, the title and the start button; the other buttons are small.
    return {"Menu/bg_menuscene.png", "Menu/bg_menutitle.png", "Menu/btn_start.png"};
}

void MenuScene::preloadPictures() {
    kite::TextureCache* cache = kite::Director::getInstance()->getTextureCache();
    if (!cache) return;
    for (const std::string& picture : picturesToPreload()) cache->addImageAsync(picture, nullptr);
}

bool MenuScene::init() {
    if (!Scene::init()) return false;
    QKSingleton::getInstance()->inGame = false;
    QKSound::getInstance()->playBackgroundMusic();
    MenuLayer* layer = MenuLayer::create();
    if (!layer) return false;
    addChild(layer);
    return true;
}
