// Remembered GL bindings (program, blend pair, textures, vertex array, attribute arrays) that skip redundant calls.
#pragma once
#include <GLES2/gl2.h>

#include <cstdint>

namespace kite {
namespace GLStateCache {

// Attribute-array bits; bit i stands for the attribute at location i.
enum : std::uint32_t {
    VERTEX_ATTRIB_FLAG_NONE = 0,
    VERTEX_ATTRIB_FLAG_POSITION = 1 << 0,
    VERTEX_ATTRIB_FLAG_COLOR = 1 << 1,
    VERTEX_ATTRIB_FLAG_TEX_COORD = 1 << 2,
    VERTEX_ATTRIB_FLAG_NORMAL = 1 << 6,
    VERTEX_ATTRIB_FLAG_POS_COLOR_TEX =
        VERTEX_ATTRIB_FLAG_POSITION | VERTEX_ATTRIB_FLAG_COLOR | VERTEX_ATTRIB_FLAG_TEX_COORD,
};

constexpr int MAX_ACTIVE_TEXTURE = 16;

// Forgets every remembered binding (the active texture unit stays) after the
// director's matrix stacks are reset. Whoever binds GL state directly calls this.
void invalidate();

void deleteProgram(GLuint program);
void useProgram(GLuint program);

void blendFunc(GLenum sfactor, GLenum dfactor);
// Uncached: {GL_ONE, GL_ZERO} switches blending off.
void setBlending(GLenum sfactor, GLenum dfactor);

void bindTexture2D(GLuint textureId);
void bindTexture2DN(GLuint textureUnit, GLuint textureId);
void deleteTexture(GLuint textureId);

// Does nothing unless the configuration reports vertex array objects.
void bindVAO(GLuint vaoId);
// Unbinds any vertex array object, then enables or disables only the arrays
// whose bit changed.
void enableVertexAttribs(std::uint32_t flags);

// Called by the director after a projection change; nothing to do.
void projectionChanged();

// The GL entry points the cache calls. Tests swap in recorders to see which
// calls reach GL; everything else keeps the defaults.
struct GLCalls {
    void (*useProgram)(GLuint program);
    void (*deleteProgram)(GLuint program);
    void (*enable)(GLenum capability);
    void (*disable)(GLenum capability);
    void (*blendFunc)(GLenum sfactor, GLenum dfactor);
    void (*activeTexture)(GLenum unit);
    void (*bindTexture)(GLenum target, GLuint texture);
    void (*deleteTextures)(GLsizei n, const GLuint* textures);
    void (*bindVertexArray)(GLuint array);
    void (*enableVertexAttribArray)(GLuint index);
    void (*disableVertexAttribArray)(GLuint index);
};
const GLCalls& defaultGLCalls();
const GLCalls& glCalls();
void setGLCalls(const GLCalls& calls);

}  // namespace GLStateCache
}  // namespace kite
