// What every dialog of the menu shares: the shade, the background that pops in, image
// buttons alone in their menus, and swallowing every touch.
#pragma once
#include <functional>
#include <string>

#include "kite/foundation/math/Vec2.h"

namespace kite {
class Event;
class Layer;
class MenuItemImage;
class Node;
class Sprite;
class Touch;
}  // namespace kite

namespace dialog {

constexpr const char* kShade = "Common/bg_gray_shadow.png";
constexpr const char* kCloseButton = "Common/btn_close.png";

// A one-by-one listener on the layer whose began callback claims every touch.
void swallowTouches(kite::Layer* layer, std::function<bool(kite::Touch*, kite::Event*)> onTouchBegan);
// The shade centred on the visible area, scaled (20, 36).
void addShade(kite::Layer* layer);
// The background centred on the visible area, popping in: scale 0.7, to 1.1 in 0.1 s, to 1.0 in 0.05 s.
kite::Sprite* addPoppingBackground(kite::Layer* layer, const std::string& file);
// One image for both states, alone in a menu at the point, on the parent at z-order 1.
kite::MenuItemImage* addImageButton(kite::Node* parent, const std::string& file, const kite::Vec2& point,
                                    std::function<void()> action);

}  // namespace dialog
