#include "Classes/GameScene.h"

#include "Classes/GameLayer.h"
#include "Classes/QKSingleton.h"
#include "Classes/QKSound.h"
#include "kite/foundation/Create.h"
#include "kite/rendering/TextureCache.h"
#include "kite/scene/BMFontConfiguration.h"
#include "kite/scene/Director.h"

GameScene* GameScene::create() { return kite::createAutoreleased<GameScene>(); }

std::vector<std::string> GameScene::picturesToPreload(bool withTutorial) {
    // The backgrounds, the board's pieces and the pages of the bitmap fonts its labels are set in.
    std::vector<std::string> pictures = {"Scene/bg_mainscene.png", "Scene/bg_topmenu.png", "Star/stars.png"};
    for (const char* font : {"Font/NumberA.fnt", "Font/NumberB.fnt", "Font/NumberC.fnt", "Font/NumberD.fnt",
                             "Font/NumberE.fnt", "Font/NumberF.fnt"}) {
        if (kite::BMFontConfiguration* description = kite::FNTConfigLoadFile(font))
            pictures.push_back(description->getAtlasName());
    }
    if (withTutorial)
        pictures.insert(pictures.end(), {"Guide/guide_bomb.png", "Guide/guide_paint.png", "Guide/guide_reset.png",
                                         "Guide/finger_anim.pvr.ktz"});
    return pictures;
}

void GameScene::preloadPictures() {
    kite::TextureCache* cache = kite::Director::getInstance()->getTextureCache();
    if (!cache) return;
    for (const std::string& picture : picturesToPreload(QKSingleton::getInstance()->getGuideStatus() == 0))
        cache->addImageAsync(picture, nullptr);
}

bool GameScene::init() {
    if (!Scene::init()) return false;
    QKSingleton::getInstance()->inGame = true;
    QKSound::getInstance()->playBackgroundMusic();
    GameLayer* layer = GameLayer::create();
    if (!layer) return false;
    addChild(layer);
    return true;
}
