// The text node: letters from a bitmap font or a character map drawn as quads of its batches, one batch per atlas page.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "kite/foundation/math/Mat4.h"
#include "kite/rendering/CustomCommand.h"
#include "kite/rendering/QuadCommand.h"
#include "kite/scene/FontAtlas.h"
#include "kite/scene/LabelTypes.h"
#include "kite/scene/SpriteBatchNode.h"

namespace kite {

class Sprite;

class Label : public SpriteBatchNode, public LabelProtocol {
public:
    enum class LabelType { TTF = 0, BMFONT = 1, CHARMAP = 2, STRING_TEXTURE = 3 };

    // The size at which distance-field atlases are rendered.
    static constexpr int DistanceFieldFontSize = 50;

    static Label* create();
    static Label* createWithSystemFont(const std::string& text, const std::string& font, float fontSize,
                                       const Size& dimensions = Size::ZERO,
                                       TextHAlignment hAlignment = TextHAlignment::LEFT,
                                       TextVAlignment vAlignment = TextVAlignment::TOP);
    static Label* createWithTTF(const TTFConfig& ttfConfig, const std::string& text,
                                TextHAlignment hAlignment = TextHAlignment::LEFT, int maxLineWidth = 0);
    // Null when the description or its image cannot be loaded.
    static Label* createWithBMFont(const std::string& bmfontFilePath, const std::string& text,
                                   TextHAlignment hAlignment = TextHAlignment::LEFT, int maxLineWidth = 0,
                                   const Vec2& imageOffset = Vec2::ZERO);
    static Label* createWithCharMap(const std::string& charMapFile, int itemWidth, int itemHeight, int startCharMap);
    static Label* createWithCharMap(Texture2D* texture, int itemWidth, int itemHeight, int startCharMap);
    static Label* createWithCharMap(const std::string& plistFile);

    // Public for the create pattern; use the creators.
    explicit Label(FontAtlas* atlas = nullptr, TextHAlignment hAlignment = TextHAlignment::LEFT,
                   TextVAlignment vAlignment = TextVAlignment::TOP, bool useDistanceField = false,
                   bool useA8Shader = false);
    ~Label() override;

    // Font selection: true on success; on failure the label is reset and false returned.
    virtual bool setTTFConfig(const TTFConfig& ttfConfig);
    virtual const TTFConfig& getTTFConfig() const { return _fontConfig; }
    virtual bool setBMFontFilePath(const std::string& bmfontFilePath, const Vec2& imageOffset = Vec2::ZERO);
    const std::string& getBMFontFilePath() const { return _bmFontPath; }
    virtual bool setCharMap(const std::string& charMapFile, int itemWidth, int itemHeight, int startCharMap);
    virtual bool setCharMap(Texture2D* texture, int itemWidth, int itemHeight, int startCharMap);
    virtual bool setCharMap(const std::string& plistFile);
    virtual void setSystemFontName(const std::string& systemFont);
    virtual const std::string& getSystemFontName() const { return _systemFont; }
    virtual void setSystemFontSize(float fontSize);
    virtual float getSystemFontSize() const { return _systemFontSize; }
    virtual void requestSystemFontRefresh() { _systemFontDirty = true; }
    LabelType getLabelType() const { return _currentLabelType; }

    void setString(const std::string& text) override;
    const std::string& getString() const override { return _originalUTF8String; }
    int getStringLength() const { return static_cast<int>(_currentUTF16String.size()); }
    int getStringNumLines() const;

    // Read at draw time by TrueType labels.
    virtual void setTextColor(const Color4B& color);
    const Color4B& getTextColor() const { return _textColor; }
    // Shadows are always drawn without blur.
    virtual void enableShadow(const Color4B& shadowColor = Color4B(0, 0, 0, 255), const Size& offset = Size(2, -2),
                              int blurRadius = 0);
    virtual void enableOutline(const Color4B& outlineColor, int outlineSize = -1);
    virtual void enableGlow(const Color4B& glowColor);
    virtual void disableEffect();
    LabelEffect getLabelEffect() const { return _currLabelEffect; }

    void setAlignment(TextHAlignment hAlignment) { setHorizontalAlignment(hAlignment); }
    void setAlignment(TextHAlignment hAlignment, TextVAlignment vAlignment);
    void setHorizontalAlignment(TextHAlignment hAlignment);
    void setVerticalAlignment(TextVAlignment vAlignment);
    TextHAlignment getHorizontalAlignment() const { return _hAlignment; }
    TextVAlignment getVerticalAlignment() const { return _vAlignment; }

    // Wrap width in points; 0 = no wrapping.
    void setMaxLineWidth(float maxLineWidth);
    float getMaxLineWidth() const { return _maxLineWidth; }
    void setLineBreakWithoutSpace(bool breakWithoutSpace);
    // The box the text is laid out in (points); 0 = free.
    void setWidth(float width) { setDimensions(width, _labelHeight); }
    float getWidth() const { return _labelWidth; }
    void setHeight(float height) { setDimensions(_labelWidth, height); }
    float getHeight() const { return _labelHeight; }
    void setDimensions(float width, float height);
    const Size& getDimensions() const { return _labelDimensions; }
    // Extra advance after every letter (pixels).
    void setAdditionalKerning(float space);
    float getAdditionalKerning() const { return _additionalKerning; }
    float getCommonLineHeight() const;
    void setClipMarginEnabled(bool clipEnabled) { _clipEnabled = clipEnabled; }
    bool isClipMarginEnabled() const { return _clipEnabled; }

    // The sprite of letter `index` (created on first use), which can be coloured and moved; null
    // for system-font labels, indexes past the text and units without a letter.
    virtual Sprite* getLetter(int index);

    virtual void setFontDefinition(const FontDefinition& textDefinition);
    const FontDefinition& getFontDefinition() const { return _fontDefinition; }
    virtual void setFontAtlas(FontAtlas* atlas, bool distanceFieldEnabled = false, bool useA8Shader = false);
    FontAtlas* getFontAtlas() const { return _fontAtlas; }
    void setFontScale(float fontScale);

    // Lays the text out again now.
    virtual void updateContent();

    std::string description() const override;
    void setScaleX(float s) override;
    float getScaleX() const override;
    void setScaleY(float s) override;
    float getScaleY() const override;
    void setScale(float s) override;
    using Node::setScale;
    const Size& getContentSize() const override;
    Rect getBoundingBox() const override;
    // Children cannot be added from outside: the label makes its own.
    void addChild(Node* child, int localZ, int tag) override;
    using SpriteBatchNode::addChild;
    void sortAllChildren() override {}
    void visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) override;
    using Node::visit;
    void draw(Renderer* renderer, const Mat4& transform, uint32_t flags) override;
    using Node::draw;
    void updateDisplayedOpacity(uint8_t parentOpacity) override;
    void updateDisplayedColor(const Color3B& parentColor) override;
    void setOpacityModifyRGB(bool isOpacityModifyRGB) override;
    bool isOpacityModifyRGB() const override { return _isOpacityModifyRGB; }
    void updateColor() override;
    void setBlendFunc(const BlendFunc& blendFunc) override;

protected:
    friend class LabelTextFormatter;

    struct LetterInfo {
        FontLetterDefinition def;
        Vec2 position;  // top-left corner, points
        Size contentSize;
        int atlasIndex = 0;
    };

    void reset();
    // Ends a failed font selection.
    bool failSelection();
    void dropFontScale();
    void computeStringNumLines();
    bool computeHorizontalKernings(const std::u16string& text);
    virtual void alignText();
    virtual void updateShaderProgram();
    void updateFont();
    void updateQuads();
    bool isLetterPlaced(int index) const;
    void removeUnplacedLetterSprites();
    void refreshLetterSprites();
    // Adds batch nodes for atlas pages that have none yet.
    void addPageBatches();
    // The letter record at index, grown on demand.
    LetterInfo& letterAt(int index);
    SpriteBatchNode* batchForPage(int page) const;
    void drawLetters(Renderer* renderer, const Mat4& transform, uint32_t flags);
    // TrueType letters draw with the label programs, their colours set as uniforms at draw time.
    void onDraw(const Mat4& transform);
    void drawAllAtlases();
    void createSpriteWithFontDefinition();
    void fillFontDefinitionFromLabel();
    void drawTextSprite(Renderer* renderer, uint32_t parentFlags);
    // The shadow sprite takes the shadow's colour, opacity and offset.
    void applyShadowToSprite();
    void drawShadowWithoutBlur(Renderer* renderer, uint32_t flags);
    void updateLetterSprites();
    void registerAtlasListeners();
    // Dropping the atlas while a page is purged, and finding one again after.
    void onPurgeFontAtlas(void* atlas);
    void onResetFontAtlas(void* atlas);

    std::string _bmFontPath;
    bool _isOpacityModifyRGB = false;
    bool _contentDirty = false;
    bool _systemFontDirty = false;
    std::string _systemFont = "Helvetica";
    float _systemFontSize = 12.0f;
    LabelType _currentLabelType = LabelType::STRING_TEXTURE;
    std::vector<SpriteBatchNode*> _batchNodes;  // element 0 is the label; the rest are its children
    FontAtlas* _fontAtlas = nullptr;            // one reference, through the atlas cache
    std::vector<LetterInfo> _lettersInfo;
    TTFConfig _fontConfig;
    Sprite* _textSprite = nullptr;
    FontDefinition _fontDefinition;
    bool _compatibleMode = false;
    Sprite* _reusedLetter = nullptr;  // retained
    Rect _reusedRect;
    int _limitShowCount = 0;
    float _additionalKerning = 0.0f;
    float _commonLineHeight = 0.0f;
    bool _lineBreakWithoutSpaces = false;
    std::unique_ptr<int[]> _horizontalKernings;
    float _maxLineWidth = 0.0f;
    Size _labelDimensions;
    float _labelWidth = 0.0f;
    float _labelHeight = 0.0f;
    TextHAlignment _hAlignment = TextHAlignment::LEFT;
    TextVAlignment _vAlignment = TextVAlignment::TOP;
    int _currNumLines = 0;
    std::u16string _currentUTF16String;
    std::string _originalUTF8String;
    float _fontScale = 1.0f;
    bool _useDistanceField = false;
    bool _useA8Shader = false;
    LabelEffect _currLabelEffect = LabelEffect::NORMAL;
    Color4B _effectColor;
    Color4F _effectColorF;
    GLint _uniformEffectColor = -1;
    GLint _uniformTextColor = -1;
    CustomCommand _customCommand;
    bool _shadowDirty = false;
    bool _shadowEnabled = false;
    Size _shadowOffset;  // pixels
    int _shadowBlurRadius = 0;
    Mat4 _shadowTransform;
    Color3B _shadowColor;
    float _shadowOpacity = 0.0f;
    Sprite* _shadowNode = nullptr;
    int _outlineSize = 0;
    Color4B _textColor = Color4B::WHITE;
    Color4F _textColorF = Color4F::WHITE;
    bool _clipEnabled = false;
    bool _blendFuncDirty = false;
    bool _insideBounds = true;

private:
    // Letters draw as quad commands so that labels of one font batch into one call.
    std::vector<QuadCommand> quadCommands_;
    std::vector<QuadCommand> shadowCommands_;
    std::vector<std::vector<PosColorTexQuad>> shadowQuads_;
};

}  // namespace kite
