#include "kite/scene/LabelAtlas.h"

#include <algorithm>
#include <new>

#include "kite/foundation/StringUtils.h"
#include "kite/rendering/DirectorFrameServices.h"
#include "kite/rendering/Texture2D.h"
#include "kite/rendering/TextureAtlas.h"

namespace kite {

LabelAtlas* LabelAtlas::create() {
    auto* label = new (std::nothrow) LabelAtlas();
    if (label) label->autorelease();
    return label;
}

LabelAtlas* LabelAtlas::create(const std::string& string, Texture2D* texture, int itemWidth, int itemHeight,
                               int startCharMap) {
    auto* label = new (std::nothrow) LabelAtlas();
    if (label && label->initWithString(string, texture, itemWidth, itemHeight, startCharMap)) {
        label->autorelease();
        return label;
    }
    delete label;
    return nullptr;
}

LabelAtlas::~LabelAtlas() { _string.clear(); }

bool LabelAtlas::initWithString(const std::string& string, Texture2D* texture, int itemWidth, int itemHeight,
                                int startCharMap) {
    if (!AtlasNode::initWithTexture(texture, itemWidth, itemHeight, static_cast<int>(string.size()))) return false;
    _mapStartChar = static_cast<unsigned char>(startCharMap);
    setString(string);
    return true;
}

void LabelAtlas::setString(const std::string& label) {
    if (!textureAtlas_) return;
    const auto length = static_cast<ssize_t>(label.size());
    if (length > textureAtlas_->getCapacity() && !textureAtlas_->resizeCapacity(length)) return;
    _string = label;
    updateAtlasValues();
    setContentSize(Size(static_cast<float>(length * itemWidth_), static_cast<float>(itemHeight_)));
    quadsToDraw_ = length;
}

void LabelAtlas::updateAtlasValues() {
    if (itemsPerRow_ == 0 || !textureAtlas_) return;
    const auto n = static_cast<ssize_t>(_string.size());
    Texture2D* texture = textureAtlas_->getTexture();
    const float texW = static_cast<float>(texture->getPixelsWide());
    const float texH = static_cast<float>(texture->getPixelsHigh());
    const float scale = ignoreContentScaleFactor_ ? 1.0f : frameContentScaleFactor();
    const float cellW = itemWidth_ * scale;
    const float cellH = itemHeight_ * scale;
    const Color4B color(displayedColor.r, displayedColor.g, displayedColor.b, displayedOpacity);
    PosColorTexQuad* quads = textureAtlas_->getQuads();

    for (ssize_t i = 0; i < n; ++i) {
        const auto cell = static_cast<unsigned char>(static_cast<unsigned char>(_string[i]) - _mapStartChar);
        const int column = cell % itemsPerRow_;
        const int row = cell / itemsPerRow_;
        PosColorTexQuad& quad = quads[i];
        const float left = column * cellW / texW;
        const float right = left + cellW / texW;
        const float top = row * cellH / texH;
        const float bottom = top + cellH / texH;
        quad.tl.texCoords = {left, top};
        quad.tr.texCoords = {right, top};
        quad.bl.texCoords = {left, bottom};
        quad.br.texCoords = {right, bottom};

        const float x0 = static_cast<float>(i * itemWidth_);
        const float x1 = static_cast<float>((i + 1) * itemWidth_);
        // A character whose cell lies below the grid has no image: its quad is empty.
        const float y1 = row < itemsPerColumn_ ? static_cast<float>(itemHeight_) : 0.0f;
        const float xr = row < itemsPerColumn_ ? x1 : x0;
        quad.bl.vertices = Vec3(x0, 0.0f, 0.0f);
        quad.br.vertices = Vec3(xr, 0.0f, 0.0f);
        quad.tl.vertices = Vec3(x0, y1, 0.0f);
        quad.tr.vertices = Vec3(xr, y1, 0.0f);
        quad.tl.colors = quad.tr.colors = quad.bl.colors = quad.br.colors = color;
    }
    if (n > 0) {
        textureAtlas_->setDirty(true);
        const ssize_t total = textureAtlas_->getTotalQuads();
        if (n > total) textureAtlas_->increaseTotalQuadsWith(n - total);
    }
}

void LabelAtlas::updateColor() {
    if (!textureAtlas_) return;
    const Color4B color = textQuadColor(displayedColor, displayedOpacity, isOpacityModifyRGB_);
    PosColorTexQuad* quads = textureAtlas_->getQuads();
    const auto n = std::min(static_cast<ssize_t>(_string.size()), textureAtlas_->getTotalQuads());
    for (ssize_t i = 0; i < n; ++i)
        quads[i].tl.colors = quads[i].tr.colors = quads[i].bl.colors = quads[i].br.colors = color;
    textureAtlas_->setDirty(true);
}

std::string LabelAtlas::description() const {
    return StringUtils::format("<LabelAtlas | Tag = %d, Label = '%s'>", tag, _string.c_str());
}

}  // namespace kite
