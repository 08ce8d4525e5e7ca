// The widget base: state, touch phases, flipping, sizes and positions against the parent.
#include "kite/widgets/Widget.h"

#include "kite/foundation/Create.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventListenerTouch.h"
#include "kite/scene/Touch.h"
#include "kite/widgets/Layout.h"
#include "kite/widgets/LayoutComponent.h"

namespace kite {
namespace ui {

namespace {
// A share of the parent's size; nothing of a parent dimension that is not positive.
float fractionOf(float value, float whole) { return whole > 0.0f ? value / whole : 0.0f; }

// Plain nodes in between (a holder node, a menu) do not cut a widget off from the widgets above it.
Widget* nearestWidgetAbove(Node* node) {
    for (Node* up = node->getParent(); up; up = up->getParent()) {
        if (auto* widget = dynamic_cast<Widget*>(up)) return widget;
    }
    return nullptr;
}
}  // namespace

Widget* Widget::create() { return createAutoreleased<Widget>(); }

Widget::~Widget() {
    setTouchEnabled(false);
    forgetFocusOf(this);
}

bool Widget::init() {
    if (!ProtectedNode::init()) return false;
    initRenderers();
    setBright(true);
    onFocusChanged = [](Widget* lost, Widget* gained) {
        if (lost) lost->setFocused(false);
        if (gained) gained->setFocused(true);
        adoptFocus(gained);
    };
    onNextFocusedWidget = nullptr;
    setAnchorPoint(Vec2(0.5f, 0.5f));
    setIgnoreRendererSize(true);
    return true;
}

// ---- State ----

void Widget::setBright(bool b) {
    bright = b;
    if (bright) {
        brightStyle = BrightStyle::NONE;
        setBrightStyle(BrightStyle::NORMAL);
    } else {
        showDisabledState();
    }
}

void Widget::setBrightStyle(BrightStyle style) {
    if (brightStyle == style) return;
    brightStyle = style;
    if (style == BrightStyle::NORMAL) showNormalState();
    if (style == BrightStyle::HIGHLIGHT) showPressedState();
}

void Widget::setHighlighted(bool h) {
    if (highlighted == h) return;
    highlighted = h;
    if (bright)
        setBrightStyle(h ? BrightStyle::HIGHLIGHT : BrightStyle::NORMAL);
    else
        showDisabledState();
}

// ---- Touch ----

void Widget::setTouchEnabled(bool enable) {
    if (enable == touchEnabled) return;
    touchEnabled = enable;
    if (touchEnabled) {
        touchListener = EventListenerTouchOneByOne::create();
        if (!touchListener) {
            touchEnabled = false;
            return;
        }
        touchListener->retain();
        touchListener->setSwallowTouches(true);
        touchListener->onTouchBegan = [this](Touch* t, Event* e) { return onTouchBegan(t, e); };
        touchListener->onTouchMoved = [this](Touch* t, Event* e) { onTouchMoved(t, e); };
        touchListener->onTouchEnded = [this](Touch* t, Event* e) { onTouchEnded(t, e); };
        touchListener->onTouchCancelled = [this](Touch* t, Event* e) { onTouchCancelled(t, e); };
        if (eventDispatcher) eventDispatcher->addEventListenerWithSceneGraphPriority(touchListener, this);
    } else {
        if (eventDispatcher) eventDispatcher->removeEventListener(touchListener);
        releaseAndClear(touchListener);
    }
}

void Widget::addTouchEventListener(Ref* target, SEL_TouchEvent selector) {
    touchEventListener = target;
    touchEventSelector = selector;
}

bool Widget::hitTest(const Vec2& worldPoint) const {
    Vec2 local = convertToNodeSpace(worldPoint);
    return Rect(0.0f, 0.0f, contentSize.width, contentSize.height).containsPoint(local);
}

Widget* Widget::getWidgetParent() const { return dynamic_cast<Widget*>(parent); }

bool Widget::isClippingParentContainsPoint(const Vec2& point) {
    affectByClipping = false;
    Layout* clippingParent = nullptr;
    for (Widget* up = nearestWidgetAbove(this); up; up = nearestWidgetAbove(up)) {
        auto* layout = dynamic_cast<Layout*>(up);
        if (layout && layout->isClippingEnabled()) {
            clippingParent = layout;
            break;
        }
    }
    if (!clippingParent) return true;
    affectByClipping = true;
    return clippingParent->hitTest(point) && clippingParent->isClippingParentContainsPoint(point);
}

bool Widget::onTouchBegan(Touch* touch, Event*) {
    hitted = false;
    bool claimable = isVisible() && enabled;
    for (Widget* up = nearestWidgetAbove(this); claimable && up; up = nearestWidgetAbove(up))
        claimable = up->isEnabled();
    for (Node* up = parent; claimable && up; up = up->getParent()) claimable = up->isVisible();
    if (claimable) {
        touchBeganPosition = touch->getLocation();
        hitted = hitTest(touchBeganPosition) && isClippingParentContainsPoint(touchBeganPosition);
    }
    if (!hitted) return false;
    setHighlighted(true);
    if (propagateTouchEvents) interceptTouchEvent(TouchEventType::BEGAN, this, touch);
    pushDownEvent();
    return true;
}

void Widget::onTouchMoved(Touch* touch, Event*) {
    touchMovePosition = touch->getLocation();
    setHighlighted(hitTest(touchMovePosition));
    if (propagateTouchEvents) interceptTouchEvent(TouchEventType::MOVED, this, touch);
    moveEvent();
}

void Widget::onTouchEnded(Touch* touch, Event*) {
    touchEndPosition = touch->getLocation();
    if (propagateTouchEvents) interceptTouchEvent(TouchEventType::ENDED, this, touch);
    bool endedInside = highlighted;
    setHighlighted(false);
    if (endedInside)
        releaseUpEvent();
    else
        cancelUpEvent();
}

void Widget::onTouchCancelled(Touch*, Event*) {
    setHighlighted(false);
    cancelUpEvent();
}

void Widget::interceptTouchEvent(TouchEventType type, Widget* sender, Touch* touch) {
    if (Widget* up = getWidgetParent()) up->interceptTouchEvent(type, sender, touch);
}

void Widget::fireTouchEvent(TouchEventType type) {
    RefPtr<Widget> alive(this);
    if (touchEventCallback) touchEventCallback(this, type);
    if (touchEventListener && touchEventSelector) (touchEventListener->*touchEventSelector)(this, type);
    if (type == TouchEventType::ENDED && clickCallback) clickCallback(this);
}

void Widget::pushDownEvent() { fireTouchEvent(TouchEventType::BEGAN); }
void Widget::moveEvent() { fireTouchEvent(TouchEventType::MOVED); }
void Widget::releaseUpEvent() { fireTouchEvent(TouchEventType::ENDED); }
void Widget::cancelUpEvent() { fireTouchEvent(TouchEventType::CANCELED); }

// ---- Flipping and scale ----

void Widget::setFlippedX(bool flipped) {
    float scale = getScaleX();
    flippedX = flipped;
    setScaleX(scale);
}

void Widget::setFlippedY(bool flipped) {
    float scale = getScaleY();
    flippedY = flipped;
    setScaleY(scale);
}

void Widget::setScaleX(float s) { ProtectedNode::setScaleX(flippedX ? -s : s); }
float Widget::getScaleX() const { return flippedX ? -ProtectedNode::getScaleX() : ProtectedNode::getScaleX(); }
void Widget::setScaleY(float s) { ProtectedNode::setScaleY(flippedY ? -s : s); }
float Widget::getScaleY() const { return flippedY ? -ProtectedNode::getScaleY() : ProtectedNode::getScaleY(); }

void Widget::setScale(float s) {
    setScaleX(s);
    setScaleY(s);
    setScaleZ(s);
}

void Widget::setScale(float x, float y) {
    setScaleX(x);
    setScaleY(y);
}

// ---- Size and position ----

Size Widget::parentSizeForPercent() const {
    if (Widget* up = getWidgetParent()) return up->getContentSize();
    return parent ? parent->getContentSize() : Size::ZERO;
}

void Widget::setPosition(const Vec2& p) {
    if (!usingLayoutComponent && running) {
        if (Widget* up = getWidgetParent()) {
            const Size& size = up->getContentSize();
            bool measurable = size.width > 0.0f && size.height > 0.0f;
            positionPercent = measurable ? Vec2(p.x / size.width, p.y / size.height) : Vec2::ZERO;
        }
    }
    ProtectedNode::setPosition(p);
}

void Widget::setPositionPercent(const Vec2& percent) {
    positionPercent = percent;
    if (running && parent) updatePositionFromParent(parentSizeForPercent());
}

void Widget::setContentSize(const Size& size) {
    ProtectedNode::setContentSize(size);
    customSize = size;
    if (!unifySize && ignoreSize) ProtectedNode::setContentSize(getVirtualRendererSize());
    if (!usingLayoutComponent && running) {
        Size whole = parentSizeForPercent();
        sizePercent = Vec2(fractionOf(customSize.width, whole.width), fractionOf(customSize.height, whole.height));
    }
    onSizeChanged();
}

void Widget::setSizePercent(const Vec2& percent) {
    if (usingLayoutComponent) {
        if (LayoutComponent* component = getOrCreateLayoutComponent()) {
            component->setUsingPercentContentSize(true);
            component->setPercentContentSize(percent);
            component->refreshLayout();
        }
        return;
    }
    sizePercent = percent;
    Size wanted = customSize;
    if (running) {
        Size whole = parentSizeForPercent();
        wanted = Size(whole.width * percent.x, whole.height * percent.y);
    }
    setContentSize(ignoreSize ? getVirtualRendererSize() : wanted);
    // Setting the size measured the percent from it; a renderer's size must not overwrite the one asked for.
    sizePercent = percent;
    customSize = wanted;
}

void Widget::setIgnoreRendererSize(bool ignore) {
    if (unifySize) {
        setContentSize(customSize);
        return;
    }
    if (ignoreSize == ignore) return;
    ignoreSize = ignore;
    setContentSize(ignoreSize ? getVirtualRendererSize() : customSize);
}

void Widget::updateSizeFromParent(const Size& parentSize) {
    if (sizeType == SizeType::ABSOLUTE) {
        setContentSize(ignoreSize ? getVirtualRendererSize() : customSize);
        sizePercent =
            Vec2(fractionOf(customSize.width, parentSize.width), fractionOf(customSize.height, parentSize.height));
    } else {
        Size wanted(parentSize.width * sizePercent.x, parentSize.height * sizePercent.y);
        setContentSize(ignoreSize ? getVirtualRendererSize() : wanted);
        customSize = wanted;
    }
}

void Widget::updatePositionFromParent(const Size& parentSize) {
    Vec2 p = position;
    if (positionType == PositionType::ABSOLUTE) {
        bool measurable = parentSize.width > 0.0f && parentSize.height > 0.0f;
        positionPercent = measurable ? Vec2(p.x / parentSize.width, p.y / parentSize.height) : Vec2::ZERO;
    } else {
        p = Vec2(parentSize.width * positionPercent.x, parentSize.height * positionPercent.y);
    }
    setPosition(p);
}

void Widget::updateSizeAndPosition(const Size& parentSize) {
    // Setting the size measures sizePercent against the parent; the rules below decide it instead.
    Vec2 keptPercent = sizePercent;
    updateSizeFromParent(parentSize);
    if (sizeType == SizeType::PERCENT) sizePercent = keptPercent;
    updatePositionFromParent(parentSize);
}

void Widget::onSizeChanged() {
    if (usingLayoutComponent) return;
    for (Node* child : children)
        if (auto* widget = dynamic_cast<Widget*>(child)) widget->updateSizeAndPosition(contentSize);
}

float Widget::getLeftBoundary() const { return position.x - anchorPoint.x * contentSize.width; }
float Widget::getBottomBoundary() const { return position.y - anchorPoint.y * contentSize.height; }

LayoutComponent* Widget::getOrCreateLayoutComponent() {
    if (auto* existing = dynamic_cast<LayoutComponent*>(getComponent(LayoutComponent::NAME))) return existing;
    LayoutComponent* component = LayoutComponent::create();
    if (component && !addComponent(component)) return nullptr;
    return component;
}

// ---- Layout parameters ----

void Widget::setLayoutParameter(LayoutParameter* parameter) {
    if (!parameter) return;
    layoutParameters[parameter->getLayoutType()] = parameter;
    layoutParameterType = parameter->getLayoutType();
}

LayoutParameter* Widget::getLayoutParameter() const {
    auto found = layoutParameters.find(layoutParameterType);
    return found == layoutParameters.end() ? nullptr : found->second.get();
}

// ---- Lifecycle ----

void Widget::onEnter() {
    if (!usingLayoutComponent && parent) updateSizeAndPosition(parent->getContentSize());
    ProtectedNode::onEnter();
}

void Widget::onExit() {
    unscheduleUpdate();
    // A widget that leaves the scene cannot keep the focus.
    if (getCurrentFocusedWidget() == this) dispatchFocusEvent(this, nullptr);
    ProtectedNode::onExit();
}

void Widget::visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) {
    if (!visible) return;
    adaptRenderers();
    ProtectedNode::visit(renderer, parentTransform, parentFlags);
}

}  // namespace ui
}  // namespace kite
