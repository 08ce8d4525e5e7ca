// The label's layout and drawing: letter records to quads, letter sprites, colours, the quad commands.
#include <algorithm>

#include "kite/foundation/Log.h"
#include "kite/foundation/StringUtils.h"
#include "kite/rendering/DirectorFrameServices.h"
#include "kite/rendering/GLProgram.h"
#include "kite/rendering/GLStateCache.h"
#include "kite/rendering/Renderer.h"
#include "kite/rendering/Texture2D.h"
#include "kite/rendering/TextureAtlas.h"
#include "kite/scene/Director.h"
#include "kite/scene/Font.h"
#include "kite/scene/Label.h"
#include "kite/scene/LabelTextFormatter.h"
#include "kite/scene/Sprite.h"

namespace kite {

namespace {

// "\r\n" and a lone "\r" end a line as "\n" does, so the layout only ever meets "\n".
void unifyLineBreaks(std::u16string& text) {
    std::size_t out = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\r') {
            if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
            text[out++] = u'\n';
        } else {
            text[out++] = text[i];
        }
    }
    text.resize(out);
}

void paintQuad(PosColorTexQuad& quad, const Color4B& color) {
    quad.tl.colors = quad.bl.colors = quad.tr.colors = quad.br.colors = color;
}

}  // namespace

void Label::computeStringNumLines() {
    const std::size_t length = _currentUTF16String.size();
    if (length == 0) {
        _currNumLines = 0;
        return;
    }
    // A trailing line feed adds no line.
    _currNumLines = 1 + static_cast<int>(std::count(_currentUTF16String.begin(), _currentUTF16String.end() - 1, u'\n'));
}

bool Label::computeHorizontalKernings(const std::u16string& text) {
    _horizontalKernings.reset();
    int letters = 0;
    _horizontalKernings = _fontAtlas->getFont()->getHorizontalKerningForTextUTF16(text, letters);
    return _horizontalKernings != nullptr;
}

void Label::updateContent() {
    std::u16string utf16;
    if (StringUtils::UTF8ToUTF16(_originalUTF8String, utf16)) {
        unifyLineBreaks(utf16);
        _currentUTF16String = std::move(utf16);
    }
    computeStringNumLines();
    if (_fontAtlas) computeHorizontalKernings(_currentUTF16String);
    if (_textSprite) {
        Node::removeChild(_textSprite, true);
        _textSprite = nullptr;
        if (_shadowNode) {
            Node::removeChild(_shadowNode, true);
            _shadowNode = nullptr;
        }
    }
    _contentDirty = false;
    if (_fontAtlas) {
        alignText();
    } else {
        if (!_compatibleMode) fillFontDefinitionFromLabel();
        createSpriteWithFontDefinition();
    }
}

Label::LetterInfo& Label::letterAt(int index) {
    if (index >= static_cast<int>(_lettersInfo.size())) _lettersInfo.resize(static_cast<std::size_t>(index) + 1);
    return _lettersInfo[static_cast<std::size_t>(index)];
}

SpriteBatchNode* Label::batchForPage(int page) const {
    return page >= 0 && page < static_cast<int>(_batchNodes.size()) ? _batchNodes[static_cast<std::size_t>(page)]
                                                                    : nullptr;
}

void Label::addPageBatches() {
    for (auto page = static_cast<int>(_batchNodes.size());; ++page) {
        Texture2D* texture = _fontAtlas->getTexture(page);
        if (!texture) return;
        SpriteBatchNode* batch = SpriteBatchNode::createWithTexture(texture);
        if (!batch) return;
        batch->setAnchorPoint(Vec2(0.0f, 1.0f));
        batch->setPosition(Vec2::ZERO);
        Node::addChild(batch, 0, INVALID_TAG);
        _batchNodes.push_back(batch);
    }
}

void Label::alignText() {
    if (!_fontAtlas || _currentUTF16String.empty()) {
        setContentSize(Size::ZERO);
        return;
    }
    _fontAtlas->prepareLetterDefinitions(_currentUTF16String);
    addPageBatches();

    LabelTextFormatter::createStringSprites(this);
    if (_maxLineWidth > 0 && contentSize.width > _maxLineWidth && LabelTextFormatter::multilineText(this)) {
        LabelTextFormatter::createStringSprites(this);
    }
    if (_labelWidth > 0 || (_currNumLines > 1 && _hAlignment != TextHAlignment::LEFT)) {
        LabelTextFormatter::alignText(this);
    }
    // Letter sprites leave their batch while their old quads are still there; then every quad is made anew.
    removeUnplacedLetterSprites();
    for (SpriteBatchNode* batch : _batchNodes) batch->getTextureAtlas()->removeAllQuads();
    updateQuads();
    refreshLetterSprites();
    updateColor();
}

void Label::updateQuads() {
    if (!_reusedLetter) return;
    for (int i = 0; i < _limitShowCount; ++i) {
        LetterInfo& letter = _lettersInfo[static_cast<std::size_t>(i)];
        if (!letter.def.validDefinition) continue;
        SpriteBatchNode* batch = batchForPage(letter.def.textureID);
        if (!batch) continue;
        _reusedRect = Rect(letter.def.U, letter.def.V, letter.def.width, letter.def.height);
        _reusedLetter->setBatchNode(batch);
        _reusedLetter->setTextureRect(_reusedRect, false, _reusedRect.size);
        _reusedLetter->setPosition(letter.position);
        letter.atlasIndex = static_cast<int>(batch->getTextureAtlas()->getTotalQuads());
        batch->insertQuadFromSprite(_reusedLetter, letter.atlasIndex);
    }
}

bool Label::isLetterPlaced(int index) const {
    return index >= 0 && index < static_cast<int>(_currentUTF16String.size()) && index < _limitShowCount &&
           _lettersInfo[static_cast<std::size_t>(index)].def.validDefinition;
}

void Label::removeUnplacedLetterSprites() {
    for (SpriteBatchNode* batch : _batchNodes) {
        std::vector<Sprite*> unplaced;
        for (Node* child : batch->getChildren()) {
            auto* sprite = dynamic_cast<Sprite*>(child);
            if (!sprite || child->getTag() < 0) continue;
            const int index = child->getTag();
            const bool onThisPage = isLetterPlaced(index) &&
                                    batchForPage(_lettersInfo[static_cast<std::size_t>(index)].def.textureID) == batch;
            if (!onThisPage) unplaced.push_back(sprite);
        }
        for (Sprite* sprite : unplaced) batch->SpriteBatchNode::removeChild(sprite, true);
    }
}

// The letter sprites left take their letter's cell and quad again.
void Label::refreshLetterSprites() {
    for (SpriteBatchNode* batch : _batchNodes) {
        for (Node* child : batch->getChildren()) {
            auto* sprite = dynamic_cast<Sprite*>(child);
            if (!sprite || child->getTag() < 0) continue;
            const LetterInfo& letter = _lettersInfo[static_cast<std::size_t>(child->getTag())];
            sprite->setBatchNode(batch);
            sprite->setAtlasIndex(letter.atlasIndex);
            sprite->setTextureRect(Rect(letter.def.U, letter.def.V, letter.def.width, letter.def.height));
        }
    }
}

Sprite* Label::getLetter(int index) {
    if (_systemFontDirty || _currentLabelType == LabelType::STRING_TEXTURE || _textSprite) return nullptr;
    if (_contentDirty) updateContent();
    if (index < 0 || index >= _limitShowCount) return nullptr;
    const LetterInfo& letter = _lettersInfo[static_cast<std::size_t>(index)];
    if (!letter.def.validDefinition) return nullptr;
    SpriteBatchNode* batch = batchForPage(letter.def.textureID);
    if (!batch) return nullptr;
    if (auto* existing = dynamic_cast<Sprite*>(batch->getChildByTag(index))) return existing;

    const Rect rect(letter.def.U, letter.def.V, letter.def.width, letter.def.height);
    Sprite* sprite = Sprite::createWithTexture(batch->getTexture(), rect);
    if (!sprite) return nullptr;
    sprite->setBatchNode(batch);
    sprite->setPosition(Vec2(letter.position.x + letter.def.width / 2, letter.position.y - letter.def.height / 2));
    sprite->setOpacity(realOpacity);
    batch->addSpriteWithoutQuad(sprite, letter.atlasIndex, index);
    return sprite;
}

// ---- colour

void Label::updateColor() {
    if (!getTextureAtlas()) return;
    const Color4B color = textQuadColor(displayedColor, displayedOpacity, _isOpacityModifyRGB);
    for (SpriteBatchNode* batch : _batchNodes) {
        TextureAtlas* atlas = batch->getTextureAtlas();
        PosColorTexQuad* quads = atlas->getQuads();
        for (ssize_t i = 0; i < atlas->getTotalQuads(); ++i) paintQuad(quads[i], color);
        atlas->setDirty(true);
    }
}

void Label::updateDisplayedColor(const Color3B& parentColor) {
    displayedColor.r = static_cast<uint8_t>(realColor.r * parentColor.r / 255.0);
    displayedColor.g = static_cast<uint8_t>(realColor.g * parentColor.g / 255.0);
    displayedColor.b = static_cast<uint8_t>(realColor.b * parentColor.b / 255.0);
    updateColor();
    if (_textSprite) _textSprite->updateDisplayedColor(displayedColor);
    if (_shadowNode) _shadowNode->updateDisplayedColor(displayedColor);
}

void Label::updateDisplayedOpacity(uint8_t parentOpacity) {
    displayedOpacity = static_cast<uint8_t>(realOpacity * parentOpacity / 255.0);
    updateColor();
    if (_textSprite) _textSprite->updateDisplayedOpacity(displayedOpacity);
    if (_shadowNode) _shadowNode->updateDisplayedOpacity(displayedOpacity);
}

void Label::setOpacityModifyRGB(bool isOpacityModifyRGB) {
    if (isOpacityModifyRGB == _isOpacityModifyRGB) return;
    _isOpacityModifyRGB = isOpacityModifyRGB;
    updateColor();
}

// ---- size

const Size& Label::getContentSize() const {
    auto* self = const_cast<Label*>(this);
    if (_systemFontDirty) self->updateFont();
    if (_contentDirty) self->updateContent();
    return Node::getContentSize();
}

Rect Label::getBoundingBox() const {
    getContentSize();
    return Node::getBoundingBox();
}

// ---- drawing

void Label::visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) {
    if (!visible || _originalUTF8String.empty() || !isVisibleToCamera()) return;
    if (_systemFontDirty) updateFont();
    if (_contentDirty) updateContent();
    const uint32_t flags = updateTransformFromParent(parentTransform, parentFlags);
    if (_shadowEnabled && _shadowBlurRadius <= 0 && (_shadowDirty || (flags & FLAGS_DIRTY_MASK))) {
        // The shadow is the label moved by the offset in its parent's space.
        const float csf = frameContentScaleFactor();
        Mat4 offset;
        Mat4::createTranslation(_shadowOffset.width / csf, _shadowOffset.height / csf, 0.0f, &offset);
        _shadowTransform = parentTransform * offset * getNodeToParentTransform();
        _shadowDirty = false;
    }
    director->pushMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW);
    director->loadMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW, modelViewTransform);
    if (_textSprite) {
        drawTextSprite(renderer, flags);
    } else {
        draw(renderer, modelViewTransform, flags);
    }
    director->popMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW);
}

void Label::draw(Renderer* renderer, const Mat4& transform, uint32_t flags) {
    if (!renderer || !getTextureAtlas()) return;
    if (flags & FLAGS_TRANSFORM_DIRTY) _insideBounds = renderer->checkVisibility(transform, contentSize);
    if (!_insideBounds) return;
    if (_batchNodes.size() == 1 && getTextureAtlas()->getTotalQuads() == 0) return;
    updateLetterSprites();
    if (_currentLabelType == LabelType::TTF) {
        _customCommand.init(globalZOrder, transform, flags);
        _customCommand.func = [this, transform]() { onDraw(transform); };
        renderer->addCommand(&_customCommand);
        return;
    }
    if (_shadowEnabled && _shadowBlurRadius <= 0) drawShadowWithoutBlur(renderer, flags);
    drawLetters(renderer, transform, flags);
}

void Label::drawAllAtlases() {
    for (SpriteBatchNode* batch : _batchNodes) batch->getTextureAtlas()->drawQuads();
}

void Label::onDraw(const Mat4& transform) {
    GLProgram* program = getGLProgram();
    if (!program) return;
    program->use();
    const BlendFunc blend = getBlendFunc();
    GLStateCache::blendFunc(blend.src, blend.dst);
    program->setUniformLocationWith4f(_uniformTextColor, _textColorF.r, _textColorF.g, _textColorF.b, _textColorF.a);
    if (_currLabelEffect == LabelEffect::OUTLINE || _currLabelEffect == LabelEffect::GLOW) {
        program->setUniformLocationWith4f(_uniformEffectColor, _effectColorF.r, _effectColorF.g, _effectColorF.b,
                                          _effectColorF.a);
    }
    if (_shadowEnabled && _shadowBlurRadius <= 0) {
        // The same letters once more in the shadow's colour and place.
        const uint8_t opacity = displayedOpacity;
        const Color3B color = realColor;
        displayedOpacity = static_cast<uint8_t>(_shadowOpacity * opacity);
        setColor(_shadowColor);
        program->setUniformsForBuiltins(_shadowTransform);
        drawAllAtlases();
        displayedOpacity = opacity;
        setColor(color);
    }
    program->setUniformsForBuiltins(transform);
    drawAllAtlases();
}

void Label::updateLetterSprites() {
    for (SpriteBatchNode* batch : _batchNodes) {
        for (Node* child : batch->getChildren()) {
            if (child->getTag() >= 0) child->updateTransform();
        }
    }
}

void Label::drawLetters(Renderer* renderer, const Mat4& transform, uint32_t flags) {
    quadCommands_.resize(_batchNodes.size());
    for (std::size_t page = 0; page < _batchNodes.size(); ++page) {
        TextureAtlas* atlas = _batchNodes[page]->getTextureAtlas();
        if (atlas->getTotalQuads() == 0 || !atlas->getTexture()) continue;
        quadCommands_[page].init(globalZOrder, atlas->getTexture()->getName(), getGLProgramState(), getBlendFunc(),
                                 atlas->getQuads(), atlas->getTotalQuads(), keepDrawTransform(transform), flags);
        renderer->addCommand(&quadCommands_[page]);
    }
}

void Label::drawShadowWithoutBlur(Renderer* renderer, uint32_t flags) {
    const auto opacity = static_cast<uint8_t>(_shadowOpacity * displayedOpacity);
    const Color4B color = textQuadColor(_shadowColor, opacity, _isOpacityModifyRGB);
    shadowCommands_.resize(_batchNodes.size());
    shadowQuads_.resize(_batchNodes.size());
    for (std::size_t page = 0; page < _batchNodes.size(); ++page) {
        TextureAtlas* atlas = _batchNodes[page]->getTextureAtlas();
        if (atlas->getTotalQuads() == 0 || !atlas->getTexture()) continue;
        std::vector<PosColorTexQuad>& quads = shadowQuads_[page];
        quads.assign(atlas->getQuads(), atlas->getQuads() + atlas->getTotalQuads());
        for (PosColorTexQuad& quad : quads) paintQuad(quad, color);
        shadowCommands_[page].init(globalZOrder, atlas->getTexture()->getName(), getGLProgramState(), getBlendFunc(),
                                   quads.data(), static_cast<ssize_t>(quads.size()), _shadowTransform, flags);
        renderer->addCommand(&shadowCommands_[page]);
    }
}

}  // namespace kite
