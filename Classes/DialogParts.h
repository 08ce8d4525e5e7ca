// Pieces every dialog of the menu is built from: the touch claim, the shade, the background
// that pops in and the image buttons that sit alone in a menu of their own.
#pragma once
#include <functional>

#include "kite/foundation/math/Vec2.h"

namespace kite {
class Layer;
class MenuItemImage;
class Node;
class Sprite;
}  // namespace kite

namespace DialogParts {

// Every touch that reaches the dialog is taken by it, so nothing below acts while it shows.
void claimTouches(kite::Layer* dialog);

// "Common/bg_gray_shadow.png" over the visible area, scaled as given.
void addShade(kite::Layer* dialog, float scaleX, float scaleY);
// The shade scaled by the visible width and height.
void addShade(kite::Layer* dialog);

// A background centred on the visible area that starts at startScale, grows to peakScale in
// 0.1 s and settles at 1.0 in 0.05 s; null when the image cannot be loaded.
kite::Sprite* addPoppingBackground(kite::Layer* dialog, const char* file, float startScale, float peakScale);

// A sprite added at the point; null when the image cannot be loaded.
kite::Sprite* addSprite(kite::Node* parent, const char* file, const kite::Vec2& position, int zOrder = 0);

// An image item (one file for both states) alone in a menu at the point. The action runs with
// the dialog kept alive, since it may close the dialog.
kite::MenuItemImage* addButton(kite::Node* parent, const char* file, const kite::Vec2& position, int zOrder,
                               kite::Node* dialog, std::function<void()> action);

kite::Vec2 visibleCentre();

}  // namespace DialogParts
