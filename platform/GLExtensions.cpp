// Lookup of the extension functions, the switch, and the fallbacks used without them.
#include "platform/GLExtensions.h"

#include <GLES2/gl2ext.h>
#include <GLES3/gl3.h>
#include <SDL2/SDL.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <vector>

namespace platform {
namespace {

struct Loaded {
    bool attempted = false;
    PFNGLGENVERTEXARRAYSOESPROC genVertexArrays = nullptr;
    PFNGLBINDVERTEXARRAYOESPROC bindVertexArray = nullptr;
    PFNGLDELETEVERTEXARRAYSOESPROC deleteVertexArrays = nullptr;
    PFNGLMAPBUFFEROESPROC mapBuffer = nullptr;
    PFNGLUNMAPBUFFEROESPROC unmapBuffer = nullptr;
    PFNGLDISCARDFRAMEBUFFEREXTPROC discardFramebuffer = nullptr;
    PFNGLFENCESYNCPROC fenceSync = nullptr;
    PFNGLCLIENTWAITSYNCPROC clientWaitSync = nullptr;
    PFNGLDELETESYNCPROC deleteSync = nullptr;
    GLExtensionFunctions found;
};

Loaded& loaded() {
    static Loaded l;
    return l;
}

bool& enabledFlag() {
    static bool enabled = true;
    return enabled;
}

const GLExtensionFunctions& none() {
    static const GLExtensionFunctions empty;
    return empty;
}

// Scratch copies handed out by the mapping fallback, one per buffer target.
std::map<GLenum, std::vector<std::uint8_t>>& scratchBuffers() {
    static std::map<GLenum, std::vector<std::uint8_t>> buffers;
    return buffers;
}

template <typename T>
T lookUp(const char* name) {
    return reinterpret_cast<T>(SDL_GL_GetProcAddress(name));
}

const Loaded& active() {
    loadGLExtensions();
    static const Loaded switchedOff = [] {
        Loaded off;
        off.attempted = true;
        return off;
    }();
    return enabledFlag() ? loaded() : switchedOff;
}

// Fences are core from OpenGL ES 3.0 on; an ES 2.0 context may still answer their lookup.
bool contextIsES3OrLater() {
    const auto* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
    int major = 0;
    return version && std::sscanf(version, "OpenGL ES %d", &major) == 1 && major >= 3;
}

}  // namespace

const GLExtensionFunctions& loadGLExtensions() {
    Loaded& l = loaded();
    if (!l.attempted && SDL_GL_GetCurrentContext()) {
        l.attempted = true;
        l.genVertexArrays = lookUp<PFNGLGENVERTEXARRAYSOESPROC>("glGenVertexArraysOES");
        l.bindVertexArray = lookUp<PFNGLBINDVERTEXARRAYOESPROC>("glBindVertexArrayOES");
        l.deleteVertexArrays = lookUp<PFNGLDELETEVERTEXARRAYSOESPROC>("glDeleteVertexArraysOES");
        l.mapBuffer = lookUp<PFNGLMAPBUFFEROESPROC>("glMapBufferOES");
        l.unmapBuffer = lookUp<PFNGLUNMAPBUFFEROESPROC>("glUnmapBufferOES");
        l.discardFramebuffer = lookUp<PFNGLDISCARDFRAMEBUFFEREXTPROC>("glDiscardFramebufferEXT");
        l.found.vertexArrayObject = l.genVertexArrays && l.bindVertexArray && l.deleteVertexArrays;
        l.found.mapBuffer = l.mapBuffer && l.unmapBuffer;
        l.found.discardFramebuffer = l.discardFramebuffer != nullptr;
        if (contextIsES3OrLater()) {
            l.fenceSync = lookUp<PFNGLFENCESYNCPROC>("glFenceSync");
            l.clientWaitSync = lookUp<PFNGLCLIENTWAITSYNCPROC>("glClientWaitSync");
            l.deleteSync = lookUp<PFNGLDELETESYNCPROC>("glDeleteSync");
        }
        l.found.fenceSync = l.fenceSync && l.clientWaitSync && l.deleteSync;
    }
    return enabledFlag() ? l.found : none();
}

void setGLExtensionsEnabled(bool enabled) { enabledFlag() = enabled; }

bool glExtensionsEnabled() { return enabledFlag(); }

void glGenVertexArraysOES(GLsizei n, GLuint* arrays) {
    const Loaded& l = active();
    if (l.found.vertexArrayObject) {
        l.genVertexArrays(n, arrays);
        return;
    }
    for (GLsizei i = 0; i < n; ++i) arrays[i] = 0;
}

void glBindVertexArrayOES(GLuint array) {
    const Loaded& l = active();
    if (l.found.vertexArrayObject) l.bindVertexArray(array);
}

void glDeleteVertexArraysOES(GLsizei n, const GLuint* arrays) {
    const Loaded& l = active();
    if (l.found.vertexArrayObject) l.deleteVertexArrays(n, arrays);
}

void* glMapBufferOES(GLenum target, GLenum access) {
    const Loaded& l = active();
    if (l.found.mapBuffer) return l.mapBuffer(target, access);
    GLint size = 0;
    glGetBufferParameteriv(target, GL_BUFFER_SIZE, &size);
    if (size <= 0) return nullptr;
    std::vector<std::uint8_t>& scratch = scratchBuffers()[target];
    scratch.resize(static_cast<std::size_t>(size));
    return scratch.data();
}

GLboolean glUnmapBufferOES(GLenum target) {
    const Loaded& l = active();
    if (l.found.mapBuffer) return l.unmapBuffer(target);
    auto it = scratchBuffers().find(target);
    if (it == scratchBuffers().end() || it->second.empty()) return GL_FALSE;
    glBufferSubData(target, 0, static_cast<GLsizeiptr>(it->second.size()), it->second.data());
    scratchBuffers().erase(it);
    return GL_TRUE;
}

void glDiscardFramebufferEXT(GLenum target, GLsizei numAttachments, const GLenum* attachments) {
    const Loaded& l = active();
    if (l.found.discardFramebuffer) l.discardFramebuffer(target, numAttachments, attachments);
}

__GLsync* glFenceSync() {
    const Loaded& l = active();
    return l.found.fenceSync ? l.fenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0) : nullptr;
}

bool glClientWaitSync(__GLsync* fence, std::uint64_t timeoutNanoseconds) {
    const Loaded& l = active();
    if (!fence || !l.found.fenceSync) return true;
    const GLenum result = l.clientWaitSync(fence, GL_SYNC_FLUSH_COMMANDS_BIT, timeoutNanoseconds);
    return result == GL_ALREADY_SIGNALED || result == GL_CONDITION_SATISFIED;
}

void glDeleteSync(__GLsync* fence) {
    const Loaded& l = active();
    if (fence && l.found.fenceSync) l.deleteSync(fence);
}

}  // namespace platform
