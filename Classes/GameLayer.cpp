#include "Classes/GameLayer.h"

#include "Classes/BoardRules.h"
#include "Classes/GameData.h"
#include "Classes/GameHelpers.h"
#include "Classes/QKSingleton.h"
#include "Classes/StarMatrix.h"
#include "kite/foundation/Create.h"
#include "kite/scene/ActionInstant.h"
#include "kite/scene/ActionInterval.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventListenerTouch.h"
#include "kite/scene/Label.h"
#include "kite/scene/Sprite.h"
#include "kite/scene/Touch.h"

GameLayer* GameLayer::create() { return kite::createAutoreleased<GameLayer>(); }

GameLayer::~GameLayer() { QKSingleton::getInstance()->forgetGameLayer(this); }

bool GameLayer::init() {
    if (!Layer::init()) return false;
    QKSingleton::getInstance()->setGameLayer(this);
    board = nullptr;
    scheduleUpdate();

    auto* listener = kite::EventListenerTouchOneByOne::create();
    listener->onTouchBegan = [this](kite::Touch* touch, kite::Event* event) { return onTouchBegan(touch, event); };
    getEventDispatcher()->addEventListenerWithSceneGraphPriority(listener, this);

    const kite::Size visible = kite::Director::getInstance()->getVisibleSize();
    if (kite::Sprite* background = kite::Sprite::create("Scene/bg_mainscene.png")) {
        background->setPosition(visible.width / 2, 0.0f);
        background->setAnchorPoint(kite::Vec2(0.5f, 0.0f));
        addChild(background, 0);
    }
    comboLabel = kite::Label::createWithBMFont("Font/NumberE.fnt", "");
    if (comboLabel) {
        const bool tall = QKSingleton::getInstance()->tallScreen;
        comboLabel->setPosition(visible.width / 2, visible.height - (tall ? 295.0f : 222.0f));
        comboLabel->setVisible(false);
        addChild(comboLabel, 1);
    }
    setPropsEnabled(false);
    showLevelStart();
    return true;
}

void GameLayer::update(float dt) {
    if (board) board->tick(dt);
}

bool GameLayer::onTouchBegan(kite::Touch* touch, kite::Event*) {
    if (board) board->onBoardTouch(touch->getLocation());
    return true;
}

void GameLayer::runAfter(float seconds, const std::function<void()>& function) {
    // The empty node stays, spent, until the layer goes.
    kite::Sprite* timer = kite::Sprite::create();
    addChild(timer);
    timer->runAction(kite::Sequence::create(kite::DelayTime::create(seconds), kite::CallFunc::create(function)));
}

void GameLayer::showLevelStart() {
    runAfter(kLevelStartDelay, [this] { showStarMatrix(); });
}

void GameLayer::showStarMatrix() {
    StarMatrix* next = StarMatrix::create(this);
    if (!next) return;
    board = next;
    addChild(board, 0);
}

void GameLayer::refreshScore() {
    // The top bar's numbers are drawn from GameData; the bar itself is not on this screen yet.
}

void GameLayer::showComboWord(int groupSize) {
    if (!comboLabel) return;
    comboLabel->setString(std::to_string(groupSize) + lookupWord("lianji") + std::to_string(board::groupScore(groupSize)) +
                          lookupWord("fen"));
    comboLabel->setVisible(true);
}

void GameLayer::showPaintChooser(const kite::Vec2&) {}

void GameLayer::floatLeftStarMsg(int piecesLeft) {
    const int bonus = GameData::getInstance()->leftStarBonus(piecesLeft);
    runAfter(kLeftStarMessageTime, [this, bonus] {
        if (comboLabel) comboLabel->setVisible(false);
        if (board) board->setClearRemaining(true);
        GameData::getInstance()->currentScore += bonus;
        refreshScore();
    });
}

void GameLayer::nextLevel() {
    refreshScore();
    showLevelStart();
}

void GameLayer::gameOver() {
    GameData::getInstance()->setAlive(false);
}
