#include "Classes/Star.h"

#include <array>

#include "Classes/BoardRules.h"
#include "Classes/GameData.h"
#include "kite/foundation/Create.h"
#include "kite/rendering/TextureCache.h"
#include "kite/scene/Director.h"
#include "kite/scene/ParticleExamples.h"
#include "kite/scene/SpriteFrameCache.h"

namespace {

constexpr std::array<const char*, board::kColourCount> kImages = {
    "Star/star_green.png", "Star/star_red.png", "Star/star_yellow.png", "Star/star_purple.png", "Star/star_blue.png"};

// Burst colours, red, green and blue bytes of each piece colour.
constexpr std::array<std::array<int, 3>, board::kColourCount> kBurstColours = {
    {{132, 226, 111}, {253, 80, 126}, {253, 234, 84}, {189, 78, 253}, {84, 203, 254}}};

// The five pieces on one texture, each frame named as its image, so a board draws in one batch.
constexpr const char* kSheet = "Star/stars.plist";
constexpr const char* kSheetImage = "Star/stars.png";

kite::SpriteFrame* sheetFrame(const char* image) {
    kite::SpriteFrameCache* cache = kite::SpriteFrameCache::getInstance();
    if (!cache->isSpriteFramesWithFileLoaded(kSheet)) cache->addSpriteFramesWithFile(kSheet, kSheetImage);
    return cache->getSpriteFrameByName(image);
}

}  // namespace

Star* Star::create(int colour) { return kite::createAutoreleased<Star>(colour); }

const char* Star::imageFor(int colour) { return board::isColour(colour) ? kImages[colour] : nullptr; }

bool Star::init(int colour) {
    const char* image = imageFor(colour);
    if (!image) return false;
    kite::SpriteFrame* frame = sheetFrame(image);
    if (!(frame ? initWithSpriteFrame(frame) : initWithFile(image))) return false;
    color = colour;
    return true;
}

void Star::updatePosition() {
    kite::Vec2 position = getPosition();
    int& fallingCount = GameData::getInstance()->fallingStarCount;
    if (position.y != desiredPosition.y) {
        position.y -= kStep;
        if (position.y < desiredPosition.y) position.y = desiredPosition.y;
        falling = true;
    } else if (falling) {
        // An arrived piece counts the shared fall down once per frame until it is spent.
        if (--fallingCount <= 0) falling = false;
    } else {
        moving = false;
    }
    if (position.x != desiredPosition.x && !moving && fallingCount <= 0) {
        position.x -= kStep;
        if (position.x < desiredPosition.x) position.x = desiredPosition.x;
    }
    if (position != getPosition()) setPosition(position);
}

void showStarBurst(int colour, const kite::Vec2& position, kite::Node* parent) {
    if (!parent || !board::isColour(colour)) return;
    kite::ParticleExplosion* burst = kite::ParticleExplosion::createWithTotalParticles(15);
    if (!burst) return;
    const auto& rgb = kBurstColours[colour];
    const kite::Color4F tint(rgb[0] / 255.0f, rgb[1] / 255.0f, rgb[2] / 255.0f, 1.0f);
    const kite::Color4F variance(0.0f, 0.0f, 0.0f, 1.0f);
    burst->setTexture(kite::Director::getInstance()->getTextureCache()->addImage("Effect/star.png"));
    burst->setAutoRemoveOnFinish(true);
    burst->setStartColor(tint);
    burst->setStartColorVar(variance);
    burst->setEndColor(tint);
    burst->setEndColorVar(variance);
    burst->setStartSize(25.0f);
    burst->setLife(1.0f);
    burst->setGravity(kite::Vec2(0.0f, -300.0f));
    burst->setSpeed(240.0f);
    burst->setSpeedVar(10.0f);
    burst->setPosition(position);
    parent->addChild(burst);
}
