#include "Classes/PauseLayer.h"

#include "Classes/DialogParts.h"
#include "Classes/GameData.h"
#include "Classes/GameEffects.h"
#include "Classes/GameScene.h"
#include "Classes/PlayScreenLinks.h"
#include "Classes/QKSingleton.h"
#include "Classes/QKSound.h"
#include "kite/foundation/Create.h"
#include "kite/scene/Director.h"
#include "kite/scene/MenuItem.h"
#include "kite/scene/Sprite.h"

PauseLayer* PauseLayer::create() { return kite::createAutoreleased<PauseLayer>(); }

bool PauseLayer::init() {
    if (!Layer::init()) return false;
    dialog::claimAllTouches(this);
    dialog::addShade(this, 20, 36);
    background = dialog::addCentred(this, "Common/bg_dialog_3.png", 0);
    if (!background) return false;
    const kite::Size size = background->getContentSize();
    const float w = size.width;
    const float h = size.height;
    if (kite::Sprite* title = kite::Sprite::create("Scene/bg_game_pause.png")) {
        title->setPosition(w / 2, h / 2);
        background->addChild(title);
    }
    dialog::addButton(background, "Common/btn_close.png", kite::Vec2(w - 32, h - 32), 1, [this] { onClose(); });
    dialog::addButton(background, "Scene/btn_pause_back.png", kite::Vec2(w / 2, h / 2 + 80), 1, [this] { onBack(); });
    dialog::addButton(background, "Scene/btn_pause_reset.png", kite::Vec2(w / 2, h / 2 - 20), 1,
                      [this] { onRestart(); });
    QKSingleton* state = QKSingleton::getInstance();
    musicToggle = dialog::addToggle(background, "Scene/btn_music_on.png", "Scene/btn_music_off.png",
                                    kite::Vec2(w / 2 - 75, 135), 0, [this](unsigned) { onMusic(); });
    soundToggle = dialog::addToggle(background, "Scene/btn_sound_on.png", "Scene/btn_sound_off.png",
                                    kite::Vec2(w / 2 + 75, 135), 0, [this](unsigned) { onSound(); });
    if (musicToggle && !state->getMusicOnOff()) musicToggle->setSelectedIndex(1);
    if (soundToggle && !state->getSoundOnOff()) soundToggle->setSelectedIndex(1);
    return true;
}

bool PauseLayer::onTouchBegan(kite::Touch*, kite::Event*) { return true; }

void PauseLayer::onClose() { removeFromParentAndCleanup(true); }

void PauseLayer::onBack() {
    removeFromParentAndCleanup(true);
    removeStageClear();
    if (kite::Scene* menu = links::makeMenuScene()) kite::Director::getInstance()->replaceScene(menu);
}

void PauseLayer::onRestart() {
    removeFromParentAndCleanup(true);
    removeStageClear();
    GameData::getInstance()->newGame();
    if (GameScene* scene = GameScene::create()) kite::Director::getInstance()->replaceScene(scene);
}

void PauseLayer::onMusic() {
    QKSingleton* state = QKSingleton::getInstance();
    if (state->getMusicOnOff()) {
        state->setMusicOnOff(false);
        QKSound::getInstance()->stopBackgroundMusic();
    } else {
        state->setMusicOnOff(true);
        QKSound::getInstance()->playBackgroundMusic();
    }
    storeVoice();
}

void PauseLayer::onSound() {
    QKSingleton* state = QKSingleton::getInstance();
    state->setSoundOnOff(!state->getSoundOnOff());
    storeVoice();
}

void PauseLayer::storeVoice() {
    QKSingleton* state = QKSingleton::getInstance();
    state->setVoiceOnOff(state->getMusicOnOff() || state->getSoundOnOff());
}
