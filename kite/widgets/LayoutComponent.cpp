// The layout component: percentages, edges and margins turned into the owner's size and position.
#include "kite/widgets/LayoutComponent.h"

#include <algorithm>

#include "kite/foundation/Create.h"
#include "kite/scene/Node.h"

namespace kite {
namespace ui {

namespace {
bool layoutRefreshEnabled = true;
}  // namespace

LayoutComponent* LayoutComponent::create() { return createAutoreleased<LayoutComponent>(); }

void LayoutComponent::setLayoutRefreshEnabled(bool enabled) { layoutRefreshEnabled = enabled; }

void LayoutComponent::refreshChildren(Node* node) {
    if (!layoutRefreshEnabled || !node) return;
    for (Node* child : node->getChildren()) {
        if (!child->getParent()) continue;
        if (auto* component = dynamic_cast<LayoutComponent*>(child->getComponent(NAME))) component->refreshLayout();
    }
}

void LayoutComponent::setPercentContentSize(const Vec2& percent) {
    setPercentWidth(percent.x);
    setPercentHeight(percent.y);
}

void LayoutComponent::setPercentWidth(float percent) {
    percentWidth = percent;
    if (!owner || !owner->getParent()) return;
    Size size = owner->getContentSize();
    size.width = owner->getParent()->getContentSize().width * percent;
    owner->setContentSize(size);
    refreshHorizontalMargin();
}

void LayoutComponent::setPercentHeight(float percent) {
    percentHeight = percent;
    if (!owner || !owner->getParent()) return;
    Size size = owner->getContentSize();
    size.height = owner->getParent()->getContentSize().height * percent;
    owner->setContentSize(size);
    refreshVerticalMargin();
}

void LayoutComponent::refreshHorizontalMargin() {
    if (!owner || !owner->getParent()) return;
    float x = owner->getPosition().x;
    float anchor = owner->getAnchorPoint().x;
    float width = owner->getContentSize().width;
    leftMargin = x - anchor * width;
    rightMargin = owner->getParent()->getContentSize().width - (x + (1.0f - anchor) * width);
}

void LayoutComponent::refreshVerticalMargin() {
    if (!owner || !owner->getParent()) return;
    float y = owner->getPosition().y;
    float anchor = owner->getAnchorPoint().y;
    float height = owner->getContentSize().height;
    bottomMargin = y - anchor * height;
    topMargin = owner->getParent()->getContentSize().height - (y + (1.0f - anchor) * height);
}

// Horizontal and vertical follow one rule: the left (bottom) margin leads, the right (top) one trails.
void LayoutComponent::placeAlong(float parentLength, float anchor, float& length, float& at, bool horizontal) const {
    const int edge = horizontal ? static_cast<int>(horizontalEdge) : static_cast<int>(verticalEdge);
    const float leading = horizontal ? leftMargin : bottomMargin;
    const float trailing = horizontal ? rightMargin : topMargin;
    const bool stretch = horizontal ? usingStretchWidth : usingStretchHeight;
    const bool usePercent = horizontal ? usingPercentWidth : usingPercentHeight;
    const float percent = horizontal ? percentWidth : percentHeight;
    const bool usePositionPercent = horizontal ? usingPositionPercentX : usingPositionPercentY;
    const float positionPercent = horizontal ? positionPercentX : positionPercentY;
    constexpr int NONE = 0, LEADING = 1, TRAILING = 2;
    if (edge == NONE) {
        if (stretch && !percentOnly) {
            length = parentLength * percent;
            at = leading + anchor * length;
            return;
        }
        if (usePositionPercent) at = parentLength * positionPercent;
        if (usePercent) length = parentLength * percent;
        return;
    }
    if (percentOnly) return;
    if (edge == LEADING || edge == TRAILING) {
        if (usePercent || stretch) length = parentLength * percent;
        at = edge == LEADING ? leading + anchor * length : parentLength - (trailing + (1.0f - anchor) * length);
        return;
    }
    if (stretch) {
        length = std::max(parentLength - leading - trailing, 0.0f);
        at = leading + anchor * length;
        return;
    }
    if (usePercent) length = parentLength * percent;
    at = parentLength * positionPercent;
}

void LayoutComponent::refreshLayout() {
    if (!active || !owner || !owner->getParent()) return;
    const Size parentSize = owner->getParent()->getContentSize();
    const Vec2 anchor = owner->getAnchorPoint();
    Size size = owner->getContentSize();
    Vec2 position = owner->getPosition();
    placeAlong(parentSize.width, anchor.x, size.width, position.x, true);
    placeAlong(parentSize.height, anchor.y, size.height, position.y, false);
    owner->setPosition(position);
    owner->setContentSize(size);
    refreshChildren(owner);
}

}  // namespace ui
}  // namespace kite
