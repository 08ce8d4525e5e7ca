// Placement of a node by edges, margins and percentages of its parent, kept as a component of the node.
#pragma once
#include "kite/foundation/math/MathTypes.h"
#include "kite/scene/Component.h"

namespace kite {

class Node;

namespace ui {

class LayoutComponent : public Component {
public:
    static constexpr const char* NAME = "__ui_layout";

    enum class HorizontalEdge { None = 0, Left = 1, Right = 2, Center = 3 };
    enum class VerticalEdge { None = 0, Bottom = 1, Top = 2, Center = 3 };

    static LayoutComponent* create();
    // Refreshes every child of the node that carries a layout component (while refreshing is on).
    static void refreshChildren(Node* node);
    static void setLayoutRefreshEnabled(bool enabled);

    LayoutComponent() { name = NAME; }
    bool init() override { return Component::init(); }

    void setHorizontalEdge(HorizontalEdge edge) { horizontalEdge = edge; }
    HorizontalEdge getHorizontalEdge() const { return horizontalEdge; }
    void setVerticalEdge(VerticalEdge edge) { verticalEdge = edge; }
    VerticalEdge getVerticalEdge() const { return verticalEdge; }
    void setLeftMargin(float m) { leftMargin = m; }
    float getLeftMargin() const { return leftMargin; }
    void setRightMargin(float m) { rightMargin = m; }
    float getRightMargin() const { return rightMargin; }
    void setBottomMargin(float m) { bottomMargin = m; }
    float getBottomMargin() const { return bottomMargin; }
    void setTopMargin(float m) { topMargin = m; }
    float getTopMargin() const { return topMargin; }
    void setPositionPercentX(float p) { positionPercentX = p; }
    void setPositionPercentXEnabled(bool on) { usingPositionPercentX = on; }
    void setPositionPercentY(float p) { positionPercentY = p; }
    void setPositionPercentYEnabled(bool on) { usingPositionPercentY = on; }
    void setStretchWidthEnabled(bool on) { usingStretchWidth = on; }
    void setStretchHeightEnabled(bool on) { usingStretchHeight = on; }
    void setPercentWidthEnabled(bool on) { usingPercentWidth = on; }
    void setPercentHeightEnabled(bool on) { usingPercentHeight = on; }
    void setActiveEnabled(bool on) { active = on; }
    void setPercentOnlyEnabled(bool on) { percentOnly = on; }

    void setUsingPercentContentSize(bool on) { usingPercentWidth = usingPercentHeight = on; }
    void setPercentContentSize(const Vec2& percent);
    // Give the owner that share of its parent's width (height) and measure its margins again.
    void setPercentWidth(float percent);
    void setPercentHeight(float percent);
    float getPercentWidth() const { return percentWidth; }
    float getPercentHeight() const { return percentHeight; }

    // Places and sizes the owner from the rules above, then its children.
    void refreshLayout();

private:
    void refreshHorizontalMargin();
    void refreshVerticalMargin();
    // One axis of the refresh: the owner's position and size along it.
    void placeAlong(float parentLength, float anchor, float& length, float& at, bool horizontal) const;

    HorizontalEdge horizontalEdge = HorizontalEdge::None;
    VerticalEdge verticalEdge = VerticalEdge::None;
    float leftMargin = 0.0f;
    float rightMargin = 0.0f;
    float bottomMargin = 0.0f;
    float topMargin = 0.0f;
    bool usingPositionPercentX = false;
    float positionPercentX = 0.0f;
    bool usingPositionPercentY = false;
    float positionPercentY = 0.0f;
    bool usingStretchWidth = false;
    bool usingStretchHeight = false;
    float percentWidth = 0.0f;
    bool usingPercentWidth = false;
    float percentHeight = 0.0f;
    bool usingPercentHeight = false;
    bool active = true;
    bool percentOnly = false;
};

}  // namespace ui
}  // namespace kite
