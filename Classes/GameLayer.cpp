#include "Classes/GameLayer.h"

#include "Classes/BoardRules.h"
#include "Classes/DialogParts.h"
#include "Classes/FloatWord.h"
#include "Classes/GameData.h"
#include "Classes/GameEffects.h"
#include "Classes/GameHelpers.h"
#include "Classes/GameOverLayer.h"
#include "Classes/GuideLayer.h"
#include "Classes/PauseLayer.h"
#include "Classes/PlayScreenLinks.h"
#include "Classes/PropPaintLayer.h"
#include "Classes/QKSingleton.h"
#include "Classes/QKSound.h"
#include "Classes/StarMatrix.h"
#include "Classes/TopMenu.h"
#include "kite/foundation/Create.h"
#include "kite/scene/ActionInstant.h"
#include "kite/scene/ActionInterval.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventListenerTouch.h"
#include "kite/scene/Label.h"
#include "kite/scene/MenuItem.h"
#include "kite/scene/Sprite.h"
#include "kite/scene/Touch.h"

namespace {

kite::Size visibleSize() { return kite::Director::getInstance()->getVisibleSize(); }
bool tallScreen() { return QKSingleton::getInstance()->tallScreen; }

// A view location (design points from the top left) on the screen's GL axes, exactly. The
// director's general conversion goes through the inverse of the perspective projection and is
// off by up to a third of a point near the edges: a tap on the board's top edge, or on the line
// between two columns, then fell into the cell beside it.
kite::Vec2 designPointOf(const kite::Vec2& location) {
    return kite::Vec2(location.x, kite::Director::getInstance()->getWinSize().height - location.y);
}

}  // namespace

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

    buildTopArea();
    buildProps();
    setPropsEnabled(false);
    showLevelStart();
    return true;
}

void GameLayer::buildTopArea() {
    const kite::Size visible = visibleSize();
    const float w = visible.width;
    const float h = visible.height;
    if (kite::Sprite* background = kite::Sprite::create("Scene/bg_mainscene.png")) {
        background->setPosition(w / 2, 0.0f);
        background->setAnchorPoint(kite::Vec2(0.5f, 0.0f));
        addChild(background, 0);
    }
    if (kite::Sprite* bar = kite::Sprite::create("Scene/bg_topmenu.png")) {
        bar->setPosition(w / 2, h);
        bar->setAnchorPoint(kite::Vec2(0.5f, 1.0f));
        addChild(bar, 0);
    }
    shopItem = dialog::addButton(this, "Scene/btn_shop.png", kite::Vec2(w - 68, h - 25), 1, [this] { onShop(); });
    pauseItem = dialog::addButton(this, "Scene/btn_pause.png", kite::Vec2(w - 49, h - 100), 1, [this] { onPause(); });
    topMenu = TopMenu::create();
    if (topMenu) addChild(topMenu, 2);

    const float labelY = h - (tallScreen() ? 295.0f : 222.0f);
    comboLabel = kite::Label::createWithBMFont("Font/NumberE.fnt", "");
    promptLabel = kite::Label::createWithBMFont("Font/NumberF.fnt", "");
    for (kite::Label* label : {comboLabel, promptLabel}) {
        if (!label) continue;
        label->setPosition(w / 2, labelY);
        label->setVisible(false);
        addChild(label, 1);
    }
}

void GameLayer::buildProps() {
    const kite::Size visible = visibleSize();
    const float w = visible.width;
    const float y = visible.height - (tallScreen() ? 155.0f : 135.0f);
    bombToggle = dialog::addToggle(this, "Scene/prop_bomb.png", "Scene/prop_bomb_sel.png", kite::Vec2(w / 2 - 85, y), 0,
                                   [this](unsigned) { onBombProp(); });
    paintToggle = dialog::addToggle(this, "Scene/prop_paint.png", "Scene/prop_paint_sel.png", kite::Vec2(w / 2, y), 0,
                                    [this](unsigned) { onPaintProp(); });
    resetItem =
        dialog::addButton(this, "Scene/prop_reset.png", kite::Vec2(w / 2 + 85, y), 0, [this] { onResetProp(); });
    const float badgeY = visible.height - (tallScreen() ? 178.0f : 159.0f);
    for (float x : {w / 2 - 108, w / 2 - 23, w / 2 + 62}) {
        if (kite::Sprite* badge = kite::Sprite::create("Scene/prop_count.png")) {
            badge->setPosition(x, badgeY);
            addChild(badge, 1);
        }
    }
    for (kite::MenuItem* prop : {static_cast<kite::MenuItem*>(bombToggle), static_cast<kite::MenuItem*>(paintToggle),
                                 static_cast<kite::MenuItem*>(resetItem)}) {
        if (!prop) continue;
        prop->runAction(kite::RepeatForever::create(kite::Sequence::create(kite::ScaleTo::create(0.5f, 0.95f, 1.05f),
                                                                           kite::ScaleTo::create(0.8f, 1.02f, 0.98f),
                                                                           kite::DelayTime::create(0.2f))));
    }
}

void GameLayer::update(float dt) {
    if (board) board->tick(dt);
}

bool GameLayer::onTouchBegan(kite::Touch* touch, kite::Event*) {
    // Every touch goes to the board, also while pieces fall or slide: the cells are settled
    // already, so the player may tap the next group before the last one has landed.
    const kite::Vec2 point = designPointOf(touch->getLocationInView());
    if (promptLabel) promptLabel->setVisible(false);
    if (bombToggle) bombToggle->setSelectedIndex(0);
    if (paintToggle) paintToggle->setSelectedIndex(0);
    if (board) board->onBoardTouch(point);
    return true;
}

void GameLayer::runAfter(float seconds, const std::function<void()>& function) {
    // The empty node stays, spent, until the layer goes.
    kite::Sprite* timer = kite::Sprite::create();
    if (!timer) return;
    addChild(timer);
    timer->runAction(kite::Sequence::create(kite::DelayTime::create(seconds), kite::CallFunc::create(function)));
}

void GameLayer::showLevelStart() {
    const kite::Size visible = visibleSize();
    const GameData* data = GameData::getInstance();
    levelWord = FloatWord::create(lookupWord("guanqia") + intToString(data->levelNumber), 50,
                                  kite::Vec2(visible.width, visible.height / 2 + 30));
    QKSound::getInstance()->playReadyGo();
    if (!levelWord) {
        showTargetWord();
        return;
    }
    addChild(levelWord, 1);
    levelWord->floatIn(0.4f, [this] { showTargetWord(); });
}

void GameLayer::showTargetWord() {
    const kite::Size visible = visibleSize();
    const GameData* data = GameData::getInstance();
    targetWord = FloatWord::create(lookupWord("mubiao") + intToString(data->targetScore) + lookupWord("fen"), 50,
                                   kite::Vec2(visible.width, visible.height / 2 - 50));
    if (!targetWord) {
        removeFloatWord();
        return;
    }
    addChild(targetWord, 1);
    targetWord->floatIn(0.4f, [this] { removeFloatWord(); });
}

void GameLayer::removeFloatWord() {
    runAfter(0.8f, [this] {
        if (levelWord) levelWord->floatOut(0.4f, nullptr);
        levelWord = nullptr;  // the words remove themselves
        if (targetWord) {
            targetWord->floatOut(0.4f, [this] { showStarMatrix(); });
            targetWord = nullptr;
        } else {
            runAfter(0.4f, [this] { showStarMatrix(); });
        }
    });
}

void GameLayer::showStarMatrix() {
    runAfter(0.25f, [this] {
        if (StarMatrix* next = StarMatrix::create(this)) {
            board = next;
            addChild(board, 0);
        }
        if (QKSingleton::getInstance()->getGuideStatus() == 0) runAfter(kGuideDelay, [this] { showGuideBomb(); });
    });
}

void GameLayer::refreshScore() {
    if (topMenu) topMenu->refresh();
}

void GameLayer::setPropsEnabled(bool on) {
    propsEnabled_ = on;
    for (kite::MenuItem* item : {shopItem, pauseItem, static_cast<kite::MenuItem*>(bombToggle),
                                 static_cast<kite::MenuItem*>(paintToggle), static_cast<kite::MenuItem*>(resetItem)})
        if (item) item->setEnabled(on);
    if (!resetItem) return;
    resetItem->setDisabledImage(
        kite::Sprite::create(resetCooling ? "Scene/prop_reset_forbit.png" : "Scene/prop_reset.png"));
    if (resetCooling) resetItem->setEnabled(false);
}

void GameLayer::showComboWord(int groupSize) {
    if (!comboLabel) return;
    comboLabel->setString(intToString(groupSize) + lookupWord("lianji") + intToString(board::groupScore(groupSize)) +
                          lookupWord("fen"));
    comboLabel->setVisible(true);
}

void GameLayer::showPrompt(const char* text) {
    if (comboLabel) comboLabel->setVisible(false);
    if (!promptLabel) return;
    promptLabel->setString(text);
    promptLabel->setVisible(true);
}

bool GameLayer::propAffordable(int usesLeft, kite::MenuItemToggle* toggle) {
    if (usesLeft < 1) {
        if (toggle) toggle->setSelectedIndex(0);
        links::showAlert("提示", "当前道具次数已用完");
        return false;
    }
    if (toggle && toggle->getSelectedIndex() == 0) {  // switched off again
        if (promptLabel) promptLabel->setVisible(false);
        if (board) board->bombMode = board->paintMode = false;
        return false;
    }
    if (GameData::getInstance()->getDiamond() < GameData::kPropCost) {
        if (toggle) toggle->setSelectedIndex(0);
        openSale();
        return false;
    }
    return board != nullptr;
}

void GameLayer::onBombProp() {
    if (!propAffordable(GameData::getInstance()->getPropBombCount(), bombToggle)) return;
    QKSound::getInstance()->playPropSelect();
    showPrompt("选择要炸掉的贪官");
    board->bombMode = true;
    board->paintMode = false;
    if (paintToggle) paintToggle->setSelectedIndex(0);
}

void GameLayer::onPaintProp() {
    if (!propAffordable(GameData::getInstance()->getPropPaintCount(), paintToggle)) return;
    QKSound::getInstance()->playPropSelect();
    showPrompt("选择需要变色的贪官");
    board->paintMode = true;
    board->bombMode = false;
    if (bombToggle) bombToggle->setSelectedIndex(0);
}

void GameLayer::onResetProp() {
    if (!propAffordable(GameData::getInstance()->getPropResetCount(), nullptr)) return;
    QKSound::getInstance()->playProp(2);
    resetCooling = true;
    resetItem->setEnabled(false);
    resetItem->setDisabledImage(kite::Sprite::create("Scene/prop_reset_forbit.png"));
    runAfter(kResetCooldown, [this] { enableReset(); });
    showPrompt("重新排列花费5颗钻石");
    board->shuffleColours();
    if (bombToggle) bombToggle->setSelectedIndex(0);
    if (paintToggle) paintToggle->setSelectedIndex(0);
}

void GameLayer::enableReset() {
    resetCooling = false;
    if (!resetItem) return;
    // Between boards (the end of a level, the next level's banners) the props stay off; the
    // next board turns the button on with the others.
    resetItem->setEnabled(propsEnabled_);
    resetItem->setDisabledImage(kite::Sprite::create("Scene/prop_reset.png"));
}

void GameLayer::onShop() { links::openShop(this); }

void GameLayer::openSale() { links::openSale(this); }

void GameLayer::onPause() {
    if (PauseLayer* pause = PauseLayer::create()) {
        pause->gameLayer = this;
        addChild(pause, 2);
    }
}

void GameLayer::showPaintChooser(const kite::Vec2& point) {
    if (PropPaintLayer* chooser = PropPaintLayer::create()) {
        chooser->board = board;
        addChild(chooser, 2);
        chooser->placeAt(point);
    }
}

void GameLayer::floatLeftStarMsg(int piecesLeft) {
    const kite::Size visible = visibleSize();
    const int bonus = GameData::getInstance()->leftStarBonus(piecesLeft);
    FloatWord* left = FloatWord::create(lookupWord("shengyu") + intToString(piecesLeft) + lookupWord("ge"), 50,
                                        kite::Vec2(visible.width, visible.height / 2 + 30));
    FloatWord* reward = FloatWord::create(lookupWord("jiangli") + intToString(bonus) + lookupWord("fen"), 50,
                                          kite::Vec2(visible.width, visible.height / 2 - 50));
    auto startClearing = [this, bonus] {
        if (comboLabel) comboLabel->setVisible(false);
        if (board) board->setClearRemaining(true);
        GameData::getInstance()->currentScore += bonus;
        refreshScore();
    };
    if (reward) {
        addChild(reward, 0);
        reward->floatInOut(0.5f, 1.0f, nullptr);
    }
    if (!left) {
        runAfter(kLeftStarMessageTime, startClearing);
        return;
    }
    addChild(left, 0);
    left->floatInOut(0.5f, 1.0f, startClearing);
}

void GameLayer::nextLevel() {
    refreshScore();
    showLevelStart();
    if (topMenu) topMenu->pulseLevel();
    removeStageClear();
}

void GameLayer::gameOver() {
    GameData::getInstance()->setAlive(false);
    if (GameOverLayer* over = GameOverLayer::create()) {
        over->gameLayer = this;
        over->board = board;
        addChild(over, 2);
    }
}

void GameLayer::openGuidePage(void (GuideLayer::*showPage)()) {
    if (GuideLayer* guide = GuideLayer::create()) {
        guide->gameLayer = this;
        (guide->*showPage)();
        addChild(guide, 2);
    }
}

void GameLayer::showGuideBomb() { openGuidePage(&GuideLayer::showBombPage); }
void GameLayer::showGuidePaint() { openGuidePage(&GuideLayer::showPaintPage); }
void GameLayer::showGuideReset() { openGuidePage(&GuideLayer::showResetPage); }

void GameLayer::finishGuide() {
    QKSingleton::getInstance()->setGuideStatus(1);
    links::showAlert("提示", "祝您游戏愉快^_^！");
}
