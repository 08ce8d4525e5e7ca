#include "kite/scene/AtlasNode.h"

#include <new>

#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"
#include "kite/rendering/GLProgram.h"
#include "kite/rendering/GLProgramState.h"
#include "kite/rendering/Renderer.h"
#include "kite/rendering/Texture2D.h"
#include "kite/rendering/TextureAtlas.h"

namespace kite {

AtlasNode* AtlasNode::create(Texture2D* texture, int tileWidth, int tileHeight, int itemsToRender) {
    return createAutoreleased<AtlasNode>(texture, tileWidth, tileHeight, itemsToRender);
}

AtlasNode::~AtlasNode() { releaseAndClear(textureAtlas_); }

bool AtlasNode::initWithTexture(Texture2D* texture, int tileWidth, int tileHeight, int itemsToRender) {
    // A tile of no width or height would divide the texture by zero.
    if (tileWidth <= 0 || tileHeight <= 0) {
        log("AtlasNode: tiles of %d x %d are refused", tileWidth, tileHeight);
        return false;
    }
    if (!texture) {
        log("AtlasNode: no texture");
        return false;
    }
    itemWidth_ = tileWidth;
    itemHeight_ = tileHeight;
    colorUnmodified_ = Color3B::WHITE;
    isOpacityModifyRGB_ = true;
    blendFunc_ = BlendFunc::ALPHA_PREMULTIPLIED;
    releaseAndClear(textureAtlas_);
    textureAtlas_ = TextureAtlas::createWithTexture(texture, itemsToRender);
    if (!textureAtlas_) {
        log("AtlasNode: cannot make an atlas of %d tiles", itemsToRender);
        return false;
    }
    textureAtlas_->retain();
    updateBlendFunc();
    isOpacityModifyRGB_ = texture->hasPremultipliedAlpha();
    calculateMaxItems();
    quadsToDraw_ = itemsToRender;
    setGLProgramState(
        GLProgramState::getOrCreateWithGLProgramName(GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR_NO_MVP));
    return true;
}

void AtlasNode::calculateMaxItems() {
    Texture2D* texture = getTexture();
    if (!texture || itemWidth_ <= 0 || itemHeight_ <= 0) return;
    const Size size = ignoreContentScaleFactor_ ? texture->getContentSizeInPixels() : texture->getContentSize();
    itemsPerColumn_ = static_cast<int>(size.height / static_cast<float>(itemHeight_));
    itemsPerRow_ = static_cast<int>(size.width / static_cast<float>(itemWidth_));
}

void AtlasNode::updateBlendFunc() {
    const Texture2D* texture = getTexture();
    const bool premultiplied = texture && texture->hasPremultipliedAlpha();
    blendFunc_ = premultiplied ? BlendFunc::ALPHA_PREMULTIPLIED : BlendFunc::ALPHA_NON_PREMULTIPLIED;
    setOpacityModifyRGB(premultiplied);
}

Texture2D* AtlasNode::getTexture() const { return textureAtlas_ ? textureAtlas_->getTexture() : nullptr; }

void AtlasNode::setTexture(Texture2D* texture) {
    if (!textureAtlas_) return;
    textureAtlas_->setTexture(texture);
    updateBlendFunc();
    isOpacityModifyRGB_ = texture && texture->hasPremultipliedAlpha();
}

const Color3B& AtlasNode::getColor() const { return isOpacityModifyRGB_ ? colorUnmodified_ : Node::getColor(); }

void AtlasNode::setColor(const Color3B& color) {
    Color3B tmp = color;
    colorUnmodified_ = color;
    if (isOpacityModifyRGB_) {
        tmp.r = static_cast<uint8_t>(tmp.r * displayedOpacity / 255);
        tmp.g = static_cast<uint8_t>(tmp.g * displayedOpacity / 255);
        tmp.b = static_cast<uint8_t>(tmp.b * displayedOpacity / 255);
    }
    Node::setColor(tmp);
}

void AtlasNode::setOpacity(uint8_t opacity) {
    Node::setOpacity(opacity);
    if (isOpacityModifyRGB_) setColor(colorUnmodified_);
}

void AtlasNode::setOpacityModifyRGB(bool modify) {
    const Color3B oldColor = getColor();
    isOpacityModifyRGB_ = modify;
    setColor(oldColor);
}

void AtlasNode::draw(Renderer* renderer, const Mat4& transform, uint32_t flags) {
    if (!renderer || !textureAtlas_ || quadsToDraw_ <= 0) return;
    Texture2D* texture = textureAtlas_->getTexture();
    // Never more quads than the atlas holds.
    const ssize_t quads = quadsToDraw_ < textureAtlas_->getCapacity() ? quadsToDraw_ : textureAtlas_->getCapacity();
    quadCommand_.init(globalZOrder, texture ? texture->getName() : 0, glProgramState, blendFunc_,
                      textureAtlas_->getQuads(), quads, keepDrawTransform(transform), flags);
    renderer->addCommand(&quadCommand_);
}

}  // namespace kite
