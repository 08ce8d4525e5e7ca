// The widget base: the process-wide focus, the search for the next focused widget, and cloning.
#include "kite/widgets/Widget.h"

#include <new>

#include "kite/scene/Director.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventFocus.h"
#include "kite/widgets/FocusNavigator.h"
#include "kite/widgets/Layout.h"

namespace kite {
namespace ui {

namespace {
Widget* focusedWidget = nullptr;  // not retained: a widget clears it when it goes
// Owned; made by enableDpadNavigation and never left to static destruction, which would reach a director
// already gone.
FocusNavigator* navigator = nullptr;

void deleteNavigator() {
    delete navigator;
    navigator = nullptr;
}
}  // namespace

Widget* Widget::getCurrentFocusedWidget() { return focusedWidget; }

FocusNavigator* Widget::getFocusNavigator() { return navigator; }

void Widget::adoptFocus(Widget* widget) {
    focusedWidget = widget;
    if (widget && navigator) navigator->setFirstFocusedWidget(widget);
}

void Widget::forgetFocusOf(Widget* widget) {
    // A widget that leaves the scene gives up the focus first, so the navigator may still hold it here.
    if (widget == focusedWidget || (navigator && navigator->getFirstFocusedWidget() == widget)) deleteNavigator();
    if (widget == focusedWidget) focusedWidget = nullptr;
}

void Widget::enableDpadNavigation(bool enable) {
    if (!enable) {
        deleteNavigator();
        return;
    }
    if (!navigator) {
        navigator = new (std::nothrow) FocusNavigator();
        if (!navigator) return;
        navigator->setFirstFocusedWidget(focusedWidget);
    }
    navigator->enableFocusNavigation(true);
}

void Widget::dispatchFocusEvent(Widget* lose, Widget* get) {
    if (!lose || !lose->isFocused()) lose = focusedWidget;
    if (get == lose) return;
    if (get && get->onFocusChanged) get->onFocusChanged(lose, get);
    if (lose && lose->onFocusChanged) lose->onFocusChanged(lose, get);
    EventFocus event(lose, get);
    if (EventDispatcher* dispatcher = Director::getInstance()->getEventDispatcher()) dispatcher->dispatchEvent(&event);
}

Widget* Widget::findNextFocusedWidget(FocusDirection direction, Widget* current) {
    if (onNextFocusedWidget) {
        if (Widget* chosen = onNextFocusedWidget(direction)) {
            dispatchFocusEvent(this, chosen);
            return chosen;
        }
    }
    auto* currentLayout = dynamic_cast<Layout*>(current);
    if (!isFocused() && !currentLayout) return current;
    if (auto* layoutParent = dynamic_cast<Layout*>(parent))
        return layoutParent->findNextFocusedWidget(direction, current);
    // At the top of the layouts: a layout other than this one may still search its own children.
    if (currentLayout && currentLayout != this) return currentLayout->findNextFocusedWidget(direction, current);
    return current;
}

// ---- Cloning ----

Widget* Widget::clone() {
    Widget* copy = createCloneInstance();
    if (!copy) return nullptr;
    copy->copyProperties(this);
    copy->copyClonedWidgetChildren(this);
    return copy;
}

Widget* Widget::createCloneInstance() { return Widget::create(); }

void Widget::copyClonedWidgetChildren(Widget* model) {
    for (Node* child : model->getChildren()) {
        auto* widget = dynamic_cast<Widget*>(child);
        if (!widget) continue;
        if (Widget* copy = widget->clone()) addChild(copy);
    }
}

void Widget::copyProperties(Widget* model) {
    setEnabled(model->isEnabled());
    setVisible(model->isVisible());
    setBright(model->isBright());
    setTouchEnabled(model->isTouchEnabled());
    setLocalZOrder(model->getLocalZOrder());
    setTag(model->getTag());
    setName(model->getName());
    setActionTag(model->getActionTag());
    ignoreSize = model->ignoreSize;
    setContentSize(model->contentSize);
    customSize = model->customSize;
    sizeType = model->sizeType;
    sizePercent = model->sizePercent;
    positionType = model->positionType;
    positionPercent = model->positionPercent;
    setPosition(model->getPosition());
    setAnchorPoint(model->getAnchorPoint());
    setScaleX(model->getScaleX());
    setScaleY(model->getScaleY());
    setRotation(model->getRotation());
    setRotationSkewX(model->getRotationSkewX());
    setRotationSkewY(model->getRotationSkewY());
    setFlippedX(model->isFlippedX());
    setFlippedY(model->isFlippedY());
    setColor(model->getColor());
    setOpacity(model->getOpacity());
    touchEventCallback = model->touchEventCallback;
    touchEventListener = model->touchEventListener;
    touchEventSelector = model->touchEventSelector;
    clickCallback = model->clickCallback;
    focused = model->focused;
    focusEnabled = model->focusEnabled;
    propagateTouchEvents = model->propagateTouchEvents;
    copySpecialProperties(model);
    for (const auto& entry : model->layoutParameters) setLayoutParameter(entry.second->clone());
}

}  // namespace ui
}  // namespace kite
