// OpenGL ES extension functions that libGLESv2 does not export, loaded through SDL.
#pragma once
#include <GLES2/gl2.h>

#include <cstdint>

struct __GLsync;

namespace platform {

struct GLExtensionFunctions {
    bool vertexArrayObject = false;   // glGen/Bind/DeleteVertexArraysOES
    bool mapBuffer = false;           // glMapBufferOES, glUnmapBufferOES
    bool discardFramebuffer = false;  // glDiscardFramebufferEXT
    bool fenceSync = false;           // glFenceSync, glClientWaitSync, glDeleteSync (OpenGL ES 3.0 contexts)
};

// Looks the functions up once SDL's GL library is loaded (a context exists);
// later calls answer from the first lookup. Reports what was found, or nothing
// while the extensions are switched off.
const GLExtensionFunctions& loadGLExtensions();

// Switches the loaded functions off (or back on), so that the paths without
// them can be run on a driver that has them.
void setGLExtensionsEnabled(bool enabled);
bool glExtensionsEnabled();

// Each call goes to the driver when the function was found and is switched on.
// Without vertex array objects, generating yields names 0 and binding and
// deleting do nothing; callers ask the configuration first.
void glGenVertexArraysOES(GLsizei n, GLuint* arrays);
void glBindVertexArrayOES(GLuint array);
void glDeleteVertexArraysOES(GLsizei n, const GLuint* arrays);

// Without buffer mapping, mapping hands out a scratch copy of the bound
// buffer's size that unmapping uploads with glBufferSubData (write-only use).
void* glMapBufferOES(GLenum target, GLenum access);
GLboolean glUnmapBufferOES(GLenum target);

// Fences of the commands issued so far (OpenGL ES 3.0's, which every context of Mesa's has). Without
// them inserting yields null, and waiting on or deleting null does nothing.
__GLsync* glFenceSync();
// Flushes, then waits at most the time given for the fence; false when it did not signal in time.
bool glClientWaitSync(__GLsync* fence, std::uint64_t timeoutNanoseconds);
void glDeleteSync(__GLsync* fence);

// A hint only: does nothing without the extension.
void glDiscardFramebufferEXT(GLenum target, GLsizei numAttachments, const GLenum* attachments);

}  // namespace platform
