#include "kite/rendering/Configuration.h"

#include "platform/GLExtensions.h"

#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>

#include <new>

namespace kite {
namespace {

Configuration* sharedConfiguration = nullptr;

GLint glInteger(GLenum name) {
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

// Queries of limits the driver does not know leave an error behind; it must
// not be blamed on whatever GL call comes next.
void clearPendingGLErrors() {
    for (int i = 0; i < 32 && glGetError() != GL_NO_ERROR; ++i) {
    }
}

}  // namespace

Configuration* Configuration::getInstance() {
    if (!sharedConfiguration) {
        sharedConfiguration = new (std::nothrow) Configuration();
        if (sharedConfiguration) sharedConfiguration->init();
    }
    return sharedConfiguration;
}

void Configuration::destroyInstance() {
    if (sharedConfiguration) {
        Configuration* old = sharedConfiguration;
        sharedConfiguration = nullptr;
        old->release();
    }
}

Configuration::~Configuration() = default;

bool Configuration::init() { return true; }

void Configuration::gatherGPUInfo() {
    maxTextureSize_ = glInteger(GL_MAX_TEXTURE_SIZE);
    maxTextureUnits_ = glInteger(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS);
    maxSamplesAllowed_ = glInteger(GL_MAX_SAMPLES_APPLE);
    updateExtensionSupport(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)));
    clearPendingGLErrors();
}

bool Configuration::checkForGLExtension(const std::string& searchName) const {
    return glExtensions_.find(searchName) != std::string::npos;
}

void Configuration::updateExtensionSupport(const char* extensions) {
    glExtensions_ = extensions ? extensions : "";
    const platform::GLExtensionFunctions& functions = platform::loadGLExtensions();
    supportsETC1_ = checkForGLExtension("GL_OES_compressed_ETC1_RGB8_texture");
    supportsS3TC_ = checkForGLExtension("GL_EXT_texture_compression_s3tc");
    supportsATITC_ = checkForGLExtension("GL_AMD_compressed_ATC_texture");
    supportsPVRTC_ = checkForGLExtension("GL_IMG_texture_compression_pvrtc");
    supportsNPOT_ = true;
    supportsBGRA8888_ = checkForGLExtension("GL_IMG_texture_format_BGRA888");
    // An advertised extension is only usable when its functions were found.
    supportsDiscardFramebuffer_ =
        checkForGLExtension("GL_EXT_discard_framebuffer") && functions.discardFramebuffer;
    supportsVertexArrayObject_ = checkForGLExtension("vertex_array_object") && functions.vertexArrayObject;
}

}  // namespace kite
