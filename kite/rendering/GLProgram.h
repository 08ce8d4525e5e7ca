// A linked shader program: compile, link, fixed attribute locations, built-in uniforms, per-location uniform cache.
#pragma once
#include "kite/foundation/Ref.h"
#include "kite/foundation/math/Mat4.h"

#include <GLES2/gl2.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace kite {

struct Uniform {
    GLint location = -1;
    GLint size = 0;  // array length
    GLenum type = 0;
    std::string name;
};

struct VertexAttrib {
    GLuint index = 0;
    GLint size = 0;
    GLenum type = 0;
    std::string name;
};

class GLProgram : public Ref {
public:
    // Attribute locations, fixed engine-wide and bound before every link.
    enum {
        VERTEX_ATTRIB_POSITION,
        VERTEX_ATTRIB_COLOR,
        VERTEX_ATTRIB_TEX_COORD,
        VERTEX_ATTRIB_TEX_COORD1,
        VERTEX_ATTRIB_TEX_COORD2,
        VERTEX_ATTRIB_TEX_COORD3,
        VERTEX_ATTRIB_NORMAL,
        VERTEX_ATTRIB_MAX,
    };

    // Built-in uniforms, in the order their locations are kept.
    enum {
        UNIFORM_AMBIENT_COLOR,
        UNIFORM_P_MATRIX,
        UNIFORM_MV_MATRIX,
        UNIFORM_MVP_MATRIX,
        UNIFORM_NORMAL_MATRIX,
        UNIFORM_TIME,
        UNIFORM_SIN_TIME,
        UNIFORM_COS_TIME,
        UNIFORM_RANDOM01,
        UNIFORM_SAMPLER0,
        UNIFORM_SAMPLER1,
        UNIFORM_SAMPLER2,
        UNIFORM_SAMPLER3,
        UNIFORM_MAX,
    };

    // Bits of the built-in flags: which built-ins the linked program reads.
    enum : std::uint8_t {
        FLAG_USES_TIME = 1 << 0,
        FLAG_USES_NORMAL = 1 << 1,
        FLAG_USES_MVP = 1 << 2,
        FLAG_USES_MV = 1 << 3,
        FLAG_USES_P = 1 << 4,
        FLAG_USES_RANDOM = 1 << 5,
    };

    static constexpr const char* SHADER_NAME_POSITION_TEXTURE_COLOR = "ShaderPositionTextureColor";
    static constexpr const char* SHADER_NAME_POSITION_TEXTURE_COLOR_NO_MVP = "ShaderPositionTextureColor_noMVP";
    static constexpr const char* SHADER_NAME_POSITION_TEXTURE_ALPHA_TEST = "ShaderPositionTextureColorAlphaTest";
    static constexpr const char* SHADER_NAME_POSITION_TEXTURE_ALPHA_TEST_NO_MV =
        "ShaderPositionTextureColorAlphaTest_NoMV";
    static constexpr const char* SHADER_NAME_POSITION_COLOR = "ShaderPositionColor";
    static constexpr const char* SHADER_NAME_POSITION_COLOR_TEXASPOINTSIZE = "ShaderPositionColorTexAsPointsize";
    static constexpr const char* SHADER_NAME_POSITION_COLOR_NO_MVP = "ShaderPositionColor_noMVP";
    static constexpr const char* SHADER_NAME_POSITION_TEXTURE = "ShaderPositionTexture";
    static constexpr const char* SHADER_NAME_POSITION_TEXTURE_U_COLOR = "ShaderPositionTexture_uColor";
    static constexpr const char* SHADER_NAME_POSITION_TEXTURE_A8_COLOR = "ShaderPositionTextureA8Color";
    static constexpr const char* SHADER_NAME_POSITION_U_COLOR = "ShaderPosition_uColor";
    static constexpr const char* SHADER_NAME_POSITION_LENGTH_TEXTURE_COLOR = "ShaderPositionLengthTextureColor";
    static constexpr const char* SHADER_NAME_LABEL_DISTANCEFIELD_NORMAL = "ShaderLabelDFNormal";
    static constexpr const char* SHADER_NAME_LABEL_DISTANCEFIELD_GLOW = "ShaderLabelDFGlow";
    static constexpr const char* SHADER_NAME_LABEL_NORMAL = "ShaderLabelNormal";
    static constexpr const char* SHADER_NAME_LABEL_OUTLINE = "ShaderLabelOutline";
    static constexpr const char* SHADER_3D_POSITION = "Shader3DPosition";
    static constexpr const char* SHADER_3D_POSITION_TEXTURE = "Shader3DPositionTexture";
    static constexpr const char* SHADER_3D_SKINPOSITION_TEXTURE = "Shader3DSkinPositionTexture";
    static constexpr const char* SHADER_3D_POSITION_NORMAL = "Shader3DPositionNormal";
    static constexpr const char* SHADER_3D_POSITION_NORMAL_TEXTURE = "Shader3DPositionNormalTexture";
    static constexpr const char* SHADER_3D_SKINPOSITION_NORMAL_TEXTURE = "Shader3DSkinPositionNormalTexture";

    static constexpr const char* UNIFORM_NAME_AMBIENT_COLOR = "KT_AmbientColor";
    static constexpr const char* UNIFORM_NAME_P_MATRIX = "KT_PMatrix";
    static constexpr const char* UNIFORM_NAME_MV_MATRIX = "KT_MVMatrix";
    static constexpr const char* UNIFORM_NAME_MVP_MATRIX = "KT_MVPMatrix";
    static constexpr const char* UNIFORM_NAME_NORMAL_MATRIX = "KT_NormalMatrix";
    static constexpr const char* UNIFORM_NAME_TIME = "KT_Time";
    static constexpr const char* UNIFORM_NAME_SIN_TIME = "KT_SinTime";
    static constexpr const char* UNIFORM_NAME_COS_TIME = "KT_CosTime";
    static constexpr const char* UNIFORM_NAME_RANDOM01 = "KT_Random01";
    static constexpr const char* UNIFORM_NAME_SAMPLER0 = "KT_Texture0";
    static constexpr const char* UNIFORM_NAME_SAMPLER1 = "KT_Texture1";
    static constexpr const char* UNIFORM_NAME_SAMPLER2 = "KT_Texture2";
    static constexpr const char* UNIFORM_NAME_SAMPLER3 = "KT_Texture3";
    static constexpr const char* UNIFORM_NAME_ALPHA_TEST_VALUE = "KT_alpha_value";

    static constexpr const char* ATTRIBUTE_NAME_POSITION = "a_position";
    static constexpr const char* ATTRIBUTE_NAME_COLOR = "a_color";
    static constexpr const char* ATTRIBUTE_NAME_TEX_COORD = "a_texCoord";
    static constexpr const char* ATTRIBUTE_NAME_TEX_COORD1 = "a_texCoord1";
    static constexpr const char* ATTRIBUTE_NAME_TEX_COORD2 = "a_texCoord2";
    static constexpr const char* ATTRIBUTE_NAME_TEX_COORD3 = "a_texCoord3";
    static constexpr const char* ATTRIBUTE_NAME_NORMAL = "a_normal";

    // The declarations prepended to every shader after its precision line.
    static const char* builtinUniformHeader();

    // An autoreleased program that compiled, linked and has its built-ins
    // looked up, or null.
    static GLProgram* createWithByteArrays(const char* vertexSource, const char* fragmentSource);

    GLProgram();
    ~GLProgram() override;

    // False when a given source does not compile (either may be null).
    bool initWithByteArrays(const char* vertexSource, const char* fragmentSource);
    // False, with the info log in the log, when the program does not link.
    bool link();
    void updateUniforms();
    void use();

    void bindAttribLocation(const std::string& attributeName, GLuint index) const;
    GLint getAttribLocation(const std::string& attributeName) const;
    GLint getUniformLocation(const std::string& attributeName) const;
    GLint getUniformLocationForName(const char* name) const;
    Uniform* getUniform(const std::string& name);
    VertexAttrib* getVertexAttrib(const std::string& name);
    const std::unordered_map<std::string, Uniform>& getUserUniforms() const { return userUniforms_; }
    const std::unordered_map<std::string, VertexAttrib>& getVertexAttribs() const { return vertexAttribs_; }

    // Each setter sends only when the value differs from the last one sent to
    // that location; a location of -1 sends nothing.
    void setUniformLocationWith1i(GLint location, GLint i1);
    void setUniformLocationWith1f(GLint location, GLfloat f1);
    void setUniformLocationWith2f(GLint location, GLfloat f1, GLfloat f2);
    void setUniformLocationWith3f(GLint location, GLfloat f1, GLfloat f2, GLfloat f3);
    void setUniformLocationWith4f(GLint location, GLfloat f1, GLfloat f2, GLfloat f3, GLfloat f4);
    void setUniformLocationWith1fv(GLint location, const GLfloat* floats, unsigned int numberOfArrays);
    void setUniformLocationWith3fv(GLint location, const GLfloat* floats, unsigned int numberOfArrays);
    void setUniformLocationWith4fv(GLint location, const GLfloat* floats, unsigned int numberOfArrays);
    void setUniformLocationWithMatrix3fv(GLint location, const GLfloat* matrices, unsigned int numberOfMatrices);
    void setUniformLocationWithMatrix4fv(GLint location, const GLfloat* matrices, unsigned int numberOfMatrices);

    // Sends the built-ins the program reads: projection (the director's),
    // model-view, their product, the normal matrix, time and random values.
    void setUniformsForBuiltins(const Mat4& modelView);
    // The same with the top of the director's model-view stack.
    void setUniformsForBuiltins();

    GLuint getProgram() const { return program_; }
    GLint getBuiltinUniformLocation(int which) const { return builtInUniforms_[which]; }
    std::uint8_t getBuiltinFlags() const { return flags_; }
    std::string getDescription() const;

private:
    bool compileShader(GLuint* shader, GLenum type, const char* source);
    void bindPredefinedVertexAttribs();
    void parseVertexAttribs();
    void parseUniforms();
    // True when the value differs from the cached one and must be sent.
    bool updateUniformLocation(GLint location, const void* data, std::size_t bytes);

    GLuint program_ = 0;
    GLuint vertShader_ = 0;
    GLuint fragShader_ = 0;
    GLint builtInUniforms_[UNIFORM_MAX] = {};
    std::uint8_t flags_ = 0;
    std::unordered_map<std::string, Uniform> userUniforms_;
    std::unordered_map<std::string, VertexAttrib> vertexAttribs_;
    std::unordered_map<GLint, std::vector<std::uint8_t>> hashForUniforms_;
};

}  // namespace kite
