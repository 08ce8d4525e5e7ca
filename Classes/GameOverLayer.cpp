#include "Classes/GameOverLayer.h"

#include "Classes/DialogParts.h"
#include "Classes/GameData.h"
#include "Classes/GameLayer.h"
#include "Classes/PlayScreenLinks.h"
#include "Classes/StarMatrix.h"
#include "kite/foundation/Create.h"
#include "kite/scene/Director.h"
#include "kite/scene/Sprite.h"

GameOverLayer* GameOverLayer::create() { return kite::createAutoreleased<GameOverLayer>(); }

bool GameOverLayer::init() {
    if (!Layer::init()) return false;
    dialog::claimAllTouches(this);
    const kite::Size visible = kite::Director::getInstance()->getVisibleSize();
    dialog::addShade(this, visible.width, visible.height);
    background = dialog::addCentred(this, "Common/bg_dialog_3.png", 0);
    if (!background) return false;
    const kite::Size size = background->getContentSize();
    if (kite::Sprite* title = kite::Sprite::create("Scene/bg_game_over.png")) {
        title->setPosition(size.width / 2, size.height / 2);
        background->addChild(title);
    }
    dialog::addButton(background, "Common/btn_close.png", kite::Vec2(size.width - 32, size.height - 30), 1,
                      [this] { onClose(); });
    dialog::addButton(background, "Scene/btn_over_keep.png", kite::Vec2(size.width / 2, size.height / 2 - 160), 1,
                      [this] { onContinue(); });
    return true;
}

bool GameOverLayer::onTouchBegan(kite::Touch*, kite::Event*) { return true; }

void GameOverLayer::onClose() {
    links::submitScore();
    links::submitGameover();
    removeFromParentAndCleanup(true);
    if (kite::Scene* menu = links::makeMenuScene()) kite::Director::getInstance()->replaceScene(menu);
}

void GameOverLayer::onContinue() {
    GameData* data = GameData::getInstance();
    if (data->getDiamond() < GameData::kPropCost) {
        if (gameLayer) gameLayer->openSale();
        return;
    }
    data->setDiamond(data->getDiamond() - GameData::kPropCost);
    data->currentScore = data->getStartScore();
    data->freshBoard = true;
    data->setAlive(true);
    data->resetPropCounts();
    if (board) board->fillBoard();
    removeFromParentAndCleanup(true);
}
