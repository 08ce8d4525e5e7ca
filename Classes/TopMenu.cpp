#include "Classes/TopMenu.h"

#include "Classes/DiamondCount.h"
#include "Classes/GameData.h"
#include "Classes/GameHelpers.h"
#include "Classes/QKSingleton.h"
#include "kite/foundation/Create.h"
#include "kite/scene/ActionInterval.h"
#include "kite/scene/Director.h"
#include "kite/scene/Label.h"

TopMenu* TopMenu::create() { return kite::createAutoreleased<TopMenu>(); }

kite::Label* TopMenu::addNumber(const char* font, float x, float y) {
    kite::Label* label = kite::Label::createWithBMFont(font, "", kite::TextHAlignment::LEFT, 0, kite::Vec2::ZERO);
    if (!label) return nullptr;
    label->setPosition(x, y);
    addChild(label);
    return label;
}

kite::Label* TopMenu::addCount(float x, float y) {
    kite::Label* label = kite::Label::createWithSystemFont("", "Helvetica Neue", 18, kite::Size::ZERO,
                                                           kite::TextHAlignment::LEFT, kite::TextVAlignment::TOP);
    if (!label) return nullptr;
    label->setPosition(x, y);
    addChild(label);
    return label;
}

bool TopMenu::init() {
    if (!Node::init()) return false;
    const kite::Size visible = kite::Director::getInstance()->getVisibleSize();
    const float w = visible.width;
    const float h = visible.height;
    const bool tall = QKSingleton::getInstance()->tallScreen;
    highestLabel = addNumber("Font/NumberB.fnt", w / 2, h - 52);
    levelLabel = addNumber("Font/NumberA.fnt", 54, h - 110);
    targetLabel = addNumber("Font/NumberB.fnt", 90, h - 34);
    scoreLabel = addNumber("Font/NumberC.fnt", w / 2, h - (tall ? 240 : 188));
    diamondLabel = addNumber("Font/NumberA.fnt", w - 55, h - 32);
    const float countY = h - (tall ? 178 : 159);
    bombCountLabel = addCount(w / 2 - 108, countY);
    paintCountLabel = addCount(w / 2 - 23, countY);
    resetCountLabel = addCount(w / 2 + 62, countY);
    refresh();
    return true;
}

void TopMenu::visit(kite::Renderer* renderer, const kite::Mat4& parentTransform, uint32_t parentFlags) {
    kite::Node::visit(renderer, parentTransform, parentFlags);
    diamondCount::labelDrawn(diamondLabel);
}

void TopMenu::refresh() {
    const GameData* data = GameData::getInstance();
    const std::pair<kite::Label*, int> numbers[] = {
        {highestLabel, data->highestScore},
        {levelLabel, data->levelNumber},
        {targetLabel, data->targetScore},
        {scoreLabel, data->currentScore},
        {diamondLabel, data->getDiamond()},
        {bombCountLabel, data->getPropBombCount()},
        {paintCountLabel, data->getPropPaintCount()},
        {resetCountLabel, data->getPropResetCount()},
    };
    for (const auto& [label, value] : numbers)
        if (label) label->setString(intToString(value));
}

void TopMenu::pulseLevel() {
    if (!levelLabel) return;
    levelLabel->runAction(kite::Sequence::create(kite::DelayTime::create(0.8f), kite::ScaleTo::create(0.2f, 2.0f),
                                                 kite::ScaleTo::create(0.4f, 1.0f)));
}
