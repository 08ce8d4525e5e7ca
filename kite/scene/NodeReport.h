// A text report of the nodes a scene shows, for tests that check a screen's layout from outside the game:
// one line a node, in drawing order, with its world bounding box.
//
//   DEPTH <tab> CLASS <tab> LEFT BOTTOM RIGHT TOP <tab> KIND <tab> DETAIL
//
// DEPTH counts from 0 for the root, so a line's parent is the nearest line above it one shallower. CLASS is
// the node's C++ class. The box is in world (design) points. KIND is "item" for a menu item that takes taps,
// "label", "sprite" or "node". DETAIL is a sprite's image file (as the texture cache keys it) or a label's
// text, with line breaks written as "\n". Hidden nodes and everything under them, and the nodes a label
// draws its text with, are left out.
#pragma once
#include <string>

#include "kite/foundation/math/MathTypes.h"

namespace kite {

class Node;

// A node that shows only a window onto what it holds (a scroll view) reports that window as its box.
class ReportsWindow {
public:
    virtual ~ReportsWindow() = default;
    virtual Rect getViewRect() const = 0;
};

std::string nodeReport(Node* root);

}  // namespace kite
