// The layout managers: linear vertical, linear horizontal and relative placement of a layout's child widgets.
#pragma once
#include "kite/foundation/Ref.h"
#include "kite/foundation/Vector.h"
#include "kite/widgets/Widget.h"

namespace kite {
namespace ui {

class LayoutProtocol;
class RelativeLayoutParameter;

class LayoutManager : public Ref {
public:
    ~LayoutManager() override = default;
    bool init() { return true; }
    virtual void doLayout(LayoutProtocol* layout) = 0;
};

// Children from the top down, each hanging below the previous one's bottom margin.
class LinearVerticalLayoutManager : public LayoutManager {
public:
    static LinearVerticalLayoutManager* create();
    void doLayout(LayoutProtocol* layout) override;
};

// Children from the left, each after the previous one's right margin.
class LinearHorizontalLayoutManager : public LayoutManager {
public:
    static LinearHorizontalLayoutManager* create();
    void doLayout(LayoutProtocol* layout) override;
};

// Children placed against the parent's edges or against named siblings; a widget whose sibling is not
// placed yet waits for a later pass.
class RelativeLayoutManager : public LayoutManager {
public:
    static RelativeLayoutManager* create();
    void doLayout(LayoutProtocol* layout) override;

private:
    void collectWidgets(LayoutProtocol* layout);
    // False when the widget must wait for its sibling.
    bool calculateFinalPosition(LayoutProtocol* layout, Widget* widget, float& x, float& y);
    void applyMargins(Widget* widget, float& x, float& y) const;
    Widget* getRelativeWidget(Widget* widget);

    int unlayoutChildCount = 0;
    Vector<Widget*> widgetChildren;
    RelativeLayoutParameter* relativeWidgetLP = nullptr;
};

}  // namespace ui
}  // namespace kite
