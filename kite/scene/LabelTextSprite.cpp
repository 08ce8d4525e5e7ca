// System-font labels: the device draws the whole text into one texture that a child sprite shows.
#include "kite/rendering/DirectorFrameServices.h"
#include "kite/rendering/Renderer.h"
#include "kite/rendering/Texture2D.h"
#include "kite/scene/Label.h"
#include "kite/scene/Sprite.h"

namespace kite {

void Label::fillFontDefinitionFromLabel() {
    _fontDefinition._fontName = _systemFont;
    _fontDefinition._fontSize = static_cast<int>(_systemFontSize);
    _fontDefinition._alignment = _hAlignment;
    _fontDefinition._vertAlignment = _vAlignment;
    _fontDefinition._dimensions = Size(_labelWidth, _labelHeight);
    _fontDefinition._fontFillColor = Color3B(_textColor.r, _textColor.g, _textColor.b);
    _fontDefinition._fontAlpha = _textColor.a;
    _fontDefinition._shadow._shadowEnabled = false;
    const bool stroke = _currLabelEffect == LabelEffect::OUTLINE && _outlineSize > 0;
    _fontDefinition._stroke._strokeEnabled = stroke;
    if (stroke) {
        _fontDefinition._stroke._strokeSize = static_cast<float>(_outlineSize);
        _fontDefinition._stroke._strokeColor = Color3B(_effectColor.r, _effectColor.g, _effectColor.b);
        _fontDefinition._stroke._strokeAlpha = _effectColor.a;
    }
}

void Label::createSpriteWithFontDefinition() {
    _currentLabelType = LabelType::STRING_TEXTURE;
    // An empty text is an empty label: nothing is uploaded.
    Texture2D* texture = Texture2D::create();
    if (!texture || !texture->initWithString(_originalUTF8String.c_str(), _fontDefinition)) {
        setContentSize(Size::ZERO);
        return;
    }
    _textSprite = Sprite::createWithTexture(texture);
    if (!_textSprite) {
        setContentSize(Size::ZERO);
        return;
    }
    _textSprite->setAnchorPoint(Vec2::ZERO);
    setContentSize(_textSprite->getContentSize());
    if (_blendFuncDirty) _textSprite->setBlendFunc(getBlendFunc());
    Node::addChild(_textSprite, 0, INVALID_TAG);
    _textSprite->updateDisplayedColor(displayedColor);
    _textSprite->updateDisplayedOpacity(displayedOpacity);
}

void Label::applyShadowToSprite() {
    _shadowNode->setColor(_shadowColor);
    _shadowNode->setOpacity(static_cast<uint8_t>(_shadowOpacity * displayedOpacity));
    const float csf = frameContentScaleFactor();
    _shadowNode->setPosition(Vec2(_shadowOffset.width / csf, _shadowOffset.height / csf));
}

void Label::drawTextSprite(Renderer* renderer, uint32_t parentFlags) {
    const Color3B& fill = _fontDefinition._fontFillColor;
    if (!_compatibleMode && (fill.r != _textColor.r || fill.g != _textColor.g || fill.b != _textColor.b)) {
        updateContent();
        if (!_textSprite) return;
    }
    if (_shadowEnabled && !_shadowNode) {
        _shadowNode = Sprite::createWithTexture(_textSprite->getTexture());
        if (_shadowNode) {
            if (_blendFuncDirty) _shadowNode->setBlendFunc(getBlendFunc());
            _shadowNode->setAnchorPoint(Vec2::ZERO);
            applyShadowToSprite();
            Node::addChild(_shadowNode, 0, INVALID_TAG);
        }
    }
    if (_shadowNode) _shadowNode->visit(renderer, modelViewTransform, parentFlags);
    _textSprite->visit(renderer, modelViewTransform, parentFlags);
}

}  // namespace kite
