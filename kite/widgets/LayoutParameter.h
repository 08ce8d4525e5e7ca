// What a child widget tells its layout: margins, plus gravity (linear) or alignment and names (relative).
#pragma once
#include <string>

#include "kite/foundation/Ref.h"

namespace kite {
namespace ui {

struct Margin {
    Margin() = default;
    Margin(float l, float t, float r, float b) : left(l), top(t), right(r), bottom(b) {}
    bool equals(const Margin& other) const {
        return left == other.left && top == other.top && right == other.right && bottom == other.bottom;
    }
    float left = 0.0f;
    float top = 0.0f;
    float right = 0.0f;
    float bottom = 0.0f;
};

class LayoutParameter : public Ref {
public:
    enum class Type { NONE = 0, LINEAR = 1, RELATIVE = 2 };

    // A parameter of type NONE: margins only.
    static LayoutParameter* create();

    LayoutParameter() = default;
    ~LayoutParameter() override = default;
    bool init() { return true; }

    void setMargin(const Margin& m) { margin = m; }
    const Margin& getMargin() const { return margin; }
    Type getLayoutType() const { return layoutParameterType; }

    // A new parameter of the same kind with this one's properties; autoreleased.
    LayoutParameter* clone();
    virtual LayoutParameter* createCloneInstance();
    virtual void copyProperties(LayoutParameter* model);

protected:
    Margin margin;
    Type layoutParameterType = Type::NONE;
};

class LinearLayoutParameter : public LayoutParameter {
public:
    enum class LinearGravity {
        NONE = 0,
        LEFT = 1,
        TOP = 2,
        RIGHT = 3,
        BOTTOM = 4,
        CENTER_VERTICAL = 5,
        CENTER_HORIZONTAL = 6
    };

    static LinearLayoutParameter* create();

    LinearLayoutParameter() { layoutParameterType = Type::LINEAR; }

    void setGravity(LinearGravity g) { gravity = g; }
    LinearGravity getGravity() const { return gravity; }

    LayoutParameter* createCloneInstance() override;
    void copyProperties(LayoutParameter* model) override;

private:
    LinearGravity gravity = LinearGravity::NONE;
};

class RelativeLayoutParameter : public LayoutParameter {
public:
    enum class RelativeAlign {
        NONE = 0,
        PARENT_TOP_LEFT,
        PARENT_TOP_CENTER_HORIZONTAL,
        PARENT_TOP_RIGHT,
        PARENT_LEFT_CENTER_VERTICAL,
        CENTER_IN_PARENT,
        PARENT_RIGHT_CENTER_VERTICAL,
        PARENT_LEFT_BOTTOM,
        PARENT_BOTTOM_CENTER_HORIZONTAL,
        PARENT_RIGHT_BOTTOM,
        LOCATION_ABOVE_LEFTALIGN,
        LOCATION_ABOVE_CENTER,
        LOCATION_ABOVE_RIGHTALIGN,
        LOCATION_LEFT_OF_TOPALIGN,
        LOCATION_LEFT_OF_CENTER,
        LOCATION_LEFT_OF_BOTTOMALIGN,
        LOCATION_RIGHT_OF_TOPALIGN,
        LOCATION_RIGHT_OF_CENTER,
        LOCATION_RIGHT_OF_BOTTOMALIGN,
        LOCATION_BELOW_LEFTALIGN,
        LOCATION_BELOW_CENTER,
        LOCATION_BELOW_RIGHTALIGN
    };

    static RelativeLayoutParameter* create();

    RelativeLayoutParameter() { layoutParameterType = Type::RELATIVE; }

    void setAlign(RelativeAlign a) { align = a; }
    RelativeAlign getAlign() const { return align; }
    // The sibling this widget is placed against, by that sibling's relative name.
    void setRelativeToWidgetName(const std::string& n) { relativeToWidgetName = n; }
    const std::string& getRelativeToWidgetName() const { return relativeToWidgetName; }
    void setRelativeName(const std::string& n) { relativeName = n; }
    const std::string& getRelativeName() const { return relativeName; }

    LayoutParameter* createCloneInstance() override;
    void copyProperties(LayoutParameter* model) override;

private:
    friend class RelativeLayoutManager;

    RelativeAlign align = RelativeAlign::NONE;
    std::string relativeToWidgetName;
    std::string relativeName;
    // Placed already in the current layout pass.
    bool put = false;
};

// What a widget answers to a layout manager asking for its parameter.
class LayoutParameterProtocol {
public:
    virtual ~LayoutParameterProtocol() = default;
    virtual LayoutParameter* getLayoutParameter() const = 0;
};

}  // namespace ui
}  // namespace kite
