#include "kite/scene/ParticleExamples.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "kite/foundation/Create.h"
#include "kite/rendering/Image.h"
#include "kite/rendering/Texture2D.h"
#include "kite/rendering/TextureCache.h"
#include "kite/scene/Director.h"

namespace kite {

namespace {

constexpr const char* kDefaultTextureKey = "/__firePngData";
constexpr int kDefaultTextureSide = 32;

// A soft white dot: opaque at pixel (15, 15), fading with the distance to nothing at 16 pixels; the
// border rows and columns are clear. Stored premultiplied, as decoded PNGs are.
std::vector<unsigned char> softDotPixels() {
    std::vector<unsigned char> pixels(kDefaultTextureSide * kDefaultTextureSide * 4, 0);
    for (int y = 1; y < kDefaultTextureSide - 1; ++y) {
        for (int x = 1; x < kDefaultTextureSide - 1; ++x) {
            const float distance = std::hypot(static_cast<float>(x - 15), static_cast<float>(y - 15));
            const float alpha = std::max(0.0f, 255.0f * (1.0f - distance / 16.0f));
            const auto a = static_cast<unsigned char>(alpha);
            unsigned char* p = &pixels[(y * kDefaultTextureSide + x) * 4];
            p[0] = p[1] = p[2] = static_cast<unsigned char>((255u * (a + 1u)) >> 8);
            p[3] = a;
        }
    }
    return pixels;
}

}  // namespace

Texture2D* defaultParticleTexture() {
    TextureCache* cache = Director::getInstance()->getTextureCache();
    if (!cache) return nullptr;
    if (Texture2D* texture = cache->getTextureForKey(kDefaultTextureKey)) return texture;
    const std::vector<unsigned char> pixels = softDotPixels();
    RefPtr<Image> image(new (std::nothrow) Image());
    if (!image) return nullptr;
    image->release();  // the holder keeps the one reference
    if (!image->initWithRawData(pixels.data(), static_cast<std::int64_t>(pixels.size()), kDefaultTextureSide,
                                kDefaultTextureSide, 8, true)) {
        return nullptr;
    }
    return cache->addImage(image.get(), kDefaultTextureKey);
}

ParticleExplosion* ParticleExplosion::create() { return createAutoreleased<ParticleExplosion>(); }

ParticleExplosion* ParticleExplosion::createWithTotalParticles(int numberOfParticles) {
    auto* explosion = new (std::nothrow) ParticleExplosion();
    if (explosion && explosion->initWithTotalParticles(numberOfParticles)) {
        explosion->autorelease();
        return explosion;
    }
    delete explosion;
    return nullptr;
}

bool ParticleExplosion::initWithTotalParticles(int numberOfParticles) {
    if (!ParticleSystemQuad::initWithTotalParticles(numberOfParticles)) return false;
    duration = 0.1f;
    emitterMode = Mode::GRAVITY;
    modeA.gravity = Vec2(0.0f, 0.0f);
    modeA.speed = 70.0f;
    modeA.speedVar = 40.0f;
    modeA.radialAccel = 0.0f;
    modeA.radialAccelVar = 0.0f;
    modeA.tangentialAccel = 0.0f;
    modeA.tangentialAccelVar = 0.0f;
    angle = 90.0f;
    angleVar = 360.0f;
    const Size winSize = director->getWinSize();
    setPosition(winSize.width / 2, winSize.height / 2);
    posVar = Vec2(0.0f, 0.0f);
    life = 5.0f;
    lifeVar = 2.0f;
    startSize = 15.0f;
    startSizeVar = 10.0f;
    endSize = START_SIZE_EQUAL_TO_END_SIZE;
    emissionRate = static_cast<float>(totalParticles) / duration;
    startColor = Color4F(0.7f, 0.1f, 0.2f, 1.0f);
    startColorVar = Color4F(0.5f, 0.5f, 0.5f, 0.0f);
    endColor = Color4F(0.5f, 0.5f, 0.5f, 0.0f);
    endColorVar = Color4F(0.5f, 0.5f, 0.5f, 0.0f);
    if (Texture2D* texture = defaultParticleTexture()) setTexture(texture);
    setBlendAdditive(false);
    return true;
}

}  // namespace kite
