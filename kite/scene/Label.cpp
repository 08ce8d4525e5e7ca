#include "kite/scene/Label.h"

#include <new>

#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"
#include "kite/foundation/StringUtils.h"
#include "kite/rendering/DirectorFrameServices.h"
#include "kite/rendering/GLProgram.h"
#include "kite/rendering/GLProgramState.h"
#include "kite/rendering/Texture2D.h"
#include "kite/rendering/TextureAtlas.h"
#include "kite/scene/EventCustom.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventListenerCustom.h"
#include "kite/scene/FontAtlasCache.h"
#include "kite/scene/Sprite.h"

namespace kite {

namespace {

constexpr const char* kPurgeFontAtlasEvent = "__kt_PURGE_FONTATLAS";
constexpr const char* kResetFontAtlasEvent = "__kt_RESET_FONTATLAS";

// Allocates without throwing and autoreleases; the caller decides whether the label is usable.
Label* newLabel(TextHAlignment hAlignment = TextHAlignment::LEFT, TextVAlignment vAlignment = TextVAlignment::TOP) {
    auto* label = new (std::nothrow) Label(nullptr, hAlignment, vAlignment);
    if (label) label->autorelease();
    return label;
}

}  // namespace

// ---- creation

Label* Label::create() { return newLabel(); }

Label* Label::createWithSystemFont(const std::string& text, const std::string& font, float fontSize,
                                   const Size& dimensions, TextHAlignment hAlignment, TextVAlignment vAlignment) {
    Label* label = newLabel(hAlignment, vAlignment);
    if (!label) return nullptr;
    label->setSystemFontName(font);
    label->setSystemFontSize(fontSize);
    label->setDimensions(dimensions.width, dimensions.height);
    label->setString(text);
    return label;
}

Label* Label::createWithTTF(const TTFConfig& ttfConfig, const std::string& text, TextHAlignment hAlignment,
                            int maxLineWidth) {
    Label* label = newLabel(hAlignment);
    if (!label || !label->setTTFConfig(ttfConfig)) return nullptr;
    label->setMaxLineWidth(static_cast<float>(maxLineWidth));
    label->setString(text);
    return label;
}

Label* Label::createWithBMFont(const std::string& bmfontFilePath, const std::string& text, TextHAlignment hAlignment,
                               int maxLineWidth, const Vec2& imageOffset) {
    Label* label = newLabel(hAlignment);
    if (!label || !label->setBMFontFilePath(bmfontFilePath, imageOffset)) return nullptr;
    if (label->_labelWidth == 0.0f && static_cast<float>(maxLineWidth) != label->_maxLineWidth) {
        label->_maxLineWidth = static_cast<float>(maxLineWidth);
        label->_contentDirty = true;
    }
    label->setString(text);
    return label;
}

Label* Label::createWithCharMap(const std::string& charMapFile, int itemWidth, int itemHeight, int startCharMap) {
    Label* label = newLabel();
    return label && label->setCharMap(charMapFile, itemWidth, itemHeight, startCharMap) ? label : nullptr;
}

Label* Label::createWithCharMap(Texture2D* texture, int itemWidth, int itemHeight, int startCharMap) {
    Label* label = newLabel();
    return label && label->setCharMap(texture, itemWidth, itemHeight, startCharMap) ? label : nullptr;
}

Label* Label::createWithCharMap(const std::string& plistFile) {
    Label* label = newLabel();
    return label && label->setCharMap(plistFile) ? label : nullptr;
}

Label::Label(FontAtlas* atlas, TextHAlignment hAlignment, TextVAlignment vAlignment, bool useDistanceField,
             bool useA8Shader)
    : _fontAtlas(atlas),
      _hAlignment(hAlignment),
      _vAlignment(vAlignment),
      _useDistanceField(useDistanceField),
      _useA8Shader(useA8Shader) {
    setAnchorPoint(Vec2(0.5f, 0.5f));
    reset();
    registerAtlasListeners();
}

// The node's own destructor removes the two atlas listeners.
Label::~Label() {
    FontAtlasCache::releaseFontAtlas(_fontAtlas);
    releaseAndClear(_reusedLetter);
}

void Label::registerAtlasListeners() {
    if (!eventDispatcher) return;
    auto* purge = EventListenerCustom::create(kPurgeFontAtlasEvent,
                                              [this](EventCustom* event) { onPurgeFontAtlas(event->getUserData()); });
    auto* reset = EventListenerCustom::create(kResetFontAtlasEvent,
                                              [this](EventCustom* event) { onResetFontAtlas(event->getUserData()); });
    if (purge) eventDispatcher->addEventListenerWithSceneGraphPriority(purge, this);
    if (reset) eventDispatcher->addEventListenerWithSceneGraphPriority(reset, this);
}

void Label::onPurgeFontAtlas(void* atlas) {
    if (!_fontAtlas || _currentLabelType != LabelType::TTF || atlas != _fontAtlas) return;
    SpriteBatchNode::removeAllChildrenWithCleanup(true);
    _batchNodes.assign(1, this);
    // The pointer stays only to recognise the reset that follows.
    FontAtlasCache::releaseFontAtlas(_fontAtlas);
}

void Label::onResetFontAtlas(void* atlas) {
    if (!_fontAtlas || _currentLabelType != LabelType::TTF || atlas != _fontAtlas) return;
    _fontAtlas = nullptr;
    setTTFConfig(_fontConfig);
}

void Label::reset() {
    _fontConfig = TTFConfig();
    _systemFontDirty = false;
    _systemFont = "Helvetica";
    _systemFontSize = 12.0f;
    _batchNodes.assign(1, this);
    FontAtlasCache::releaseFontAtlas(_fontAtlas);
    _fontAtlas = nullptr;
    _currentLabelType = LabelType::STRING_TEXTURE;
    _currLabelEffect = LabelEffect::NORMAL;
    _shadowBlurRadius = 0;
    SpriteBatchNode::removeAllChildrenWithCleanup(true);
    _textSprite = nullptr;
    _shadowNode = nullptr;
    releaseAndClear(_reusedLetter);
    _textColor = Color4B::WHITE;
    _textColorF = Color4F::WHITE;
    setColor(Color3B::WHITE);
    _shadowEnabled = false;
    _clipEnabled = false;
    _blendFuncDirty = false;
}

bool Label::failSelection() {
    reset();
    return false;
}

// ---- font selection

bool Label::setTTFConfig(const TTFConfig& ttfConfig) {
    FontAtlas* atlas = FontAtlasCache::getFontAtlasTTF(ttfConfig);
    if (!atlas) return failSelection();
    _systemFontDirty = false;
    _currentLabelType = LabelType::TTF;
    setFontAtlas(atlas, ttfConfig.distanceFieldEnabled, true);
    _fontConfig = ttfConfig;
    if (_fontConfig.outlineSize > 0) {
        _fontConfig.distanceFieldEnabled = false;
        if (_useDistanceField) dropFontScale();
        _useDistanceField = false;
        _useA8Shader = false;
        _currLabelEffect = LabelEffect::OUTLINE;
    } else {
        _currLabelEffect = LabelEffect::NORMAL;
        if (ttfConfig.distanceFieldEnabled) setFontScale(1.0f * ttfConfig.fontSize / DistanceFieldFontSize);
    }
    updateShaderProgram();
    return true;
}

bool Label::setBMFontFilePath(const std::string& bmfontFilePath, const Vec2& imageOffset) {
    FontAtlas* atlas = FontAtlasCache::getFontAtlasFNT(bmfontFilePath, imageOffset);
    if (!atlas) return failSelection();
    _bmFontPath = bmfontFilePath;
    _currentLabelType = LabelType::BMFONT;
    setFontAtlas(atlas);
    return true;
}

bool Label::setCharMap(const std::string& charMapFile, int itemWidth, int itemHeight, int startCharMap) {
    FontAtlas* atlas = FontAtlasCache::getFontAtlasCharMap(charMapFile, itemWidth, itemHeight, startCharMap);
    if (!atlas) return failSelection();
    _currentLabelType = LabelType::CHARMAP;
    setFontAtlas(atlas);
    return true;
}

bool Label::setCharMap(Texture2D* texture, int itemWidth, int itemHeight, int startCharMap) {
    FontAtlas* atlas = FontAtlasCache::getFontAtlasCharMap(texture, itemWidth, itemHeight, startCharMap);
    if (!atlas) return failSelection();
    _currentLabelType = LabelType::CHARMAP;
    setFontAtlas(atlas);
    return true;
}

bool Label::setCharMap(const std::string& plistFile) {
    FontAtlas* atlas = FontAtlasCache::getFontAtlasCharMap(plistFile);
    if (!atlas) return failSelection();
    _currentLabelType = LabelType::CHARMAP;
    setFontAtlas(atlas);
    return true;
}

void Label::setFontAtlas(FontAtlas* atlas, bool distanceFieldEnabled, bool useA8Shader) {
    if (atlas == _fontAtlas) {
        FontAtlasCache::releaseFontAtlas(atlas);
        return;
    }
    FontAtlasCache::releaseFontAtlas(_fontAtlas);
    _fontAtlas = atlas;
    Texture2D* page0 = _fontAtlas->getTexture(0);
    if (getTextureAtlas()) {
        setTexture(page0);
    } else {
        SpriteBatchNode::initWithTexture(page0, 30);
    }
    if (!_reusedLetter) {
        _reusedLetter = Sprite::create();
        if (_reusedLetter) {
            _reusedLetter->setOpacityModifyRGB(_isOpacityModifyRGB);
            _reusedLetter->retain();
            _reusedLetter->setAnchorPoint(Vec2(0.0f, 1.0f));
        }
    }
    if (_reusedLetter) _reusedLetter->setBatchNode(this);
    _commonLineHeight = _fontAtlas->getCommonLineHeight();
    _contentDirty = true;
    if (_useDistanceField && !distanceFieldEnabled) dropFontScale();
    _useDistanceField = distanceFieldEnabled;
    _useA8Shader = useA8Shader;
    if (_currentLabelType != LabelType::TTF) {
        _currLabelEffect = LabelEffect::NORMAL;
        updateShaderProgram();
    }
}

void Label::setSystemFontName(const std::string& systemFont) {
    if (systemFont == _systemFont) return;
    _systemFont = systemFont;
    _systemFontDirty = true;
}

void Label::setSystemFontSize(float fontSize) {
    if (fontSize == _systemFontSize) return;
    _systemFontSize = fontSize;
    _systemFontDirty = true;
}

void Label::updateFont() {
    _batchNodes.assign(1, this);
    FontAtlasCache::releaseFontAtlas(_fontAtlas);
    _fontAtlas = nullptr;
    _contentDirty = true;
    _systemFontDirty = false;
}

// ---- text and layout settings

void Label::setString(const std::string& text) {
    if (text == _originalUTF8String) return;
    _originalUTF8String = text;
    _contentDirty = true;
    std::u16string utf16;
    if (StringUtils::UTF8ToUTF16(text, utf16)) _currentUTF16String = std::move(utf16);
}

int Label::getStringNumLines() const {
    if (_contentDirty) const_cast<Label*>(this)->updateContent();
    return _currNumLines;
}

void Label::setAlignment(TextHAlignment hAlignment, TextVAlignment vAlignment) {
    setHorizontalAlignment(hAlignment);
    setVerticalAlignment(vAlignment);
}

void Label::setHorizontalAlignment(TextHAlignment hAlignment) {
    if (hAlignment == _hAlignment) return;
    _hAlignment = hAlignment;
    _contentDirty = true;
}

void Label::setVerticalAlignment(TextVAlignment vAlignment) {
    if (vAlignment == _vAlignment) return;
    _vAlignment = vAlignment;
    _contentDirty = true;
}

void Label::setMaxLineWidth(float maxLineWidth) {
    if (_labelWidth != 0.0f || maxLineWidth == _maxLineWidth) return;
    _maxLineWidth = maxLineWidth;
    _contentDirty = true;
}

void Label::setLineBreakWithoutSpace(bool breakWithoutSpace) {
    _lineBreakWithoutSpaces = breakWithoutSpace;
    _contentDirty = true;
}

void Label::setDimensions(float width, float height) {
    if (width == _labelWidth && height == _labelHeight) return;
    _labelWidth = width;
    _labelHeight = height;
    _labelDimensions = Size(width, height);
    _maxLineWidth = width;
    _contentDirty = true;
}

void Label::setAdditionalKerning(float space) {
    if (space == _additionalKerning) return;
    _additionalKerning = space;
    _contentDirty = true;
}

float Label::getCommonLineHeight() const { return _commonLineHeight / frameContentScaleFactor(); }

void Label::setTextColor(const Color4B& color) {
    _textColor = color;
    _textColorF = Color4F(color.r / 255.0f, color.g / 255.0f, color.b / 255.0f, color.a / 255.0f);
}

void Label::setBlendFunc(const BlendFunc& blendFunc) {
    SpriteBatchNode::setBlendFunc(blendFunc);
    _blendFuncDirty = true;
    if (_textSprite) _textSprite->setBlendFunc(blendFunc);
    if (_shadowNode) _shadowNode->setBlendFunc(blendFunc);
}

void Label::setFontDefinition(const FontDefinition& textDefinition) {
    _fontDefinition = textDefinition;
    if (_fontDefinition._shadow._shadowEnabled) {
        _fontDefinition._shadow._shadowEnabled = false;
        const auto alpha = static_cast<uint8_t>(_fontDefinition._shadow._shadowOpacity * 255);
        enableShadow(Color4B(0, 0, 0, alpha), _fontDefinition._shadow._shadowOffset,
                     static_cast<int>(_fontDefinition._shadow._shadowBlur));
    }
    _compatibleMode = true;
}

std::string Label::description() const {
    std::string utf8;
    StringUtils::UTF16ToUTF8(_currentUTF16String, utf8);
    return StringUtils::format("<Label | Tag = %d, Label = '%s'>", tag, utf8.c_str());
}

void Label::addChild(Node*, int, int) {}

// ---- scale: distance-field labels are drawn from 50-pixel glyphs and scaled

void Label::setFontScale(float fontScale) {
    _fontScale = fontScale * frameContentScaleFactor();
    Node::setScale(_fontScale);
}

// Leaving a distance field: the shrink to its rendering size goes, a scale the caller gave stays, so the label
// measures what one made with the new font would.
void Label::dropFontScale() {
    const float userScaleX = scaleX / _fontScale;
    const float userScaleY = scaleY / _fontScale;
    const float userScaleZ = scaleZ / _fontScale;
    _fontScale = 1.0f;
    Node::setScale(userScaleX, userScaleY);
    Node::setScaleZ(userScaleZ);
}

void Label::setScaleX(float s) { Node::setScaleX(_useDistanceField ? s * _fontScale : s); }
void Label::setScaleY(float s) { Node::setScaleY(_useDistanceField ? s * _fontScale : s); }
void Label::setScale(float s) { Node::setScale(_useDistanceField ? s * _fontScale : s); }
float Label::getScaleX() const { return _useDistanceField ? scaleX / _fontScale : scaleX; }
float Label::getScaleY() const { return _useDistanceField ? scaleY / _fontScale : scaleY; }

// ---- effects

void Label::enableShadow(const Color4B& shadowColor, const Size& offset, int) {
    _shadowEnabled = true;
    _shadowDirty = true;
    _shadowColor = Color3B(shadowColor.r, shadowColor.g, shadowColor.b);
    _shadowOpacity = shadowColor.a / 255.0f;
    const float scale = frameContentScaleFactor();
    _shadowOffset = Size(offset.width * scale, offset.height * scale);
    _shadowBlurRadius = 0;
    if (_textSprite && _shadowNode) applyShadowToSprite();
}

void Label::enableOutline(const Color4B& outlineColor, int outlineSize) {
    _effectColor = outlineColor;
    _effectColorF =
        Color4F(outlineColor.r / 255.0f, outlineColor.g / 255.0f, outlineColor.b / 255.0f, outlineColor.a / 255.0f);
    if (outlineSize < 1) return;
    _outlineSize = outlineSize;
    if (_currentLabelType == LabelType::TTF && _fontConfig.outlineSize != outlineSize) {
        TTFConfig config = _fontConfig;
        config.outlineSize = outlineSize;
        setTTFConfig(config);
        updateShaderProgram();
    }
    _currLabelEffect = LabelEffect::OUTLINE;
    _contentDirty = true;
}

void Label::enableGlow(const Color4B& glowColor) {
    if (_currentLabelType != LabelType::TTF) return;
    if (!_fontConfig.distanceFieldEnabled) {
        TTFConfig config = _fontConfig;
        config.outlineSize = 0;
        config.distanceFieldEnabled = true;
        setTTFConfig(config);
        _contentDirty = true;
    }
    _currLabelEffect = LabelEffect::GLOW;
    _effectColor = glowColor;
    _effectColorF = Color4F(glowColor.r / 255.0f, glowColor.g / 255.0f, glowColor.b / 255.0f, glowColor.a / 255.0f);
    updateShaderProgram();
}

void Label::disableEffect() {
    if (_currLabelEffect == LabelEffect::OUTLINE) {
        _fontConfig.outlineSize = 0;
        if (_currentLabelType == LabelType::TTF) setTTFConfig(_fontConfig);
    }
    _currLabelEffect = LabelEffect::NORMAL;
    updateShaderProgram();
    _contentDirty = true;
    _shadowEnabled = false;
    if (_shadowNode) {
        Node::removeChild(_shadowNode, true);
        _shadowNode = nullptr;
    }
}

void Label::updateShaderProgram() {
    const char* program = nullptr;
    switch (_currLabelEffect) {
        case LabelEffect::NORMAL:
            // Bitmap-font letters go through quad commands, whose vertices the renderer has already
            // transformed; TrueType letters draw themselves with the label programs.
            program = _useDistanceField ? GLProgram::SHADER_NAME_LABEL_DISTANCEFIELD_NORMAL
                      : _useA8Shader    ? GLProgram::SHADER_NAME_LABEL_NORMAL
                                        : GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR_NO_MVP;
            break;
        case LabelEffect::OUTLINE: program = GLProgram::SHADER_NAME_LABEL_OUTLINE; break;
        case LabelEffect::GLOW:
            if (_useDistanceField) program = GLProgram::SHADER_NAME_LABEL_DISTANCEFIELD_GLOW;
            break;
        case LabelEffect::SHADOW: break;
    }
    if (!program) {
        if (_currLabelEffect != LabelEffect::GLOW) return;
    } else {
        setGLProgramState(GLProgramState::getOrCreateWithGLProgramName(program));
    }
    GLProgram* glProgram = getGLProgram();
    _uniformTextColor = glProgram ? glProgram->getUniformLocationForName("u_textColor") : -1;
    const bool usesEffectColor = _currLabelEffect == LabelEffect::OUTLINE || _currLabelEffect == LabelEffect::GLOW;
    _uniformEffectColor = glProgram && usesEffectColor ? glProgram->getUniformLocationForName("u_effectColor") : -1;
}

}  // namespace kite
