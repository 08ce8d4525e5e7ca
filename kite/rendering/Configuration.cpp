// Build keys, GPU queries and extension tests of the configuration.
#include "kite/rendering/Configuration.h"

#include "kite/foundation/StringUtils.h"
#include "platform/GLExtensions.h"

#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>

#include <new>

namespace kite {
namespace {

Configuration* sharedConfiguration = nullptr;

std::string glText(GLenum name) {
    const GLubyte* text = glGetString(name);
    return text ? reinterpret_cast<const char*>(text) : "";
}

GLint glInteger(GLenum name) {
    GLint value = 0;
    glGetIntegerv(name, &value);
    return value;
}

// Queries of limits the driver does not know leave an error behind; it must
// not be blamed on whatever GL call comes next.
void clearPendingGLErrors() {
    for (int i = 0; i < 32 && glGetError() != GL_NO_ERROR; ++i) {}
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

bool Configuration::init() {
    valueDict_["kite.version"] = Value(kiteVersion());
    valueDict_["kite.compiled_with_profiler"] = Value(false);
    valueDict_["kite.compiled_with_gl_state_cache"] = Value(true);
    valueDict_["kite.build_type"] = Value("RELEASE");
    return true;
}

void Configuration::gatherGPUInfo() {
    valueDict_["gl.vendor"] = Value(glText(GL_VENDOR));
    valueDict_["gl.renderer"] = Value(glText(GL_RENDERER));
    valueDict_["gl.version"] = Value(glText(GL_VERSION));
    maxTextureSize_ = glInteger(GL_MAX_TEXTURE_SIZE);
    valueDict_["gl.max_texture_size"] = Value(maxTextureSize_);
    maxTextureUnits_ = glInteger(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS);
    valueDict_["gl.max_texture_units"] = Value(maxTextureUnits_);
    maxSamplesAllowed_ = glInteger(GL_MAX_SAMPLES_APPLE);
    valueDict_["gl.max_samples_allowed"] = Value(maxSamplesAllowed_);
    updateExtensionSupport(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)));
    clearPendingGLErrors();
}

std::string Configuration::getInfo() const { return Value(valueDict_).getDescription(); }

Value Configuration::getValue(const std::string& key, const Value& defaultValue) const {
    auto it = valueDict_.find(key);
    return it == valueDict_.end() ? defaultValue : it->second;
}

void Configuration::setValue(const std::string& key, const Value& value) { valueDict_[key] = value; }

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
    supportsDiscardFramebuffer_ = checkForGLExtension("GL_EXT_discard_framebuffer") && functions.discardFramebuffer;
    supportsVertexArrayObject_ = checkForGLExtension("vertex_array_object") && functions.vertexArrayObject;
    supportsElementIndexUint_ = checkForGLExtension("GL_OES_element_index_uint") && platform::glExtensionsEnabled();

    valueDict_["gl.supports_ETC1"] = Value(supportsETC1_);
    valueDict_["gl.supports_S3TC"] = Value(supportsS3TC_);
    valueDict_["gl.supports_ATITC"] = Value(supportsATITC_);
    valueDict_["gl.supports_PVRTC"] = Value(supportsPVRTC_);
    valueDict_["gl.supports_NPOT"] = Value(supportsNPOT_);
    valueDict_["gl.supports_BGRA8888"] = Value(supportsBGRA8888_);
    valueDict_["gl.supports_discard_framebuffer"] = Value(supportsDiscardFramebuffer_);
    valueDict_["gl.supports_vertex_array_object"] = Value(supportsVertexArrayObject_);
}

}  // namespace kite
