// Focus moving from one widget to another.
#pragma once
#include "kite/scene/Event.h"

namespace kite {

namespace ui {
class Widget;
}

class EventFocus : public Event {
public:
    EventFocus(ui::Widget* widgetLoseFocus, ui::Widget* widgetGetFocus)
        : Event(Type::FOCUS), widgetGetFocus_(widgetGetFocus), widgetLoseFocus_(widgetLoseFocus) {}

    ui::Widget* getWidgetGetFocus() const { return widgetGetFocus_; }
    ui::Widget* getWidgetLoseFocus() const { return widgetLoseFocus_; }

private:
    ui::Widget* widgetGetFocus_;
    ui::Widget* widgetLoseFocus_;
};

}  // namespace kite
