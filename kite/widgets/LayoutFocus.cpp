// Focus navigation through layouts: next and previous children, entering nested layouts, wrapping, climbing up.
#include <cmath>
#include <limits>

#include "kite/foundation/Log.h"
#include "kite/widgets/Layout.h"

namespace kite {
namespace ui {

namespace {
// A search that climbs and descends more than this is going round in circles; it stops where it is.
constexpr int MAX_SEARCH_DEPTH = 256;
int searchDepth = 0;

struct SearchDepthGuard {
    SearchDepthGuard() { ++searchDepth; }
    ~SearchDepthGuard() { --searchDepth; }
    bool tooDeep() const { return searchDepth > MAX_SEARCH_DEPTH; }
};

using Direction = Widget::FocusDirection;

bool isHorizontal(Direction d) { return d == Direction::LEFT || d == Direction::RIGHT; }
}  // namespace

// ---- Who can take the focus ----

bool Layout::canTakeFocus(Widget* widget) {
    if (!widget || !widget->isFocusEnabled()) return false;
    auto* layout = dynamic_cast<Layout*>(widget);
    return !layout || layout->hasFocusableChild();
}

bool Layout::hasFocusableChild() const {
    for (Node* child : children)
        if (canTakeFocus(dynamic_cast<Widget*>(child))) return true;
    return false;
}

int Layout::childIndexOf(Widget* widget) const { return static_cast<int>(children.getIndex(widget)); }

Widget* Layout::widgetAtOrAfter(int index) const {
    const int count = static_cast<int>(children.size());
    for (int step = 0; step < count; ++step) {
        auto* widget = dynamic_cast<Widget*>(children.at(static_cast<std::size_t>((index + step) % count)));
        if (canTakeFocus(widget)) return widget;
    }
    return nullptr;
}

bool Layout::isLastWidgetInContainer(Widget* widget, Direction direction) {
    for (Widget* at = widget;;) {
        auto* container = dynamic_cast<Layout*>(at->getParent());
        if (!container) return true;
        const int index = container->childIndexOf(at);
        const int last = static_cast<int>(container->children.size()) - 1;
        const Type type = container->getLayoutType();
        if (type == Type::HORIZONTAL) {
            if (direction == Direction::LEFT && index != 0) return false;
            if (direction == Direction::RIGHT && index != last) return false;
        } else if (type == Type::VERTICAL) {
            if (direction == Direction::UP && index != 0) return false;
            if (direction == Direction::DOWN && index != last) return false;
        } else {
            return false;
        }
        at = container;
    }
}

bool Layout::isWidgetAncestorSupportLoopFocus(Widget* widget, Direction direction) {
    for (auto* layout = dynamic_cast<Layout*>(widget->getParent()); layout;
         layout = dynamic_cast<Layout*>(layout->getParent())) {
        if (!layout->isLoopFocus()) continue;
        const Type type = layout->getLayoutType();
        if (type == Type::HORIZONTAL && isHorizontal(direction)) return true;
        if (type == Type::VERTICAL && !isHorizontal(direction)) return true;
        if (type != Type::HORIZONTAL && type != Type::VERTICAL) return false;
    }
    return false;
}

// ---- The search ----

Widget* Layout::findNextFocusedWidget(FocusDirection direction, Widget* current) {
    SearchDepthGuard guard;
    if (guard.tooDeep()) {
        log("Layout: focus search stopped after %d steps", MAX_SEARCH_DEPTH);
        return current;
    }
    auto* parentLayout = dynamic_cast<Layout*>(parent);
    if (isFocusPassing || isFocused()) {
        isFocusPassing = false;
        if (!passFocusToChild) {
            if (!parentLayout) return this;
            parentLayout->isFocusPassing = true;
            return parentLayout->findNextFocusedWidget(direction, this);
        }
        Widget* chosen = passFocusToChildWidget(direction, current);
        if (dynamic_cast<Layout*>(chosen) && parentLayout) {
            parentLayout->isFocusPassing = true;
            return parentLayout->findNextFocusedWidget(direction, this);
        }
        return chosen;
    }
    if (!current || !(current->isFocused() || dynamic_cast<Layout*>(current))) return current;
    const bool along = (layoutType == Type::HORIZONTAL && isHorizontal(direction)) ||
                       (layoutType == Type::VERTICAL && !isHorizontal(direction));
    const bool across = (layoutType == Type::HORIZONTAL || layoutType == Type::VERTICAL) && !along;
    if (along) {
        const bool backwards = direction == Direction::LEFT || direction == Direction::UP;
        return nextFocusedWidget(direction, current, backwards ? -1 : 1);
    }
    if (across) {
        if (isLastWidgetInContainer(this, direction) && !isWidgetAncestorSupportLoopFocus(this, direction))
            return current;
        return Widget::findNextFocusedWidget(direction, this);
    }
    return current;
}

Widget* Layout::nextFocusedWidget(FocusDirection direction, Widget* current, int step) {
    const int count = static_cast<int>(children.size());
    int index = childIndexOf(current);
    if (index < 0) return current;
    for (int tries = 0; tries < count; ++tries) {
        index += step;
        if (index < 0 || index >= count) {
            if (!loopFocus || !hasFocusableChild()) {
                if (isLastWidgetInContainer(current, direction) &&
                    !isWidgetAncestorSupportLoopFocus(current, direction))
                    return dynamic_cast<Layout*>(current) ? current : getCurrentFocusedWidget();
                return Widget::findNextFocusedWidget(direction, this);
            }
            index = step > 0 ? 0 : count - 1;
        }
        auto* candidate = dynamic_cast<Widget*>(children.at(static_cast<std::size_t>(index)));
        if (canTakeFocus(candidate)) return takeFocusAt(index, direction, current);
    }
    return current;
}

// A layout is entered with its own search; a plain widget takes the focus.
Widget* Layout::takeFocusAt(int index, FocusDirection direction, Widget* current) {
    Widget* chosen = widgetAtOrAfter(index);
    if (!chosen) return this;
    if (auto* layout = dynamic_cast<Layout*>(chosen)) {
        layout->isFocusPassing = true;
        return layout->findNextFocusedWidget(direction, current);
    }
    dispatchFocusEvent(current, chosen);
    return chosen;
}

Widget* Layout::passFocusToChildWidget(FocusDirection direction, Widget* current) {
    if (!hasFocusableChild()) return this;
    Widget* previous = getCurrentFocusedWidget();
    Widget* first = firstPlainDescendant();
    bool nearest = true;
    if (previous && first) {
        const Vec2 from = worldCenterOf(previous);
        const Vec2 to = worldCenterOf(first);
        switch (direction) {
            case Direction::LEFT: nearest = from.x > to.x; break;
            case Direction::RIGHT: nearest = from.x < to.x; break;
            case Direction::DOWN: nearest = from.y > to.y; break;
            case Direction::UP: nearest = from.y < to.y; break;
        }
    }
    const int index = nearest && onPassFocusToChild ? onPassFocusToChild(direction, previous)
                                                    : findChildIndexByDistance(direction, previous, nearest);
    return takeFocusAt(index, direction, current);
}

// ---- Distances ----

int Layout::findNearestChildWidgetIndex(FocusDirection direction, Widget* base) {
    return findChildIndexByDistance(direction, base, true);
}

int Layout::findChildIndexByDistance(FocusDirection, Widget* base, bool nearest) {
    const int count = static_cast<int>(children.size());
    if (!base || base == this) {
        for (int i = 0; i < count; ++i)
            if (canTakeFocus(dynamic_cast<Widget*>(children.at(static_cast<std::size_t>(i))))) return i;
        return 0;
    }
    int found = 0;
    float best = nearest ? std::numeric_limits<float>::max() : std::numeric_limits<float>::lowest();
    const Vec2 baseCentre = worldCenterOf(base);
    for (int i = 0; i < count; ++i) {
        auto* widget = dynamic_cast<Widget*>(children.at(static_cast<std::size_t>(i)));
        if (!canTakeFocus(widget)) continue;
        auto* layout = dynamic_cast<Layout*>(widget);
        const float distance =
            layout ? layout->distanceOfNearestChild(base) : std::trunc((worldCenterOf(widget) - baseCentre).length());
        if (nearest ? distance < best : distance > best) {
            best = distance;
            found = i;
        }
    }
    return found;
}

float Layout::distanceOfNearestChild(Widget* base) {
    float best = std::numeric_limits<float>::max();
    const Vec2 baseCentre = worldCenterOf(base);
    for (Node* child : children) {
        auto* widget = dynamic_cast<Widget*>(child);
        if (!canTakeFocus(widget)) continue;
        auto* layout = dynamic_cast<Layout*>(widget);
        const float distance =
            layout ? layout->distanceOfNearestChild(base) : std::trunc((worldCenterOf(widget) - baseCentre).length());
        if (distance < best) best = distance;
    }
    return best;
}

Size Layout::accumulatedSize() {
    Size total;
    int counted = 0;
    for (Node* child : children) {
        if (auto* layout = dynamic_cast<Layout*>(child)) {
            total = total + layout->accumulatedSize();
            continue;
        }
        auto* widget = dynamic_cast<Widget*>(child);
        if (!widget) continue;
        Margin margin;
        if (LayoutParameter* parameter = widget->getLayoutParameter()) margin = parameter->getMargin();
        total = total + widget->getContentSize() + Size(margin.left + margin.right, margin.top + margin.bottom) * 0.5f;
        ++counted;
    }
    if (counted > 0 && layoutType == Type::HORIZONTAL) total.height -= total.height / counted * (counted - 1);
    if (counted > 0 && layoutType == Type::VERTICAL) total.width -= total.width / counted * (counted - 1);
    return total;
}

Vec2 Layout::worldCenterOf(Widget* widget) {
    auto* layout = dynamic_cast<Layout*>(widget);
    const Size size = layout ? layout->accumulatedSize() : widget->getContentSize();
    return widget->convertToWorldSpace(Vec2(size.width / 2.0f, size.height / 2.0f));
}

Widget* Layout::firstPlainDescendant() {
    for (Node* child : children) {
        if (auto* layout = dynamic_cast<Layout*>(child)) {
            if (Widget* found = layout->firstPlainDescendant()) return found;
        } else if (auto* widget = dynamic_cast<Widget*>(child)) {
            return widget;
        }
    }
    return nullptr;
}

}  // namespace ui
}  // namespace kite
