// The layout managers.
#include "kite/widgets/LayoutManager.h"

#include "kite/foundation/Create.h"
#include "kite/widgets/Layout.h"
#include "kite/widgets/LayoutParameter.h"
#include "kite/widgets/Widget.h"

namespace kite {
namespace ui {

namespace {
LinearLayoutParameter* linearParameterOf(Node* child) {
    auto* widget = dynamic_cast<Widget*>(child);
    return widget ? dynamic_cast<LinearLayoutParameter*>(widget->getLayoutParameter()) : nullptr;
}
}  // namespace

LinearVerticalLayoutManager* LinearVerticalLayoutManager::create() {
    return createAutoreleased<LinearVerticalLayoutManager>();
}

void LinearVerticalLayoutManager::doLayout(LayoutProtocol* layout) {
    const Size layoutSize = layout->getLayoutContentSize();
    float topBoundary = layoutSize.height;
    for (Node* child : layout->getLayoutElements()) {
        LinearLayoutParameter* parameter = linearParameterOf(child);
        if (!parameter) continue;
        const Vec2 ap = child->getAnchorPoint();
        const Size cs = child->getContentSize();
        float x = ap.x * cs.width;
        switch (parameter->getGravity()) {
            case LinearLayoutParameter::LinearGravity::RIGHT: x = layoutSize.width - (1.0f - ap.x) * cs.width; break;
            case LinearLayoutParameter::LinearGravity::CENTER_HORIZONTAL:
                x = layoutSize.width / 2.0f - cs.width * (0.5f - ap.x);
                break;
            default: break;
        }
        float y = topBoundary - (1.0f - ap.y) * cs.height;
        const Margin& margin = parameter->getMargin();
        x += margin.left;
        y -= margin.top;
        child->setPosition(Vec2(x, y));
        topBoundary = (y - ap.y * cs.height) - margin.bottom;
    }
}

LinearHorizontalLayoutManager* LinearHorizontalLayoutManager::create() {
    return createAutoreleased<LinearHorizontalLayoutManager>();
}

void LinearHorizontalLayoutManager::doLayout(LayoutProtocol* layout) {
    const Size layoutSize = layout->getLayoutContentSize();
    float leftBoundary = 0.0f;
    for (Node* child : layout->getLayoutElements()) {
        LinearLayoutParameter* parameter = linearParameterOf(child);
        if (!parameter) continue;
        auto* widget = static_cast<Widget*>(child);
        const Vec2 ap = child->getAnchorPoint();
        const Size cs = child->getContentSize();
        float x = leftBoundary + ap.x * cs.width;
        float y = layoutSize.height - (1.0f - ap.y) * cs.height;
        switch (parameter->getGravity()) {
            case LinearLayoutParameter::LinearGravity::BOTTOM: y = ap.y * cs.height; break;
            case LinearLayoutParameter::LinearGravity::CENTER_VERTICAL:
                y = layoutSize.height / 2.0f - cs.height * (0.5f - ap.y);
                break;
            default: break;
        }
        const Margin& margin = parameter->getMargin();
        x += margin.left;
        y -= margin.top;
        child->setPosition(Vec2(x, y));
        leftBoundary = widget->getRightBoundary() + margin.right;
    }
}

RelativeLayoutManager* RelativeLayoutManager::create() { return createAutoreleased<RelativeLayoutManager>(); }

void RelativeLayoutManager::collectWidgets(LayoutProtocol* layout) {
    widgetChildren.clear();
    for (Node* child : layout->getLayoutElements()) {
        auto* widget = dynamic_cast<Widget*>(child);
        if (!widget) continue;
        if (auto* parameter = dynamic_cast<RelativeLayoutParameter*>(widget->getLayoutParameter())) {
            parameter->put = false;
            widgetChildren.pushBack(widget);
        }
    }
    unlayoutChildCount = static_cast<int>(widgetChildren.size());
}

void RelativeLayoutManager::doLayout(LayoutProtocol* layout) {
    collectWidgets(layout);
    // One pass per widget is enough for any chain; what still waits after them is part of a cycle
    // or refers to a sibling that never gets placed, and stays where it is.
    const std::size_t passes = widgetChildren.size();
    for (std::size_t pass = 0; pass < passes && unlayoutChildCount > 0; ++pass) {
        for (Widget* widget : widgetChildren) {
            auto* parameter = static_cast<RelativeLayoutParameter*>(widget->getLayoutParameter());
            if (parameter->put) continue;
            float x = 0.0f;
            float y = 0.0f;
            if (!calculateFinalPosition(layout, widget, x, y)) continue;
            applyMargins(widget, x, y);
            widget->setPosition(Vec2(x, y));
            parameter->put = true;
            --unlayoutChildCount;
        }
    }
    widgetChildren.clear();
    relativeWidgetLP = nullptr;
}

Widget* RelativeLayoutManager::getRelativeWidget(Widget* widget) {
    relativeWidgetLP = nullptr;
    auto* parameter = static_cast<RelativeLayoutParameter*>(widget->getLayoutParameter());
    const std::string& wanted = parameter->getRelativeToWidgetName();
    if (wanted.empty()) return nullptr;
    for (Widget* sibling : widgetChildren) {
        auto* siblingParameter = static_cast<RelativeLayoutParameter*>(sibling->getLayoutParameter());
        if (siblingParameter->getRelativeName() == wanted) {
            relativeWidgetLP = siblingParameter;
            return sibling;
        }
    }
    return nullptr;
}

}  // namespace ui
}  // namespace kite
