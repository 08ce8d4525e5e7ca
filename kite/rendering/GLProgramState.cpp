// Uniform and attribute values applied before a draw, and the one-state-per-program cache.
#include "kite/rendering/GLProgramState.h"

#include "kite/rendering/GLProgramCache.h"
#include "kite/rendering/GLStateCache.h"

#include <cstring>
#include <new>

namespace kite {

// --- UniformValue

void UniformValue::apply() {
    if (!uniform_ || !program_) return;
    if (useCallback_) {
        callback_(program_, uniform_);
        return;
    }
    const GLint location = uniform_->location;
    switch (uniform_->type) {
        case GL_INT: program_->setUniformLocationWith1i(location, value_.intValue); break;
        case GL_FLOAT: program_->setUniformLocationWith1f(location, value_.floatValue); break;
        case GL_FLOAT_VEC2: program_->setUniformLocationWith2f(location, value_.v2Value[0], value_.v2Value[1]); break;
        case GL_FLOAT_VEC3:
            program_->setUniformLocationWith3f(location, value_.v3Value[0], value_.v3Value[1], value_.v3Value[2]);
            break;
        case GL_FLOAT_VEC4:
            program_->setUniformLocationWith4f(location, value_.v4Value[0], value_.v4Value[1], value_.v4Value[2],
                                               value_.v4Value[3]);
            break;
        case GL_FLOAT_MAT4: program_->setUniformLocationWithMatrix4fv(location, value_.matrixValue, 1); break;
        case GL_SAMPLER_2D:
            program_->setUniformLocationWith1i(location, static_cast<GLint>(value_.tex.textureUnit));
            GLStateCache::bindTexture2DN(value_.tex.textureUnit, value_.tex.textureId);
            break;
        default: break;
    }
}

void UniformValue::clearCallback() {
    callback_ = nullptr;
    useCallback_ = false;
}

void UniformValue::setInt(int value) {
    clearCallback();
    value_.intValue = value;
}

void UniformValue::setFloat(float value) {
    clearCallback();
    value_.floatValue = value;
}

void UniformValue::setVec2(const Vec2& value) {
    clearCallback();
    value_.v2Value[0] = value.x;
    value_.v2Value[1] = value.y;
}

void UniformValue::setVec3(const Vec3& value) {
    clearCallback();
    value_.v3Value[0] = value.x;
    value_.v3Value[1] = value.y;
    value_.v3Value[2] = value.z;
}

void UniformValue::setVec4(const Vec4& value) {
    clearCallback();
    value_.v4Value[0] = value.x;
    value_.v4Value[1] = value.y;
    value_.v4Value[2] = value.z;
    value_.v4Value[3] = value.w;
}

void UniformValue::setMat4(const Mat4& value) {
    clearCallback();
    std::memcpy(value_.matrixValue, value.m, sizeof(value_.matrixValue));
}

void UniformValue::setTexture(GLuint textureId, GLuint textureUnit) {
    clearCallback();
    value_.tex.textureId = textureId;
    value_.tex.textureUnit = textureUnit;
}

void UniformValue::setCallback(const Callback& callback) {
    callback_ = callback;
    useCallback_ = static_cast<bool>(callback_);
}

// --- VertexAttribValue

void VertexAttribValue::apply() {
    if (!enabled_ || !vertexAttrib_) return;
    if (useCallback_) {
        callback_(vertexAttrib_);
        return;
    }
    glVertexAttribPointer(vertexAttrib_->index, pointer_.size, pointer_.type, pointer_.normalized, pointer_.stride,
                          pointer_.pointer);
}

void VertexAttribValue::setPointer(GLint size, GLenum type, GLboolean normalized, GLsizei stride,
                                   const GLvoid* pointer) {
    callback_ = nullptr;
    useCallback_ = false;
    pointer_.size = size;
    pointer_.type = type;
    pointer_.normalized = normalized;
    pointer_.stride = stride;
    pointer_.pointer = pointer;
    enabled_ = true;
}

void VertexAttribValue::setCallback(const Callback& callback) {
    callback_ = callback;
    useCallback_ = static_cast<bool>(callback_);
    enabled_ = useCallback_;
}

// --- GLProgramState

GLProgramState* GLProgramState::getOrCreateWithGLProgramName(const std::string& programName) {
    GLProgramCache* cache = GLProgramCache::getInstance();
    GLProgram* program = cache ? cache->getGLProgram(programName) : nullptr;
    return program ? getOrCreateWithGLProgram(program) : nullptr;
}

GLProgramState* GLProgramState::getOrCreateWithGLProgram(GLProgram* program) {
    GLProgramStateCache* cache = GLProgramStateCache::getInstance();
    return cache ? cache->getGLProgramState(program) : nullptr;
}

GLProgramState::~GLProgramState() {
    if (glprogram_) glprogram_->release();
}

bool GLProgramState::init(GLProgram* program) {
    if (!program) return false;
    program->retain();
    glprogram_ = program;
    for (auto& entry : program->getVertexAttribs())
        attributes_[entry.first] = VertexAttribValue(program->getVertexAttrib(entry.first));
    for (auto& entry : program->getUserUniforms()) {
        Uniform* uniform = program->getUniform(entry.first);
        uniforms_[uniform->location] = UniformValue(uniform, program);
        uniformsByName_[entry.first] = uniform->location;
    }
    return true;
}

void GLProgramState::updateUniformsAndAttributes() {
    if (!uniformAttributeValueDirty_) return;
    for (auto& entry : uniformsByName_) {
        auto value = uniforms_.find(entry.second);
        if (value != uniforms_.end()) value->second.setUniform(glprogram_->getUniform(entry.first));
    }
    vertexAttribsFlags_ = 0;
    for (auto& entry : attributes_) {
        VertexAttrib* attribute = glprogram_->getVertexAttrib(entry.first);
        entry.second.setVertexAttrib(attribute);
        if (entry.second.isEnabled() && attribute) vertexAttribsFlags_ |= 1u << (attribute->index % 32);
    }
    uniformAttributeValueDirty_ = false;
}

void GLProgramState::apply(const Mat4& modelView) {
    applyGLProgram(modelView);
    applyAttributes(true);
    applyUniforms();
}

void GLProgramState::applyGLProgram(const Mat4& modelView) {
    updateUniformsAndAttributes();
    glprogram_->use();
    glprogram_->setUniformsForBuiltins(modelView);
}

void GLProgramState::applyAttributes(bool applyAttribFlags) {
    updateUniformsAndAttributes();
    if (vertexAttribsFlags_) {
        if (applyAttribFlags) GLStateCache::enableVertexAttribs(vertexAttribsFlags_);
        for (auto& entry : attributes_) entry.second.apply();
    }
}

void GLProgramState::applyUniforms() {
    updateUniformsAndAttributes();
    for (auto& entry : uniforms_) entry.second.apply();
}

UniformValue* GLProgramState::getUniformValue(const std::string& name) {
    updateUniformsAndAttributes();
    auto location = uniformsByName_.find(name);
    if (location == uniformsByName_.end()) return nullptr;
    auto value = uniforms_.find(location->second);
    return value == uniforms_.end() ? nullptr : &value->second;
}

VertexAttribValue* GLProgramState::getVertexAttribValue(const std::string& name) {
    updateUniformsAndAttributes();
    auto it = attributes_.find(name);
    return it == attributes_.end() ? nullptr : &it->second;
}

void GLProgramState::setUniformInt(const std::string& name, int value) {
    if (UniformValue* v = getUniformValue(name)) v->setInt(value);
}

void GLProgramState::setUniformFloat(const std::string& name, float value) {
    if (UniformValue* v = getUniformValue(name)) v->setFloat(value);
}

void GLProgramState::setUniformVec2(const std::string& name, const Vec2& value) {
    if (UniformValue* v = getUniformValue(name)) v->setVec2(value);
}

void GLProgramState::setUniformVec3(const std::string& name, const Vec3& value) {
    if (UniformValue* v = getUniformValue(name)) v->setVec3(value);
}

void GLProgramState::setUniformVec4(const std::string& name, const Vec4& value) {
    if (UniformValue* v = getUniformValue(name)) v->setVec4(value);
}

void GLProgramState::setUniformMat4(const std::string& name, const Mat4& value) {
    if (UniformValue* v = getUniformValue(name)) v->setMat4(value);
}

void GLProgramState::setUniformTexture(const std::string& name, GLuint textureId, GLuint textureUnit) {
    if (UniformValue* v = getUniformValue(name)) v->setTexture(textureId, textureUnit);
}

void GLProgramState::setUniformCallback(const std::string& name, const UniformValue::Callback& callback) {
    if (UniformValue* v = getUniformValue(name)) v->setCallback(callback);
}

void GLProgramState::setVertexAttribPointer(const std::string& name, GLint size, GLenum type, GLboolean normalized,
                                            GLsizei stride, const GLvoid* pointer) {
    if (VertexAttribValue* v = getVertexAttribValue(name)) {
        v->setPointer(size, type, normalized, stride, pointer);
        uniformAttributeValueDirty_ = true;  // the enabled set changed
    }
}

void GLProgramState::setVertexAttribCallback(const std::string& name, const VertexAttribValue::Callback& callback) {
    if (VertexAttribValue* v = getVertexAttribValue(name)) {
        v->setCallback(callback);
        uniformAttributeValueDirty_ = true;
    }
}

// --- GLProgramStateCache

namespace {
GLProgramStateCache* sharedStateCache = nullptr;
}

GLProgramStateCache* GLProgramStateCache::getInstance() {
    if (!sharedStateCache) sharedStateCache = new (std::nothrow) GLProgramStateCache();
    return sharedStateCache;
}

void GLProgramStateCache::destroyInstance() {
    GLProgramStateCache* old = sharedStateCache;
    sharedStateCache = nullptr;
    delete old;
}

GLProgramStateCache::~GLProgramStateCache() { removeAllGLProgramState(); }

GLProgramState* GLProgramStateCache::getGLProgramState(GLProgram* program) {
    if (!program) return nullptr;
    auto it = glProgramStates_.find(program);
    if (it != glProgramStates_.end()) return it->second;
    GLProgramState* state = new (std::nothrow) GLProgramState();
    if (!state) return nullptr;
    if (!state->init(program)) {
        state->release();
        return nullptr;
    }
    // The creation reference becomes the cache's.
    glProgramStates_[program] = state;
    return state;
}

void GLProgramStateCache::removeAllGLProgramState() {
    std::unordered_map<GLProgram*, GLProgramState*> states;
    states.swap(glProgramStates_);
    for (auto& entry : states) entry.second->release();
}

}  // namespace kite
