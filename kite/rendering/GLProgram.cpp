// Shader compilation and linking, attribute and uniform discovery, cached uniform setters and built-ins.
#include "kite/rendering/GLProgram.h"

#include <new>
#include "kite/foundation/FrameCosts.h"
#include "kite/foundation/Log.h"
#include "kite/rendering/DirectorFrameServices.h"
#include "kite/rendering/GLStateCache.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kite {
namespace {

constexpr const char* kVertexPrecision = "precision highp float;\n precision highp int;\n";
constexpr const char* kFragmentPrecision = "precision mediump float;\n precision mediump int;\n";
// The float built-ins carry their own precision: the stages' default float precisions
// differ, and a uniform read in both stages must be declared alike in both to link.
constexpr const char* kBuiltinHeader =
    "uniform highp mat4 KT_PMatrix;\n"
    "uniform highp mat4 KT_MVMatrix;\n"
    "uniform highp mat4 KT_MVPMatrix;\n"
    "uniform highp mat3 KT_NormalMatrix;\n"
    "uniform highp vec4 KT_Time;\n"
    "uniform highp vec4 KT_SinTime;\n"
    "uniform highp vec4 KT_CosTime;\n"
    "uniform highp vec4 KT_Random01;\n"
    "uniform sampler2D KT_Texture0;\n"
    "uniform sampler2D KT_Texture1;\n"
    "uniform sampler2D KT_Texture2;\n"
    "uniform sampler2D KT_Texture3;\n"
    "//CC INCLUDES END\n\n";

std::string shaderInfoLog(GLuint shader) {
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    if (length < 1) return std::string();
    std::vector<char> text(static_cast<std::size_t>(length) + 1, '\0');
    glGetShaderInfoLog(shader, length, nullptr, text.data());
    return text.data();
}

std::string programInfoLog(GLuint program) {
    GLint length = 0;
    glGetProgramiv(program, GL_INFO_LOG_LENGTH, &length);
    if (length < 1) return std::string();
    std::vector<char> text(static_cast<std::size_t>(length) + 1, '\0');
    glGetProgramInfoLog(program, length, nullptr, text.data());
    return text.data();
}

// rand() scaled by 2^-31; the largest draws would round up to 1 in float.
float random01() {
    const float value = static_cast<float>(static_cast<double>(std::rand()) / 2147483648.0);
    return std::fmin(value, 0.99999994f);
}

enum class ActiveKind { ATTRIBUTES, UNIFORMS };

// Each active attribute or uniform of a linked program, with its size, type and name.
template <class Visit>
void forEachActive(GLuint program, ActiveKind kind, Visit visit) {
    const bool uniforms = kind == ActiveKind::UNIFORMS;
    GLint count = 0;
    glGetProgramiv(program, uniforms ? GL_ACTIVE_UNIFORMS : GL_ACTIVE_ATTRIBUTES, &count);
    if (count < 1) return;
    GLint maxLength = 0;
    glGetProgramiv(program, uniforms ? GL_ACTIVE_UNIFORM_MAX_LENGTH : GL_ACTIVE_ATTRIBUTE_MAX_LENGTH, &maxLength);
    if (maxLength < 1) return;
    std::vector<char> name(static_cast<std::size_t>(maxLength) + 1, '\0');
    for (GLint i = 0; i < count; ++i) {
        GLint size = 0;
        GLenum type = 0;
        GLsizei length = 0;
        if (uniforms)
            glGetActiveUniform(program, static_cast<GLuint>(i), maxLength, &length, &size, &type, name.data());
        else
            glGetActiveAttrib(program, static_cast<GLuint>(i), maxLength, &length, &size, &type, name.data());
        name[static_cast<std::size_t>(length)] = '\0';
        visit(size, type, name.data());
    }
}

}  // namespace

const char* GLProgram::builtinUniformHeader() { return kBuiltinHeader; }

GLProgram* GLProgram::createWithByteArrays(const char* vertexSource, const char* fragmentSource) {
    GLProgram* program = new (std::nothrow) GLProgram();
    if (program && program->initWithByteArrays(vertexSource, fragmentSource) && program->link()) {
        program->updateUniforms();
        program->autorelease();
        return program;
    }
    delete program;
    return nullptr;
}

GLProgram::GLProgram() = default;

GLProgram::~GLProgram() {
    if (vertShader_) glDeleteShader(vertShader_);
    if (fragShader_) glDeleteShader(fragShader_);
    vertShader_ = fragShader_ = 0;
    if (program_) GLStateCache::deleteProgram(program_);
}

bool GLProgram::initWithByteArrays(const char* vertexSource, const char* fragmentSource) {
    program_ = glCreateProgram();
    vertShader_ = fragShader_ = 0;
    if (vertexSource && !compileShader(&vertShader_, GL_VERTEX_SHADER, vertexSource)) return false;
    if (fragmentSource && !compileShader(&fragShader_, GL_FRAGMENT_SHADER, fragmentSource)) return false;
    if (vertShader_) glAttachShader(program_, vertShader_);
    if (fragShader_) glAttachShader(program_, fragShader_);
    hashForUniforms_.clear();
    return true;
}

bool GLProgram::compileShader(GLuint* shader, GLenum type, const char* source) {
    FrameCosts::Scope step("shader compile");
    if (!source) return false;
    const char* sources[] = {
        type == GL_VERTEX_SHADER ? kVertexPrecision : kFragmentPrecision,
        kBuiltinHeader,
        source,
    };
    *shader = glCreateShader(type);
    glShaderSource(*shader, 3, sources, nullptr);
    glCompileShader(*shader);
    GLint status = 0;
    glGetShaderiv(*shader, GL_COMPILE_STATUS, &status);
    if (!status) {
        log("kite: failed to compile the %s shader: %s", type == GL_VERTEX_SHADER ? "vertex" : "fragment",
            shaderInfoLog(*shader).c_str());
        glDeleteShader(*shader);
        *shader = 0;
        return false;
    }
    return status == GL_TRUE;
}

void GLProgram::bindPredefinedVertexAttribs() {
    static const struct {
        const char* name;
        GLuint index;
    } attributes[] = {
        {ATTRIBUTE_NAME_POSITION, VERTEX_ATTRIB_POSITION},     {ATTRIBUTE_NAME_COLOR, VERTEX_ATTRIB_COLOR},
        {ATTRIBUTE_NAME_TEX_COORD, VERTEX_ATTRIB_TEX_COORD},   {ATTRIBUTE_NAME_TEX_COORD1, VERTEX_ATTRIB_TEX_COORD1},
        {ATTRIBUTE_NAME_TEX_COORD2, VERTEX_ATTRIB_TEX_COORD2}, {ATTRIBUTE_NAME_TEX_COORD3, VERTEX_ATTRIB_TEX_COORD3},
        {ATTRIBUTE_NAME_NORMAL, VERTEX_ATTRIB_NORMAL},
    };
    for (const auto& attribute : attributes) glBindAttribLocation(program_, attribute.index, attribute.name);
}

bool GLProgram::link() {
    FrameCosts::Scope step("shader compile");
    bindPredefinedVertexAttribs();
    glLinkProgram(program_);
    GLint status = GL_FALSE;
    glGetProgramiv(program_, GL_LINK_STATUS, &status);
    const bool linked = status == GL_TRUE;
    if (!linked) log("kite: failed to link the program %u: %s", program_, programInfoLog(program_).c_str());
    parseVertexAttribs();
    parseUniforms();
    if (vertShader_) glDeleteShader(vertShader_);
    if (fragShader_) glDeleteShader(fragShader_);
    vertShader_ = fragShader_ = 0;
    return linked;
}

void GLProgram::parseVertexAttribs() {
    vertexAttribs_.clear();
    forEachActive(program_, ActiveKind::ATTRIBUTES, [this](GLint size, GLenum type, const char* name) {
        VertexAttrib attribute;
        attribute.size = size;
        attribute.type = type;
        attribute.name = name;
        attribute.index = static_cast<GLuint>(glGetAttribLocation(program_, name));
        vertexAttribs_[attribute.name] = attribute;
    });
}

void GLProgram::parseUniforms() {
    userUniforms_.clear();
    forEachActive(program_, ActiveKind::UNIFORMS, [this](GLint size, GLenum type, const char* name) {
        if (std::strncmp(name, "KT_", 3) == 0) return;
        Uniform uniform;
        uniform.size = size;
        uniform.type = type;
        std::string bare = name;
        // Arrays are reported as "name[0]"; they are kept under the bare name.
        if (bare.size() > 3) {
            std::size_t bracket = bare.rfind('[');
            if (bracket != std::string::npos) bare.erase(bracket);
        }
        uniform.name = bare;
        uniform.location = glGetUniformLocation(program_, bare.c_str());
        glGetError();  // a failed lookup must not be blamed on the next call
        userUniforms_[bare] = uniform;
    });
}

void GLProgram::updateUniforms() {
    static const char* const names[UNIFORM_MAX] = {
        UNIFORM_NAME_AMBIENT_COLOR, UNIFORM_NAME_P_MATRIX, UNIFORM_NAME_MV_MATRIX, UNIFORM_NAME_MVP_MATRIX,
        UNIFORM_NAME_NORMAL_MATRIX, UNIFORM_NAME_TIME,     UNIFORM_NAME_SIN_TIME,  UNIFORM_NAME_COS_TIME,
        UNIFORM_NAME_RANDOM01,      UNIFORM_NAME_SAMPLER0, UNIFORM_NAME_SAMPLER1,  UNIFORM_NAME_SAMPLER2,
        UNIFORM_NAME_SAMPLER3,
    };
    for (int i = 0; i < UNIFORM_MAX; ++i) builtInUniforms_[i] = glGetUniformLocation(program_, names[i]);

    flags_ = 0;
    if (builtInUniforms_[UNIFORM_P_MATRIX] != -1) flags_ |= FLAG_USES_P;
    if (builtInUniforms_[UNIFORM_MV_MATRIX] != -1) flags_ |= FLAG_USES_MV;
    if (builtInUniforms_[UNIFORM_MVP_MATRIX] != -1) flags_ |= FLAG_USES_MVP;
    if (builtInUniforms_[UNIFORM_NORMAL_MATRIX] != -1) flags_ |= FLAG_USES_NORMAL;
    if (builtInUniforms_[UNIFORM_TIME] != -1 || builtInUniforms_[UNIFORM_SIN_TIME] != -1 ||
        builtInUniforms_[UNIFORM_COS_TIME] != -1)
        flags_ |= FLAG_USES_TIME;
    if (builtInUniforms_[UNIFORM_RANDOM01] != -1) flags_ |= FLAG_USES_RANDOM;

    use();
    for (int unit = 0; unit < 4; ++unit) {
        const GLint location = builtInUniforms_[UNIFORM_SAMPLER0 + unit];
        if (location != -1) setUniformLocationWith1i(location, unit);
    }
}

void GLProgram::use() { GLStateCache::useProgram(program_); }

void GLProgram::bindAttribLocation(const std::string& attributeName, GLuint index) const {
    glBindAttribLocation(program_, index, attributeName.c_str());
}

GLint GLProgram::getAttribLocation(const std::string& attributeName) const {
    return glGetAttribLocation(program_, attributeName.c_str());
}

GLint GLProgram::getUniformLocation(const std::string& attributeName) const {
    return glGetUniformLocation(program_, attributeName.c_str());
}

GLint GLProgram::getUniformLocationForName(const char* name) const {
    return name ? glGetUniformLocation(program_, name) : -1;
}

Uniform* GLProgram::getUniform(const std::string& name) {
    auto it = userUniforms_.find(name);
    return it == userUniforms_.end() ? nullptr : &it->second;
}

VertexAttrib* GLProgram::getVertexAttrib(const std::string& name) {
    auto it = vertexAttribs_.find(name);
    return it == vertexAttribs_.end() ? nullptr : &it->second;
}

bool GLProgram::updateUniformLocation(GLint location, const void* data, std::size_t bytes) {
    if (location < 0) return false;
    auto it = hashForUniforms_.find(location);
    if (it == hashForUniforms_.end()) {
        const auto* begin = static_cast<const std::uint8_t*>(data);
        hashForUniforms_.emplace(location, std::vector<std::uint8_t>(begin, begin + bytes));
        return true;
    }
    std::vector<std::uint8_t>& cached = it->second;
    if (cached.size() >= bytes && std::memcmp(cached.data(), data, bytes) == 0) return false;
    if (cached.size() < bytes) cached.resize(bytes);
    std::memcpy(cached.data(), data, bytes);
    return true;
}

void GLProgram::setUniformLocationWith1i(GLint location, GLint i1) {
    if (updateUniformLocation(location, &i1, sizeof(i1))) glUniform1i(location, i1);
}

void GLProgram::setUniformLocationWith1f(GLint location, GLfloat f1) {
    if (updateUniformLocation(location, &f1, sizeof(f1))) glUniform1f(location, f1);
}

void GLProgram::setUniformLocationWith2f(GLint location, GLfloat f1, GLfloat f2) {
    const GLfloat floats[2] = {f1, f2};
    if (updateUniformLocation(location, floats, sizeof(floats))) glUniform2f(location, f1, f2);
}

void GLProgram::setUniformLocationWith3f(GLint location, GLfloat f1, GLfloat f2, GLfloat f3) {
    const GLfloat floats[3] = {f1, f2, f3};
    if (updateUniformLocation(location, floats, sizeof(floats))) glUniform3f(location, f1, f2, f3);
}

void GLProgram::setUniformLocationWith4f(GLint location, GLfloat f1, GLfloat f2, GLfloat f3, GLfloat f4) {
    const GLfloat floats[4] = {f1, f2, f3, f4};
    if (updateUniformLocation(location, floats, sizeof(floats))) glUniform4f(location, f1, f2, f3, f4);
}

void GLProgram::setUniformLocationWith1fv(GLint location, const GLfloat* floats, unsigned int numberOfArrays) {
    if (updateUniformLocation(location, floats, sizeof(GLfloat) * numberOfArrays))
        glUniform1fv(location, static_cast<GLsizei>(numberOfArrays), floats);
}

void GLProgram::setUniformLocationWith3fv(GLint location, const GLfloat* floats, unsigned int numberOfArrays) {
    if (updateUniformLocation(location, floats, sizeof(GLfloat) * 3 * numberOfArrays))
        glUniform3fv(location, static_cast<GLsizei>(numberOfArrays), floats);
}

void GLProgram::setUniformLocationWith4fv(GLint location, const GLfloat* floats, unsigned int numberOfArrays) {
    if (updateUniformLocation(location, floats, sizeof(GLfloat) * 4 * numberOfArrays))
        glUniform4fv(location, static_cast<GLsizei>(numberOfArrays), floats);
}

void GLProgram::setUniformLocationWithMatrix3fv(GLint location, const GLfloat* matrices,
                                                unsigned int numberOfMatrices) {
    if (updateUniformLocation(location, matrices, sizeof(GLfloat) * 9 * numberOfMatrices))
        glUniformMatrix3fv(location, static_cast<GLsizei>(numberOfMatrices), GL_FALSE, matrices);
}

void GLProgram::setUniformLocationWithMatrix4fv(GLint location, const GLfloat* matrices,
                                                unsigned int numberOfMatrices) {
    if (updateUniformLocation(location, matrices, sizeof(GLfloat) * 16 * numberOfMatrices))
        glUniformMatrix4fv(location, static_cast<GLsizei>(numberOfMatrices), GL_FALSE, matrices);
}

void GLProgram::setUniformsForBuiltins() { setUniformsForBuiltins(getDirectorMatrix(0)); }

void GLProgram::setUniformsForBuiltins(const Mat4& modelView) {
    const Mat4& projection = getDirectorMatrix(1);
    if (flags_ & FLAG_USES_P) setUniformLocationWithMatrix4fv(builtInUniforms_[UNIFORM_P_MATRIX], projection.m, 1);
    if (flags_ & FLAG_USES_MV) setUniformLocationWithMatrix4fv(builtInUniforms_[UNIFORM_MV_MATRIX], modelView.m, 1);
    if (flags_ & FLAG_USES_MVP) {
        const Mat4 modelViewProjection = projection * modelView;
        setUniformLocationWithMatrix4fv(builtInUniforms_[UNIFORM_MVP_MATRIX], modelViewProjection.m, 1);
    }
    if (flags_ & FLAG_USES_NORMAL) {
        Mat4 rotationScale = modelView;
        rotationScale.m[12] = rotationScale.m[13] = rotationScale.m[14] = 0.0f;
        const Mat4 normalMatrix = rotationScale.getInversed().getTransposed();
        GLfloat normal[9];
        for (int column = 0; column < 3; ++column)
            for (int row = 0; row < 3; ++row) normal[column * 3 + row] = normalMatrix.m[column * 4 + row];
        setUniformLocationWithMatrix3fv(builtInUniforms_[UNIFORM_NORMAL_MATRIX], normal, 1);
    }
    if (flags_ & FLAG_USES_TIME) {
        const float time =
            static_cast<float>(static_cast<double>(getDirectorTotalFrames()) * getDirectorAnimationInterval());
        setUniformLocationWith4f(builtInUniforms_[UNIFORM_TIME], time / 10.0f, time, time * 2.0f, time * 4.0f);
        setUniformLocationWith4f(builtInUniforms_[UNIFORM_SIN_TIME], time / 8.0f, time / 4.0f, time / 2.0f,
                                 std::sin(time));
        setUniformLocationWith4f(builtInUniforms_[UNIFORM_COS_TIME], time / 8.0f, time / 4.0f, time / 2.0f,
                                 std::cos(time));
    }
    if (flags_ & FLAG_USES_RANDOM) {
        const float x = random01();
        const float y = random01();
        const float z = random01();
        const float w = random01();
        setUniformLocationWith4f(builtInUniforms_[UNIFORM_RANDOM01], x, y, z, w);
    }
}

std::string GLProgram::getDescription() const {
    char text[128];
    std::snprintf(text, sizeof(text), "<GLProgram = %08zX | Program = %i, VertexShader = %i, FragmentShader = %i>",
                  reinterpret_cast<std::size_t>(this), static_cast<int>(program_), static_cast<int>(vertShader_),
                  static_cast<int>(fragShader_));
    return text;
}

}  // namespace kite
