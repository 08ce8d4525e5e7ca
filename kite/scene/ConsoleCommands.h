// The debug console's commands that read or steer the director, its view, textures and scene graph.
#pragma once

namespace kite {

class Console;

// Adds "config", "director", "fps", "projection", "resolution", "scenegraph", "texture" and "touch".
// Their work runs on the main thread through the console's poster.
void addDirectorCommands(Console& console);

}  // namespace kite
