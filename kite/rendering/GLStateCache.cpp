// The remembered bindings and the comparisons that skip redundant GL calls.
#include "kite/rendering/GLStateCache.h"

#include "kite/rendering/Configuration.h"
#include "kite/rendering/DirectorFrameServices.h"
#include "platform/GLExtensions.h"

namespace kite {
namespace GLStateCache {
namespace {

constexpr GLuint kNone = static_cast<GLuint>(-1);

struct State {
    GLuint currentProgram = kNone;
    GLenum blendSource = kNone;
    GLenum blendDestination = kNone;
    GLenum activeTexture = kNone;
    GLuint boundTextures[MAX_ACTIVE_TEXTURE] = {kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone,
                                                kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone};
    std::uint32_t attributeFlags = 0;
    GLuint boundVAO = 0;
};

State& state() {
    static State s;
    return s;
}

GLCalls& calls() {
    static GLCalls c = defaultGLCalls();
    return c;
}

}  // namespace

const GLCalls& defaultGLCalls() {
    static const GLCalls defaults = {
        glUseProgram,
        glDeleteProgram,
        glEnable,
        glDisable,
        glBlendFunc,
        glActiveTexture,
        glBindTexture,
        glDeleteTextures,
        platform::glBindVertexArrayOES,
        glEnableVertexAttribArray,
        glDisableVertexAttribArray,
    };
    return defaults;
}

const GLCalls& glCalls() { return calls(); }

void setGLCalls(const GLCalls& replacement) { calls() = replacement; }

void invalidate() {
    resetDirectorMatrixStacks();
    State& s = state();
    s.attributeFlags = 0;
    s.currentProgram = kNone;
    for (GLuint& texture : s.boundTextures) texture = kNone;
    s.blendSource = kNone;
    s.blendDestination = kNone;
    s.boundVAO = 0;
}

void deleteProgram(GLuint program) {
    if (program == state().currentProgram) state().currentProgram = kNone;
    calls().deleteProgram(program);
}

void useProgram(GLuint program) {
    if (program != state().currentProgram) {
        state().currentProgram = program;
        calls().useProgram(program);
    }
}

void setBlending(GLenum sfactor, GLenum dfactor) {
    if (sfactor == GL_ONE && dfactor == GL_ZERO) {
        calls().disable(GL_BLEND);
    } else {
        calls().enable(GL_BLEND);
        calls().blendFunc(sfactor, dfactor);
    }
}

void blendFunc(GLenum sfactor, GLenum dfactor) {
    State& s = state();
    if (sfactor != s.blendSource || dfactor != s.blendDestination) {
        s.blendSource = sfactor;
        s.blendDestination = dfactor;
        setBlending(sfactor, dfactor);
    }
}

void bindTexture2D(GLuint textureId) { bindTexture2DN(0, textureId); }

void bindTexture2DN(GLuint textureUnit, GLuint textureId) {
    State& s = state();
    // Units beyond the table cannot be remembered; they go straight to GL.
    if (textureUnit >= MAX_ACTIVE_TEXTURE) {
        s.activeTexture = GL_TEXTURE0 + textureUnit;
        calls().activeTexture(s.activeTexture);
        calls().bindTexture(GL_TEXTURE_2D, textureId);
        return;
    }
    if (s.boundTextures[textureUnit] == textureId) return;
    s.boundTextures[textureUnit] = textureId;
    if (s.activeTexture != GL_TEXTURE0 + textureUnit) {
        s.activeTexture = GL_TEXTURE0 + textureUnit;
        calls().activeTexture(s.activeTexture);
    }
    calls().bindTexture(GL_TEXTURE_2D, textureId);
}

void deleteTexture(GLuint textureId) {
    for (GLuint& bound : state().boundTextures)
        if (bound == textureId) bound = kNone;
    calls().deleteTextures(1, &textureId);
}

void bindVAO(GLuint vaoId) {
    if (!Configuration::getInstance()->supportsVertexArrayObject()) return;
    if (state().boundVAO != vaoId) {
        state().boundVAO = vaoId;
        calls().bindVertexArray(vaoId);
    }
}

void enableVertexAttribs(std::uint32_t flags) {
    bindVAO(0);
    State& s = state();
    for (GLuint i = 0; i < 16; ++i) {
        const std::uint32_t bit = 1u << i;
        const bool wanted = (flags & bit) != 0;
        if (wanted != ((s.attributeFlags & bit) != 0)) {
            if (wanted)
                calls().enableVertexAttribArray(i);
            else
                calls().disableVertexAttribArray(i);
        }
    }
    s.attributeFlags = flags;
}

void projectionChanged() {}

}  // namespace GLStateCache
}  // namespace kite
