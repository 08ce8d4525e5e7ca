// The director's statistics display: frame rate and seconds per frame, draw calls and vertices of the scene.
#include <cinttypes>

#include "kite/foundation/Create.h"
#include "kite/foundation/FileUtils.h"
#include "kite/foundation/StringUtils.h"
#include "kite/rendering/Image.h"
#include "kite/rendering/Renderer.h"
#include "kite/rendering/Texture2D.h"
#include "kite/rendering/TextureCache.h"
#include "kite/scene/Director.h"
#include "kite/scene/LabelAtlas.h"
#include "kite/scene/StatsDigitsImage.h"
#include "platform/Clock.h"

namespace kite {

namespace {

constexpr const char* kStatsImageKey = "/kt_fps_images";

LabelAtlas* makeStatsLabel(const std::string& text, Texture2D* texture, float contentScale) {
    LabelAtlas* label = LabelAtlas::create();
    if (!label) return nullptr;
    label->setIgnoreContentScaleFactor(true);
    if (!label->initWithString(text, texture, kStatsCellWidth, kStatsCellHeight, kStatsFirstChar)) return nullptr;
    label->retain();
    label->setScale(1.0f / contentScale);
    return label;
}

}  // namespace

void Director::releaseStatsLabels() {
    releaseAndClear(fpsLabel_);
    releaseAndClear(drawnBatchesLabel_);
    releaseAndClear(drawnVerticesLabel_);
}

void Director::createStatsLabels() {
    std::string fpsText = "00.0", callsText = "000", vertsText = "00000";
    if (fpsLabel_ && drawnBatchesLabel_ && drawnVerticesLabel_) {
        fpsText = fpsLabel_->getString();
        callsText = drawnBatchesLabel_->getString();
        vertsText = drawnVerticesLabel_->getString();
    }
    releaseStatsLabels();
    if (!textureCache_) return;
    textureCache_->removeTextureForKey(kStatsImageKey);
    FileUtils::getInstance()->purgeCachedEntries();

    const Texture2D::PixelFormat savedFormat = Texture2D::getDefaultAlphaPixelFormat();
    Texture2D::setDefaultAlphaPixelFormat(Texture2D::PixelFormat::RGBA4444);
    Image* image = createStatsDigitsImage();
    Texture2D* texture = image ? textureCache_->addImage(image, kStatsImageKey) : nullptr;
    if (image) image->release();
    if (texture) {
        fpsLabel_ = makeStatsLabel(fpsText, texture, contentScaleFactor_);
        drawnBatchesLabel_ = makeStatsLabel(callsText, texture, contentScaleFactor_);
        drawnVerticesLabel_ = makeStatsLabel(vertsText, texture, contentScaleFactor_);
    }
    Texture2D::setDefaultAlphaPixelFormat(savedFormat);
    if (!fpsLabel_ || !drawnBatchesLabel_ || !drawnVerticesLabel_) {
        releaseStatsLabels();
        return;
    }
    const float step = static_cast<float>(static_cast<int>(22 / contentScaleFactor_));
    const Vec2 origin = getVisibleOrigin();
    drawnVerticesLabel_->setPosition(origin + Vec2(0, 2 * step));
    drawnBatchesLabel_->setPosition(origin + Vec2(0, step));
    fpsLabel_->setPosition(origin);
}

void Director::drawStats() {
    accumDt_ += deltaTime_;
    if (!displayStats_ || !fpsLabel_ || !drawnBatchesLabel_ || !drawnVerticesLabel_ || !renderer_) return;

    prevDeltaTime_ = deltaTime_ * 0.1f + prevDeltaTime_ * 0.9f;
    frameRate_ = 1.0f / prevDeltaTime_;
    if (accumDt_ > 0.1f) {
        fpsLabel_->setString(StringUtils::format("%.1f / %.3f", frameRate_, secondsPerFrame_));
        accumDt_ = 0.0f;
    }
    const auto calls = static_cast<std::uint64_t>(renderer_->getDrawnBatches());
    const auto verts = static_cast<std::uint64_t>(renderer_->getDrawnVertices());
    if (calls != prevCalls_) {
        drawnBatchesLabel_->setString(StringUtils::format("GL calls:%6" PRIu64, calls));
        prevCalls_ = calls;
    }
    if (verts != prevVerts_) {
        drawnVerticesLabel_->setString(StringUtils::format("GL verts:%6" PRIu64, verts));
        prevVerts_ = verts;
    }
    drawnVerticesLabel_->visit(renderer_, Mat4::IDENTITY, 0);
    drawnBatchesLabel_->visit(renderer_, Mat4::IDENTITY, 0);
    fpsLabel_->visit(renderer_, Mat4::IDENTITY, 0);
}

void Director::computeSecondsPerFrame() {
    const auto spf = static_cast<float>(platform::Clock::now() - lastUpdate_);
    const float smoothed = spf * 0.1f + prevSecondsPerFrame_ * 0.9f;
    secondsPerFrame_ = prevSecondsPerFrame_ = smoothed;
}

}  // namespace kite
