// The base of the UI controls: touch phases and clicks, sizes and positions against the parent, flipping, focus,
// cloning.
#pragma once
#include <functional>
#include <map>
#include <string>

#include "kite/foundation/math/MathTypes.h"
#include "kite/scene/ProtectedNode.h"
#include "kite/widgets/LayoutParameter.h"

namespace kite {

class EventListenerTouchOneByOne;
class Touch;
class Event;

namespace ui {

class FocusNavigator;
class Layout;
class LayoutComponent;

// The controls' renderers live in the protected child list, so a control's own children stay the user's.
class Widget : public ProtectedNode, public LayoutParameterProtocol {
public:
    enum class TouchEventType { BEGAN = 0, MOVED = 1, ENDED = 2, CANCELED = 3 };
    enum class FocusDirection { LEFT = 0, RIGHT = 1, UP = 2, DOWN = 3 };
    enum class BrightStyle { NONE = -1, NORMAL = 0, HIGHLIGHT = 1 };
    enum class SizeType { ABSOLUTE = 0, PERCENT = 1 };
    enum class PositionType { ABSOLUTE = 0, PERCENT = 1 };

    using TouchEventCallback = std::function<void(Ref* sender, TouchEventType type)>;
    using ClickCallback = std::function<void(Ref* sender)>;
    using EventCallback = std::function<void(Ref* sender, int eventType)>;
    using SEL_TouchEvent = void (Ref::*)(Ref* sender, TouchEventType type);

    static Widget* create();

    Widget() = default;
    ~Widget() override;

    bool init() override;
    std::string description() const override { return "Widget"; }

    // State. Enabling stores the flag only; brightness and highlight pick the shown state.
    virtual void setEnabled(bool enabled) { this->enabled = enabled; }
    bool isEnabled() const { return enabled; }
    void setBright(bool bright);
    bool isBright() const { return bright; }
    void setBrightStyle(BrightStyle style);
    void setHighlighted(bool highlighted);
    bool isHighlighted() const { return highlighted; }

    // Touch. Enabling registers one swallowing one-by-one listener for this widget.
    virtual void setTouchEnabled(bool enabled);
    bool isTouchEnabled() const { return touchEnabled; }
    void addTouchEventListener(const TouchEventCallback& callback) { touchEventCallback = callback; }
    void addTouchEventListener(Ref* target, SEL_TouchEvent selector);
    void addClickEventListener(const ClickCallback& callback) { clickCallback = callback; }
    // Kept for the caller; the widget itself never calls it.
    virtual void setEventCallback(const EventCallback& callback) { eventCallback = callback; }
    void setPropagateTouchEvents(bool propagate) { propagateTouchEvents = propagate; }
    bool isPropagateTouchEvents() const { return propagateTouchEvents; }
    const Vec2& getTouchBeganPosition() const { return touchBeganPosition; }
    const Vec2& getTouchMovePosition() const { return touchMovePosition; }
    const Vec2& getTouchEndPosition() const { return touchEndPosition; }

    // Whether the world point lies in (0, 0, content size), edges included.
    virtual bool hitTest(const Vec2& worldPoint) const;
    virtual bool onTouchBegan(Touch* touch, Event* event);
    virtual void onTouchMoved(Touch* touch, Event* event);
    virtual void onTouchEnded(Touch* touch, Event* event);
    virtual void onTouchCancelled(Touch* touch, Event* event);
    // Passes the phase on up to the parent widget, which may want to react to its children's touches.
    virtual void interceptTouchEvent(TouchEventType type, Widget* sender, Touch* touch);
    // The direct parent when it is a widget.
    Widget* getWidgetParent() const;

    // Flipping mirrors the drawing while the scale getters keep answering what was set.
    virtual void setFlippedX(bool flipped);
    virtual bool isFlippedX() const { return flippedX; }
    virtual void setFlippedY(bool flipped);
    virtual bool isFlippedY() const { return flippedY; }
    void setScaleX(float s) override;
    float getScaleX() const override;
    void setScaleY(float s) override;
    float getScaleY() const override;
    void setScale(float s) override;
    float getScale() const override { return getScaleX(); }
    void setScale(float x, float y) override;

    // Size and position, absolute or as a fraction of the parent's size.
    void setPosition(const Vec2& p) override;
    using ProtectedNode::setPosition;
    void setContentSize(const Size& size) override;
    virtual void setSize(const Size& size) { setContentSize(size); }
    virtual void setSizePercent(const Vec2& percent);
    const Vec2& getSizePercent() const { return sizePercent; }
    void setSizeType(SizeType type) { sizeType = type; }
    SizeType getSizeType() const { return sizeType; }
    void setPositionPercent(const Vec2& percent);
    const Vec2& getPositionPercent() const { return positionPercent; }
    void setPositionType(PositionType type) { positionType = type; }
    PositionType getPositionType() const { return positionType; }
    const Size& getCustomSize() const { return customSize; }
    virtual Size getLayoutSize() { return getContentSize(); }
    virtual void setIgnoreRendererSize(bool ignore);
    bool isIgnoreContentAdaptWithSize() const { return ignoreSize; }
    virtual Node* getVirtualRenderer() { return this; }
    virtual Size getVirtualRendererSize() const { return getContentSize(); }
    // Applies the size and position rules against a parent of the given size.
    void updateSizeAndPosition(const Size& parentSize);

    // Edges in the parent's space, as the layout managers see them.
    float getLeftBoundary() const;
    float getBottomBoundary() const;
    float getRightBoundary() const { return getLeftBoundary() + getContentSize().width; }
    float getTopBoundary() const { return getBottomBoundary() + getContentSize().height; }

    // Layout parameters, one per kind; the last one set is current.
    void setLayoutParameter(LayoutParameter* parameter);
    LayoutParameter* getLayoutParameter() const override;
    void setActionTag(int tag) { actionTag = tag; }
    int getActionTag() const { return actionTag; }

    // Focus: one widget of the process has it.
    static Widget* getCurrentFocusedWidget();
    bool isFocused() const { return focused; }
    void setFocused(bool focused) { this->focused = focused; }
    bool isFocusEnabled() const { return focusEnabled; }
    void setFocusEnabled(bool enabled) { focusEnabled = enabled; }
    // The widget that takes the focus when it moves in the direction from current.
    virtual Widget* findNextFocusedWidget(FocusDirection direction, Widget* current);
    // Tells both widgets and the event dispatcher that the focus moves from lose to get. A lose that
    // does not hold the focus stands for the widget that does.
    static void dispatchFocusEvent(Widget* lose, Widget* get);
    std::function<void(Widget* lost, Widget* gained)> onFocusChanged;
    std::function<Widget*(FocusDirection)> onNextFocusedWidget;
    // Switches arrow-key focus navigation on (a navigator starting from the focused widget) or off.
    static void enableDpadNavigation(bool enable);
    // Null while navigation is off; it is switched off when the widget it starts from goes.
    static FocusNavigator* getFocusNavigator();

    // A new widget of the same class with this one's properties and clones of its child widgets.
    Widget* clone();

    void onEnter() override;
    void onExit() override;
    void visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) override;
    using ProtectedNode::visit;

protected:
    virtual void onSizeChanged();
    virtual void initRenderers() {}
    virtual void showNormalState() {}
    virtual void showPressedState() {}
    virtual void showDisabledState() {}
    virtual void releaseUpEvent();
    virtual void cancelUpEvent();
    virtual void adaptRenderers() {}
    virtual Widget* createCloneInstance();
    virtual void copySpecialProperties(Widget*) {}
    virtual void copyClonedWidgetChildren(Widget* model);
    void copyProperties(Widget* model);

    void pushDownEvent();
    void moveEvent();
    // Whether the point passes every clipping layout above this widget.
    bool isClippingParentContainsPoint(const Vec2& point);
    LayoutComponent* getOrCreateLayoutComponent();

    // Set only by controls whose sizes come from a layout component.
    bool usingLayoutComponent = false;
    bool unifySize = false;
    bool enabled = true;
    bool bright = true;
    bool touchEnabled = false;
    bool highlighted = false;
    bool affectByClipping = false;
    bool ignoreSize = false;
    bool propagateTouchEvents = true;
    BrightStyle brightStyle = BrightStyle::NONE;
    SizeType sizeType = SizeType::ABSOLUTE;
    PositionType positionType = PositionType::ABSOLUTE;
    int actionTag = 0;
    Size customSize;
    Vec2 sizePercent;
    Vec2 positionPercent;
    bool hitted = false;
    EventListenerTouchOneByOne* touchListener = nullptr;  // retained while touch is on
    Vec2 touchBeganPosition;
    Vec2 touchMovePosition;
    Vec2 touchEndPosition;
    bool flippedX = false;
    bool flippedY = false;
    std::map<LayoutParameter::Type, RefPtr<LayoutParameter>> layoutParameters;
    LayoutParameter::Type layoutParameterType = LayoutParameter::Type::NONE;
    bool focused = false;
    bool focusEnabled = true;
    Ref* touchEventListener = nullptr;  // not retained
    SEL_TouchEvent touchEventSelector = nullptr;
    TouchEventCallback touchEventCallback;
    ClickCallback clickCallback;
    EventCallback eventCallback;

private:
    // Makes the widget the process-wide focused one (null: none); the navigator starts from it.
    static void adoptFocus(Widget* widget);
    // The process-wide pointers forget a widget that goes; the navigator goes with it.
    static void forgetFocusOf(Widget* widget);
    // Fires the event to the callback, then the target's selector; the widget lives through both.
    void fireTouchEvent(TouchEventType type);
    void updateSizeFromParent(const Size& parentSize);
    void updatePositionFromParent(const Size& parentSize);
    Size parentSizeForPercent() const;
};

}  // namespace ui
}  // namespace kite
