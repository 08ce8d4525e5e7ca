#include "kite/scene/DrawPrimitives.h"

#include "kite/rendering/GLProgram.h"
#include "kite/rendering/GLProgramCache.h"

namespace kite {
namespace DrawPrimitives {

namespace {

struct State {
    GLProgram* program = nullptr;  // retained while initialised
    bool initialized = false;
    Color4F color{1.0f, 1.0f, 1.0f, 1.0f};
};

State& state() {
    static State shared;
    return shared;
}

}  // namespace

void init() {
    State& s = state();
    if (s.initialized) return;
    s.program = GLProgramCache::getInstance()->getGLProgram(GLProgram::SHADER_NAME_POSITION_U_COLOR);
    if (s.program) s.program->retain();
    s.initialized = s.program != nullptr;
}

void free() {
    State& s = state();
    if (s.program) s.program->release();
    s.program = nullptr;
    s.initialized = false;
}

bool isInitialized() { return state().initialized; }

GLProgram* getProgram() { return state().program; }

void setDrawColor4F(float r, float g, float b, float a) { state().color = Color4F(r, g, b, a); }

const Color4F& getDrawColor() { return state().color; }

}  // namespace DrawPrimitives
}  // namespace kite
