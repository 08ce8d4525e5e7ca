// A program's per-use uniform and attribute values (one shared state per program) and the cache that shares them.
#pragma once
#include "kite/foundation/Ref.h"
#include "kite/foundation/math/Mat4.h"
#include "kite/foundation/math/Vec2.h"
#include "kite/foundation/math/Vec3.h"
#include "kite/foundation/math/Vec4.h"
#include "kite/rendering/GLProgram.h"

#include <GLES2/gl2.h>

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

namespace kite {

// The value one user uniform receives before each draw.
class UniformValue {
public:
    using Callback = std::function<void(GLProgram*, Uniform*)>;

    UniformValue() = default;
    UniformValue(Uniform* uniform, GLProgram* program) : uniform_(uniform), program_(program) {}

    // Sends the value through the program's cached setters, by the uniform's type.
    void apply();

    void setInt(int value);
    void setFloat(float value);
    void setVec2(const Vec2& value);
    void setVec3(const Vec3& value);
    void setVec4(const Vec4& value);
    void setMat4(const Mat4& value);
    void setTexture(GLuint textureId, GLuint textureUnit);
    void setCallback(const Callback& callback);

    Uniform* getUniform() const { return uniform_; }
    void setUniform(Uniform* uniform) { uniform_ = uniform; }

private:
    // A new plain value replaces any callback.
    void clearCallback();

    Uniform* uniform_ = nullptr;
    GLProgram* program_ = nullptr;
    bool useCallback_ = false;
    union {
        int intValue;
        float floatValue;
        float v2Value[2];
        float v3Value[3];
        float v4Value[4];
        float matrixValue[16];
        struct {
            GLuint textureId;
            GLuint textureUnit;
        } tex;
    } value_ = {};
    Callback callback_;
};

// How one vertex attribute is fed before each draw.
class VertexAttribValue {
public:
    using Callback = std::function<void(VertexAttrib*)>;

    VertexAttribValue() = default;
    explicit VertexAttribValue(VertexAttrib* attribute) : vertexAttrib_(attribute) {}

    // Disabled values do nothing.
    void apply();

    void setPointer(GLint size, GLenum type, GLboolean normalized, GLsizei stride, const GLvoid* pointer);
    void setCallback(const Callback& callback);

    VertexAttrib* getVertexAttrib() const { return vertexAttrib_; }
    void setVertexAttrib(VertexAttrib* attribute) { vertexAttrib_ = attribute; }
    bool isEnabled() const { return enabled_; }

private:
    VertexAttrib* vertexAttrib_ = nullptr;
    bool useCallback_ = false;
    bool enabled_ = false;
    struct {
        GLint size = 0;
        GLenum type = 0;
        GLboolean normalized = GL_FALSE;
        GLsizei stride = 0;
        const GLvoid* pointer = nullptr;
    } pointer_;
    Callback callback_;
};

class GLProgramState : public Ref {
public:
    // The shared state of the named program, or null when the program cache
    // has no program of that name.
    static GLProgramState* getOrCreateWithGLProgramName(const std::string& programName);
    // The shared state of the program, made on first use.
    static GLProgramState* getOrCreateWithGLProgram(GLProgram* program);

    GLProgramState() = default;
    ~GLProgramState() override;
    bool init(GLProgram* program);

    // Program, built-ins with the model-view matrix, attributes and uniforms.
    void apply(const Mat4& modelView);
    void applyGLProgram(const Mat4& modelView);
    void applyAttributes(bool applyAttribFlags = true);
    void applyUniforms();

    // Null when the program has no user uniform of that name.
    UniformValue* getUniformValue(const std::string& name);
    VertexAttribValue* getVertexAttribValue(const std::string& name);

    // Setters for names the program does not have change nothing.
    void setUniformInt(const std::string& name, int value);
    void setUniformFloat(const std::string& name, float value);
    void setUniformVec2(const std::string& name, const Vec2& value);
    void setUniformVec3(const std::string& name, const Vec3& value);
    void setUniformVec4(const std::string& name, const Vec4& value);
    void setUniformMat4(const std::string& name, const Mat4& value);
    // A sampler: on apply the sampler is set to the unit and the texture bound on it.
    void setUniformTexture(const std::string& name, GLuint textureId, GLuint textureUnit);
    void setUniformCallback(const std::string& name, const UniformValue::Callback& callback);

    void setVertexAttribPointer(const std::string& name, GLint size, GLenum type, GLboolean normalized, GLsizei stride,
                                const GLvoid* pointer);
    void setVertexAttribCallback(const std::string& name, const VertexAttribValue::Callback& callback);

    GLProgram* getGLProgram() const { return glprogram_; }
    // Bit i set: the attribute at location i is fed by this state.
    std::uint32_t getVertexAttribsFlags() {
        updateUniformsAndAttributes();
        return vertexAttribsFlags_;
    }
    std::size_t getUniformCount() const { return uniforms_.size(); }
    std::size_t getVertexAttribCount() const { return attributes_.size(); }

private:
    // Points the values at the program's current records; only while dirty.
    void updateUniformsAndAttributes();

    bool uniformAttributeValueDirty_ = true;
    std::unordered_map<std::string, GLint> uniformsByName_;
    std::unordered_map<GLint, UniformValue> uniforms_;
    std::unordered_map<std::string, VertexAttribValue> attributes_;
    std::uint32_t vertexAttribsFlags_ = 0;
    GLProgram* glprogram_ = nullptr;
};

// Keeps exactly one state per program.
class GLProgramStateCache {
public:
    static GLProgramStateCache* getInstance();
    static void destroyInstance();

    GLProgramState* getGLProgramState(GLProgram* program);
    void removeAllGLProgramState();

    ~GLProgramStateCache();

private:
    GLProgramStateCache() = default;

    std::unordered_map<GLProgram*, GLProgramState*> glProgramStates_;
};

}  // namespace kite
