// Pieces every dialog of the game is made of: the listener that claims every touch, the shade, the
// background that pops in, and buttons each in a menu of their own.
#pragma once
#include <functional>
#include <string>

#include "kite/foundation/math/Vec2.h"

namespace kite {
class Layer;
class MenuItem;
class MenuItemImage;
class MenuItemToggle;
class Node;
class Sprite;
}  // namespace kite

namespace dialog {

// Claims every touch that reaches the layer, so nothing under it can be touched.
void claimAllTouches(kite::Layer* layer);
// The grey shade "Common/bg_gray_shadow.png", scaled and centred on the visible area.
kite::Sprite* addShade(kite::Node* parent, float scaleX, float scaleY);
// A picture centred on the visible area; null when it cannot be loaded.
kite::Sprite* addCentred(kite::Node* parent, const std::string& file, int z);
// A picture at a point of the parent; null when it cannot be loaded.
kite::Sprite* addSprite(kite::Node* parent, const std::string& file, const kite::Vec2& position, int z = 0);
// Starts the node at startScale, grows it to peakScale in 0.1 s and settles it at 1.0 in 0.05 s.
void popIn(kite::Node* node, float startScale, float peakScale);
// The middle of the visible area.
kite::Vec2 visibleCentre();
// An image button (the same image normal and selected) in a menu of its own on the parent.
kite::MenuItemImage* addButton(kite::Node* parent, const std::string& file, const kite::Vec2& position, int z,
                               const std::function<void()>& onTap);
// A two-state toggle of two images in a menu of its own on the parent; the callback gets the new index.
kite::MenuItemToggle* addToggle(kite::Node* parent, const std::string& first, const std::string& second,
                                const kite::Vec2& position, int z, const std::function<void(unsigned)>& onTap);

}  // namespace dialog
