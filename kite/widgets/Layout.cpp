// The layout container: children and their parameters, the layout pass, clipping switches, backgrounds, cloning.
#include "kite/widgets/Layout.h"

#include <GLES2/gl2.h>

#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"
#include "kite/scene/DrawNode.h"
#include "kite/scene/Layer.h"
#include "kite/widgets/LayoutManager.h"
#include "kite/widgets/Scale9Sprite.h"
#include "platform/PrintableText.h"

namespace kite {
namespace ui {

namespace {
// Read once, the first time stencil clipping is switched on; kept for the record only.
int stencilBits = -1;

constexpr int BACKGROUND_IMAGE_Z = -1;
constexpr int BACKGROUND_COLOR_Z = -2;
constexpr int RENDERER_TAG = -1;
}  // namespace

Layout* Layout::create() { return createAutoreleased<Layout>(); }

Layout::Layout() = default;

Layout::~Layout() { releaseAndClear(clippingStencil); }

bool Layout::init() {
    if (!Widget::init()) return false;
    setIgnoreRendererSize(false);
    setContentSize(Size::ZERO);
    setAnchorPoint(Vec2::ZERO);
    onPassFocusToChild = [this](FocusDirection direction, Widget* base) {
        return findNearestChildWidgetIndex(direction, base);
    };
    return true;
}

// ---- Children ----

void Layout::supplyLayoutParameter(Widget* child) {
    LayoutParameter* current = child->getLayoutParameter();
    switch (layoutType) {
        case Type::VERTICAL:
        case Type::HORIZONTAL:
            if (!dynamic_cast<LinearLayoutParameter*>(current))
                child->setLayoutParameter(LinearLayoutParameter::create());
            break;
        case Type::RELATIVE:
            if (!dynamic_cast<RelativeLayoutParameter*>(current))
                child->setLayoutParameter(RelativeLayoutParameter::create());
            break;
        case Type::ABSOLUTE: break;
    }
}

void Layout::addChild(Node* child) { addChild(child, child ? child->getLocalZOrder() : 0); }

void Layout::addChild(Node* child, int localZ) { addChild(child, localZ, child ? child->getTag() : INVALID_TAG); }

void Layout::addChild(Node* child, int localZ, int tag) {
    if (auto* widget = dynamic_cast<Widget*>(child)) supplyLayoutParameter(widget);
    Widget::addChild(child, localZ, tag);
    doLayoutDirty = true;
}

void Layout::addChild(Node* child, int localZ, const std::string& name) {
    if (auto* widget = dynamic_cast<Widget*>(child)) supplyLayoutParameter(widget);
    Widget::addChild(child, localZ, name);
    doLayoutDirty = true;
}

void Layout::removeChild(Node* child, bool cleanup) {
    Widget::removeChild(child, cleanup);
    doLayoutDirty = true;
}

void Layout::removeAllChildren() {
    Widget::removeAllChildren();
    doLayoutDirty = true;
}

void Layout::removeAllChildrenWithCleanup(bool cleanup) {
    Widget::removeAllChildrenWithCleanup(cleanup);
    doLayoutDirty = true;
}

// ---- The layout pass ----

void Layout::setLayoutType(Type type) {
    layoutType = type;
    for (Node* child : children)
        if (auto* widget = dynamic_cast<Widget*>(child)) supplyLayoutParameter(widget);
    doLayoutDirty = true;
}

LayoutManager* Layout::createLayoutManager() {
    switch (layoutType) {
        case Type::VERTICAL: return LinearVerticalLayoutManager::create();
        case Type::HORIZONTAL: return LinearHorizontalLayoutManager::create();
        case Type::RELATIVE: return RelativeLayoutManager::create();
        case Type::ABSOLUTE: break;
    }
    return nullptr;
}

void Layout::doLayout() {
    if (!doLayoutDirty) return;
    sortAllChildren();
    if (LayoutManager* manager = createLayoutManager()) manager->doLayout(this);
    doLayoutDirty = false;
}

void Layout::forceDoLayout() {
    doLayoutDirty = true;
    doLayout();
}

void Layout::onSizeChanged() {
    Widget::onSizeChanged();
    drawStencilShape();
    doLayoutDirty = true;
    clippingRectDirty = true;
    if (backGroundImage) {
        backGroundImage->setPosition(Vec2(contentSize.width / 2.0f, contentSize.height / 2.0f));
        if (backGroundScale9Enabled) backGroundImage->setPreferredSize(contentSize);
    }
    if (colorRender) colorRender->setContentSize(contentSize);
    if (gradientRender) gradientRender->setContentSize(contentSize);
}

void Layout::onEnter() {
    Widget::onEnter();
    if (clippingStencil) clippingStencil->onEnter();
    doLayoutDirty = true;
    clippingRectDirty = true;
}

void Layout::onExit() {
    Widget::onExit();
    if (clippingStencil) clippingStencil->onExit();
}

// ---- Clipping switches ----

void Layout::setClippingEnabled(bool enabled) {
    if (enabled == clippingEnabled) return;
    clippingEnabled = enabled;
    if (clippingType != ClippingType::STENCIL) return;
    if (clippingEnabled) {
        if (stencilBits < 0) {
            GLint bits = 0;
            glGetIntegerv(GL_STENCIL_BITS, &bits);
            stencilBits = bits;
        }
        assignRetained(clippingStencil, DrawNode::create());
        if (clippingStencil && running) clippingStencil->onEnter();
        drawStencilShape();
    } else {
        if (clippingStencil && running) clippingStencil->onExit();
        releaseAndClear(clippingStencil);
    }
}

void Layout::setClippingType(ClippingType type) {
    if (type == clippingType) return;
    bool wasEnabled = clippingEnabled;
    setClippingEnabled(false);
    clippingType = type;
    setClippingEnabled(wasEnabled);
}

void Layout::drawStencilShape() {
    if (!clippingEnabled || clippingType != ClippingType::STENCIL || !clippingStencil) return;
    clippingStencil->clear();
    const Vec2 corners[] = {Vec2(0.0f, 0.0f), Vec2(contentSize.width, 0.0f),
                            Vec2(contentSize.width, contentSize.height), Vec2(0.0f, contentSize.height)};
    const Color4F green(0.0f, 1.0f, 0.0f, 1.0f);
    clippingStencil->drawPolygon(corners, 4, green, 0.0f, green);
}

// ---- Backgrounds ----

void Layout::addBackGroundImage() {
    backGroundImage = Scale9Sprite::create();
    if (!backGroundImage) return;
    backGroundImage->setScale9Enabled(false);
    addProtectedChild(backGroundImage, BACKGROUND_IMAGE_Z, RENDERER_TAG);
    backGroundImage->setPosition(Vec2(contentSize.width / 2.0f, contentSize.height / 2.0f));
}

void Layout::setBackGroundImage(const std::string& fileName, TextureResType type) {
    if (fileName.empty()) return;
    if (!backGroundImage) {
        addBackGroundImage();
        if (!backGroundImage) return;
        backGroundImage->setScale9Enabled(backGroundScale9Enabled);
    }
    backGroundImageFileName = fileName;
    bgImageTexType = type;
    bool loaded = type == TextureResType::LOCAL ? backGroundImage->initWithFile(fileName)
                                                : backGroundImage->initWithSpriteFrameName(fileName);
    if (!loaded) log("Layout: background image \"%s\" could not be loaded", platform::printableText(fileName).c_str());
    if (backGroundScale9Enabled) backGroundImage->setPreferredSize(contentSize);
    backGroundImageTextureSize = backGroundImage->getContentSize();
    backGroundImage->setPosition(Vec2(contentSize.width / 2.0f, contentSize.height / 2.0f));
    backGroundImage->setColor(backGroundImageColor);
    backGroundImage->setOpacity(backGroundImageOpacity);
}

void Layout::setBackGroundImageScale9Enabled(bool enabled) {
    if (enabled == backGroundScale9Enabled) return;
    backGroundScale9Enabled = enabled;
    if (!backGroundImage) {
        addBackGroundImage();
        if (!backGroundImage) return;
        setBackGroundImage(backGroundImageFileName, bgImageTexType);
    }
    backGroundImage->setScale9Enabled(enabled);
    setBackGroundImageCapInsets(backGroundImageCapInsets);
    // A nine-sliced image covers the layout at once, not only after its next size change.
    if (enabled) backGroundImage->setPreferredSize(contentSize);
}

void Layout::setBackGroundImageCapInsets(const Rect& capInsets) {
    backGroundImageCapInsets = capInsets;
    if (backGroundScale9Enabled && backGroundImage) backGroundImage->setCapInsets(capInsets);
}

void Layout::setBackGroundImageColor(const Color3B& color) {
    backGroundImageColor = color;
    if (backGroundImage) backGroundImage->setColor(color);
}

void Layout::setBackGroundImageOpacity(uint8_t opacity) {
    backGroundImageOpacity = opacity;
    if (backGroundImage) backGroundImage->setOpacity(opacity);
}

void Layout::setBackGroundColorType(BackGroundColorType type) {
    if (type == colorType) return;
    if (colorType != BackGroundColorType::GRADIENT && colorRender) {
        removeProtectedChild(colorRender, true);
        colorRender = nullptr;
    }
    if (colorType != BackGroundColorType::SOLID && gradientRender) {
        removeProtectedChild(gradientRender, true);
        gradientRender = nullptr;
    }
    colorType = type;
    if (type == BackGroundColorType::SOLID) {
        colorRender = LayerColor::create();
        if (!colorRender) return;
        colorRender->setContentSize(contentSize);
        colorRender->setOpacity(cOpacity);
        colorRender->setColor(cColor);
        addProtectedChild(colorRender, BACKGROUND_COLOR_Z, RENDERER_TAG);
    } else if (type == BackGroundColorType::GRADIENT) {
        gradientRender = LayerGradient::create();
        if (!gradientRender) return;
        gradientRender->setContentSize(contentSize);
        gradientRender->setOpacity(cOpacity);
        gradientRender->setStartColor(gStartColor);
        gradientRender->setEndColor(gEndColor);
        gradientRender->setVector(alongVector);
        addProtectedChild(gradientRender, BACKGROUND_COLOR_Z, RENDERER_TAG);
    }
}

void Layout::setBackGroundColor(const Color3B& color) {
    cColor = color;
    if (colorRender) colorRender->setColor(color);
}

void Layout::setBackGroundColor(const Color3B& start, const Color3B& end) {
    gStartColor = start;
    gEndColor = end;
    if (gradientRender) {
        gradientRender->setStartColor(start);
        gradientRender->setEndColor(end);
    }
}

void Layout::setBackGroundColorOpacity(uint8_t opacity) {
    cOpacity = opacity;
    if (colorType == BackGroundColorType::SOLID && colorRender) colorRender->setOpacity(opacity);
    if (colorType == BackGroundColorType::GRADIENT && gradientRender) gradientRender->setOpacity(opacity);
}

void Layout::setBackGroundColorVector(const Vec2& vector) {
    alongVector = vector;
    if (gradientRender) gradientRender->setVector(vector);
}

// ---- Cloning ----

Widget* Layout::createCloneInstance() { return Layout::create(); }

void Layout::copySpecialProperties(Widget* widget) {
    auto* model = dynamic_cast<Layout*>(widget);
    if (!model) return;
    setBackGroundImageScale9Enabled(model->backGroundScale9Enabled);
    setBackGroundImage(model->backGroundImageFileName, model->bgImageTexType);
    setBackGroundImageCapInsets(model->backGroundImageCapInsets);
    setBackGroundColorType(model->colorType);
    setBackGroundColor(model->cColor);
    setBackGroundColor(model->gStartColor, model->gEndColor);
    setBackGroundColorOpacity(model->cOpacity);
    setBackGroundColorVector(model->alongVector);
    setLayoutType(model->layoutType);
    setClippingEnabled(model->clippingEnabled);
    setClippingType(model->clippingType);
    loopFocus = model->loopFocus;
    passFocusToChild = model->passFocusToChild;
    isInterceptTouch = model->isInterceptTouch;
}

}  // namespace ui
}  // namespace kite
