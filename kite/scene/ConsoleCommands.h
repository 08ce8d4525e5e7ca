// The debug console's commands that read or steer the director, its view, textures and scene graph.
#pragma once
#include <vector>

#include "kite/foundation/math/Size.h"
#include "kite/foundation/math/Vec2.h"

namespace kite {

class Console;

// Adds "config", "director", "fps", "projection", "resolution", "scenegraph", "texture" and "touch".
// Their work runs on the main thread through the console's poster.
void addDirectorCommands(Console& console);

// Where a simulated swipe from `from` to `to`, both in a view of `frame`, moves between its begin
// and its end: one unit at a time along its longer axis, the other axis keeping pace, so that the
// last move is within one unit of the end.
std::vector<Vec2> consoleSwipeMoves(Vec2 from, Vec2 to, const Size& frame);

}  // namespace kite
