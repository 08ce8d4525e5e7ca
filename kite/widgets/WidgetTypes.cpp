// The widget types the object factory creates by name, registered when the program starts.
#include "kite/foundation/ObjectFactory.h"
#include "kite/widgets/Layout.h"
#include "kite/widgets/Widget.h"

namespace kite {
namespace ui {
namespace {
Ref* createWidget() { return Widget::create(); }
Ref* createLayout() { return Layout::create(); }

const ObjectFactory::TypeInfo widgetType("Widget", &createWidget);
const ObjectFactory::TypeInfo layoutType("Layout", &createLayout);
}  // namespace
}  // namespace ui
}  // namespace kite

// Every program that links the widgets is made to keep this file (see the build), so the
// registrations above run even where no code names the classes.
extern "C" const int kite_widget_types = 1;
