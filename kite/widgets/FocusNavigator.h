// The process-wide focus navigator: the arrow keys move the focus from the widget it holds.
#pragma once
#include "kite/foundation/Ref.h"
#include "kite/scene/EventKeyboard.h"

namespace kite {

class EventDispatcher;
class EventListenerKeyboard;

namespace ui {

class Widget;

// Owned by the widget base (Widget::enableDpadNavigation), which deletes it when the focused widget goes.
class FocusNavigator {
public:
    FocusNavigator() = default;
    // Takes its keyboard listener off the event dispatcher it was registered with.
    ~FocusNavigator();
    FocusNavigator(const FocusNavigator&) = delete;
    FocusNavigator& operator=(const FocusNavigator&) = delete;

    // Registers the keyboard listener with the director's event dispatcher, or takes it off.
    void enableFocusNavigation(bool enable);
    bool isFocusNavigationEnabled() const { return keyboardListener_ != nullptr; }

    // The widget the next arrow key starts from; the focus changes record each widget that gains it.
    void setFirstFocusedWidget(Widget* widget) { firstFocusedWidget_ = widget; }
    Widget* getFirstFocusedWidget() const { return firstFocusedWidget_; }

private:
    void onKeyPressed(EventKeyboard::KeyCode key);

    EventListenerKeyboard* keyboardListener_ = nullptr;  // retained while registered
    RefPtr<EventDispatcher> dispatcher_;                 // where the listener is registered
    Widget* firstFocusedWidget_ = nullptr;               // not retained: the navigator goes with it
};

}  // namespace ui
}  // namespace kite
