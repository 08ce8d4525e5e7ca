// Parsers of the brace notations {x,y} and {{x,y},{w,h}} used by sprite-sheet property lists.
#pragma once
#include <string>

#include "kite/foundation/math/Rect.h"
#include "kite/foundation/math/Size.h"
#include "kite/foundation/math/Vec2.h"

namespace kite {

// Each gives zero values for malformed text. Numbers are read by kite::atof.
Vec2 PointFromString(const std::string& text);
Size SizeFromString(const std::string& text);
Rect RectFromString(const std::string& text);

}  // namespace kite
