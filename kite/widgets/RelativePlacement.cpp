// The relative layout manager's placement rules: against the parent's edges or a named sibling.
#include "kite/widgets/LayoutManager.h"

#include "kite/widgets/Layout.h"
#include "kite/widgets/LayoutParameter.h"
#include "kite/widgets/Widget.h"

namespace kite {
namespace ui {

namespace {

using Align = RelativeLayoutParameter::RelativeAlign;

// Where a widget of size cs and anchor ap sits along one axis of a parent of the given length.
float atStart(float ap, float cs) { return ap * cs; }
float atCentre(float length, float ap, float cs) { return length / 2.0f - cs * (0.5f - ap); }
float atEnd(float length, float ap, float cs) { return length - (1.0f - ap) * cs; }

bool alignsToSibling(Align align) { return align >= Align::LOCATION_ABOVE_LEFTALIGN; }

void placeInParent(Align align, const Size& parent, const Vec2& ap, const Size& cs, float& x, float& y) {
    switch (align) {
        case Align::NONE:
        case Align::PARENT_TOP_LEFT:
        case Align::PARENT_LEFT_CENTER_VERTICAL:
        case Align::PARENT_LEFT_BOTTOM: x = atStart(ap.x, cs.width); break;
        case Align::PARENT_TOP_CENTER_HORIZONTAL:
        case Align::CENTER_IN_PARENT:
        case Align::PARENT_BOTTOM_CENTER_HORIZONTAL: x = atCentre(parent.width, ap.x, cs.width); break;
        default: x = atEnd(parent.width, ap.x, cs.width); break;
    }
    switch (align) {
        case Align::NONE:
        case Align::PARENT_TOP_LEFT:
        case Align::PARENT_TOP_CENTER_HORIZONTAL:
        case Align::PARENT_TOP_RIGHT: y = atEnd(parent.height, ap.y, cs.height); break;
        case Align::PARENT_LEFT_CENTER_VERTICAL:
        case Align::CENTER_IN_PARENT:
        case Align::PARENT_RIGHT_CENTER_VERTICAL: y = atCentre(parent.height, ap.y, cs.height); break;
        default: y = atStart(ap.y, cs.height); break;
    }
}

void placeBySibling(Align align, const Widget& r, const Vec2& ap, const Size& cs, float& x, float& y) {
    const Size rs = r.getContentSize();
    const float besideAbove = r.getTopBoundary() + ap.y * cs.height;
    const float besideBelow = r.getBottomBoundary() - (1.0f - ap.y) * cs.height;
    const float leftAligned = r.getLeftBoundary() + ap.x * cs.width;
    const float centredX = r.getLeftBoundary() + rs.width / 2.0f + ap.x * cs.width - cs.width / 2.0f;
    const float rightAligned = r.getRightBoundary() - (1.0f - ap.x) * cs.width;
    const float topAligned = r.getTopBoundary() - (1.0f - ap.y) * cs.height;
    const float centredY = r.getBottomBoundary() + rs.height / 2.0f + ap.y * cs.height - cs.height / 2.0f;
    const float bottomAligned = r.getBottomBoundary() + ap.y * cs.height;
    const float toTheLeft = r.getLeftBoundary() - (1.0f - ap.x) * cs.width;
    const float toTheRight = r.getRightBoundary() + ap.x * cs.width;
    switch (align) {
        case Align::LOCATION_ABOVE_LEFTALIGN: x = leftAligned, y = besideAbove; break;
        case Align::LOCATION_ABOVE_CENTER: x = centredX, y = besideAbove; break;
        case Align::LOCATION_ABOVE_RIGHTALIGN: x = rightAligned, y = besideAbove; break;
        case Align::LOCATION_LEFT_OF_TOPALIGN: x = toTheLeft, y = topAligned; break;
        case Align::LOCATION_LEFT_OF_CENTER: x = toTheLeft, y = centredY; break;
        case Align::LOCATION_LEFT_OF_BOTTOMALIGN: x = toTheLeft, y = bottomAligned; break;
        case Align::LOCATION_RIGHT_OF_TOPALIGN: x = toTheRight, y = topAligned; break;
        case Align::LOCATION_RIGHT_OF_CENTER: x = toTheRight, y = centredY; break;
        case Align::LOCATION_RIGHT_OF_BOTTOMALIGN: x = toTheRight, y = bottomAligned; break;
        case Align::LOCATION_BELOW_LEFTALIGN: x = leftAligned, y = besideBelow; break;
        case Align::LOCATION_BELOW_CENTER: x = centredX, y = besideBelow; break;
        case Align::LOCATION_BELOW_RIGHTALIGN: x = rightAligned, y = besideBelow; break;
        default: break;
    }
}

}  // namespace

bool RelativeLayoutManager::calculateFinalPosition(LayoutProtocol* layout, Widget* widget, float& x, float& y) {
    auto* parameter = static_cast<RelativeLayoutParameter*>(widget->getLayoutParameter());
    const Align align = parameter->getAlign();
    const Vec2 ap = widget->getAnchorPoint();
    const Size cs = widget->getContentSize();
    x = 0.0f;
    y = 0.0f;
    if (!alignsToSibling(align)) {
        placeInParent(align, layout->getLayoutContentSize(), ap, cs, x, y);
        return true;
    }
    Widget* sibling = getRelativeWidget(widget);
    // No sibling carries the name: the widget goes to the margins from the origin.
    if (!sibling) return true;
    if (!relativeWidgetLP->put) return false;
    placeBySibling(align, *sibling, ap, cs, x, y);
    return true;
}

void RelativeLayoutManager::applyMargins(Widget* widget, float& x, float& y) const {
    auto* parameter = static_cast<RelativeLayoutParameter*>(widget->getLayoutParameter());
    const Margin& m = parameter->getMargin();
    switch (parameter->getAlign()) {
        case Align::NONE:
        case Align::PARENT_TOP_LEFT: x += m.left, y -= m.top; break;
        case Align::PARENT_TOP_CENTER_HORIZONTAL: y -= m.top; break;
        case Align::PARENT_TOP_RIGHT: x -= m.right, y -= m.top; break;
        case Align::PARENT_LEFT_CENTER_VERTICAL: x += m.left; break;
        case Align::CENTER_IN_PARENT: break;
        case Align::PARENT_RIGHT_CENTER_VERTICAL: x -= m.right; break;
        case Align::PARENT_LEFT_BOTTOM: x += m.left, y += m.bottom; break;
        case Align::PARENT_BOTTOM_CENTER_HORIZONTAL: y += m.bottom; break;
        case Align::PARENT_RIGHT_BOTTOM: x -= m.right, y += m.bottom; break;
        case Align::LOCATION_ABOVE_LEFTALIGN: y += m.bottom, x += m.left; break;
        case Align::LOCATION_ABOVE_CENTER: y += m.bottom; break;
        case Align::LOCATION_ABOVE_RIGHTALIGN: y += m.bottom, x -= m.right; break;
        case Align::LOCATION_LEFT_OF_TOPALIGN: x -= m.right, y -= m.top; break;
        case Align::LOCATION_LEFT_OF_CENTER: x -= m.right; break;
        case Align::LOCATION_LEFT_OF_BOTTOMALIGN: x -= m.right, y += m.bottom; break;
        case Align::LOCATION_RIGHT_OF_TOPALIGN: x += m.left, y -= m.top; break;
        case Align::LOCATION_RIGHT_OF_CENTER: x += m.left; break;
        case Align::LOCATION_RIGHT_OF_BOTTOMALIGN: x += m.left, y += m.bottom; break;
        case Align::LOCATION_BELOW_LEFTALIGN: y -= m.top, x += m.left; break;
        case Align::LOCATION_BELOW_CENTER: y -= m.top; break;
        case Align::LOCATION_BELOW_RIGHTALIGN: y -= m.top, x -= m.right; break;
    }
}

}  // namespace ui
}  // namespace kite
