// The layout container: arranges child widgets, clips them by stencil or scissor, draws a background, steers focus.
#pragma once
#include <functional>
#include <string>

#include "kite/rendering/CustomCommand.h"
#include "kite/rendering/GroupCommand.h"
#include "kite/widgets/Widget.h"

namespace kite {

class DrawNode;
class LayerColor;
class LayerGradient;

namespace ui {

class LayoutManager;
class Scale9Sprite;

// What the layout managers work on.
class LayoutProtocol {
public:
    virtual ~LayoutProtocol() = default;
    virtual LayoutManager* createLayoutManager() = 0;
    virtual Size getLayoutContentSize() const = 0;
    virtual const Vector<Node*>& getLayoutElements() const = 0;
    virtual void doLayout() = 0;
};

class Layout : public Widget, public LayoutProtocol {
public:
    enum class Type { ABSOLUTE = 0, VERTICAL = 1, HORIZONTAL = 2, RELATIVE = 3 };
    enum class ClippingType { STENCIL = 0, SCISSOR = 1 };
    enum class BackGroundColorType { NONE = 0, SOLID = 1, GRADIENT = 2 };
    enum class TextureResType { LOCAL = 0, PLIST = 1 };

    // Stencil layers that may nest; deeper ones log once and draw unclipped.
    static constexpr int MAX_STENCIL_LAYERS = 8;

    static Layout* create();

    Layout();
    ~Layout() override;

    bool init() override;
    std::string description() const override { return "Layout"; }

    // Children: a child widget gets the parameter kind the layout type needs.
    void addChild(Node* child) override;
    void addChild(Node* child, int localZ) override;
    void addChild(Node* child, int localZ, int tag) override;
    void addChild(Node* child, int localZ, const std::string& name) override;
    void removeChild(Node* child, bool cleanup = true) override;
    void removeAllChildren() override;
    void removeAllChildrenWithCleanup(bool cleanup) override;

    virtual void setLayoutType(Type type);
    virtual Type getLayoutType() const { return layoutType; }
    // Lays the children out at once instead of at the next visit.
    virtual void forceDoLayout();
    void doLayout() override;
    LayoutManager* createLayoutManager() override;
    Size getLayoutContentSize() const override { return getContentSize(); }
    const Vector<Node*>& getLayoutElements() const override { return getChildren(); }

    // Clipping.
    virtual void setClippingEnabled(bool enabled);
    virtual bool isClippingEnabled() const { return clippingEnabled; }
    void setClippingType(ClippingType type);
    ClippingType getClippingType() const { return clippingType; }
    // The scissor rectangle in world points, cut to the clipping ancestor's.
    const Rect& getClippingRect();

    // Backgrounds: an image (nine-sliced or not), a solid colour or a gradient.
    void setBackGroundImage(const std::string& fileName, TextureResType type = TextureResType::LOCAL);
    void setBackGroundImageScale9Enabled(bool enabled);
    bool isBackGroundImageScale9Enabled() const { return backGroundScale9Enabled; }
    void setBackGroundImageCapInsets(const Rect& capInsets);
    const Size& getBackGroundImageTextureSize() const { return backGroundImageTextureSize; }
    void setBackGroundImageColor(const Color3B& color);
    void setBackGroundImageOpacity(uint8_t opacity);
    Scale9Sprite* getBackGroundImage() const { return backGroundImage; }
    void setBackGroundColorType(BackGroundColorType type);
    BackGroundColorType getBackGroundColorType() const { return colorType; }
    void setBackGroundColor(const Color3B& color);
    void setBackGroundColor(const Color3B& start, const Color3B& end);
    void setBackGroundColorOpacity(uint8_t opacity);
    void setBackGroundColorVector(const Vec2& vector);

    // Focus among the children.
    void setLoopFocus(bool loop) { loopFocus = loop; }
    bool isLoopFocus() const { return loopFocus; }
    void setPassFocusToChild(bool pass) { passFocusToChild = pass; }
    bool isPassFocusToChild() const { return passFocusToChild; }
    Widget* findNextFocusedWidget(FocusDirection direction, Widget* current) override;
    // Picks the index of the child that takes the focus when it enters this layout.
    std::function<int(FocusDirection, Widget*)> onPassFocusToChild;

    void onEnter() override;
    void onExit() override;
    void visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) override;
    using Widget::visit;

protected:
    void onSizeChanged() override;
    Widget* createCloneInstance() override;
    void copySpecialProperties(Widget* model) override;

private:
    void supplyLayoutParameter(Widget* child);
    void addBackGroundImage();
    void removeBackGroundImage();
    void drawStencilShape();

    // Clipping passes of a visit, and the GL work of their commands.
    void stencilClippingVisit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags);
    void scissorClippingVisit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags);
    void onBeforeVisitStencil();
    void onAfterDrawStencil();
    void onAfterVisitStencil();
    void onBeforeVisitScissor();
    void onAfterVisitScissor();
    void clearStencilLayer(unsigned int mask);

    // Focus navigation (LayoutFocus.cpp).
    Widget* nextFocusedWidget(FocusDirection direction, Widget* current, int step);
    Widget* takeFocusAt(int index, FocusDirection direction, Widget* current);
    Widget* passFocusToChildWidget(FocusDirection direction, Widget* current);
    Widget* widgetAtOrAfter(int index) const;
    int childIndexOf(Widget* widget) const;
    int findNearestChildWidgetIndex(FocusDirection direction, Widget* base);
    int findChildIndexByDistance(FocusDirection direction, Widget* base, bool nearest);
    float distanceOfNearestChild(Widget* base);
    Size accumulatedSize();
    Vec2 worldCenterOf(Widget* widget);
    Widget* firstPlainDescendant();
    bool hasFocusableChild() const;
    static bool canTakeFocus(Widget* widget);
    static bool isLastWidgetInContainer(Widget* widget, FocusDirection direction);
    static bool isWidgetAncestorSupportLoopFocus(Widget* widget, FocusDirection direction);

    bool backGroundScale9Enabled = false;
    Scale9Sprite* backGroundImage = nullptr;  // a protected child
    std::string backGroundImageFileName;
    Rect backGroundImageCapInsets;
    BackGroundColorType colorType = BackGroundColorType::NONE;
    TextureResType bgImageTexType = TextureResType::LOCAL;
    Size backGroundImageTextureSize;
    Color3B backGroundImageColor = Color3B::WHITE;
    uint8_t backGroundImageOpacity = 255;
    LayerColor* colorRender = nullptr;        // a protected child
    LayerGradient* gradientRender = nullptr;  // a protected child
    Color3B cColor = Color3B::WHITE;
    Color3B gStartColor = Color3B::WHITE;
    Color3B gEndColor = Color3B::WHITE;
    Vec2 alongVector = Vec2(0.0f, -1.0f);
    uint8_t cOpacity = 255;
    bool clippingEnabled = false;
    Type layoutType = Type::ABSOLUTE;
    ClippingType clippingType = ClippingType::STENCIL;
    DrawNode* clippingStencil = nullptr;  // retained while stencil clipping is on
    Rect clippingRect;
    Layout* clippingParent = nullptr;  // the nearest clipping ancestor layout, found at each measuring
    bool clippingRectDirty = true;

    // GL stencil state as it was before this layout's stencil pass.
    bool currentStencilEnabled = false;
    unsigned int currentStencilWriteMask = ~0u;
    unsigned int currentStencilFunc = 0;
    int currentStencilRef = 0;
    unsigned int currentStencilValueMask = ~0u;
    unsigned int currentStencilFail = 0;
    unsigned int currentStencilPassDepthFail = 0;
    unsigned int currentStencilPassDepthPass = 0;
    bool currentDepthWriteMask = true;
    unsigned int mask_layer_le = 0;
    // Set at draw time when this layout nests too deep for the stencil buffer.
    bool stencilLayerSkipped = false;
    // Scissor state as it was before this layout's scissor pass.
    bool scissorWasEnabled = false;
    Rect outerScissorRect;

    GroupCommand groupCommand;
    CustomCommand beforeVisitCmdStencil;
    CustomCommand afterDrawStencilCmd;
    CustomCommand afterVisitCmdStencil;
    CustomCommand beforeVisitCmdScissor;
    CustomCommand afterVisitCmdScissor;

    bool doLayoutDirty = true;
    bool isInterceptTouch = false;
    bool loopFocus = false;
    bool passFocusToChild = true;
    bool isFocusPassing = false;
};

}  // namespace ui
}  // namespace kite
