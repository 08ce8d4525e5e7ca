// The immediate-mode drawing primitives' shared state: one shader program and the current drawing colour.
#pragma once
#include "kite/foundation/math/Color.h"

namespace kite {

class GLProgram;

namespace DrawPrimitives {

// Takes the shared program ("ShaderPosition_uColor") from the program cache, once.
void init();
// Gives the shared program back and marks the facility uninitialised; the director does it when it purges.
void free();
bool isInitialized();
// The shared program, or null before init and after free.
GLProgram* getProgram();

// White until set; a purge keeps it.
void setDrawColor4F(float r, float g, float b, float a);
const Color4F& getDrawColor();

}  // namespace DrawPrimitives
}  // namespace kite
