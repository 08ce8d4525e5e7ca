#include "kite/rendering/MeshCommand.h"

#include "kite/rendering/Configuration.h"
#include "kite/rendering/DirectorFrameServices.h"
#include "kite/rendering/GLProgram.h"
#include "kite/rendering/GLProgramState.h"
#include "kite/rendering/GLStateCache.h"
#include "kite/rendering/Renderer.h"
#include "platform/GLExtensions.h"

#include <algorithm>
#include <vector>

namespace kite {

namespace {

// The staging arrays of the light uniforms, three floats per light for colours, positions and directions.
struct LightUniformValues {
    std::vector<GLfloat> dirColors, dirDirections;
    std::vector<GLfloat> pointColors, pointPositions, pointRangeInverses;
    std::vector<GLfloat> spotColors, spotPositions, spotDirections;
    std::vector<GLfloat> spotInnerAngleCos, spotOuterAngleCos, spotRangeInverses;
};

LightUniformValues& lightValues() {
    static LightUniformValues values;
    return values;
}

void put3(std::vector<GLfloat>& values, std::size_t index, const Vec3& v) {
    values[3 * index] = v.x;
    values[3 * index + 1] = v.y;
    values[3 * index + 2] = v.z;
}

// A range of 0 or less reaches nothing.
GLfloat rangeInverse(float range) { return range > 0.0f ? 1.0f / range : 1e6f; }

void send3(GLProgram* program, const char* name, const std::vector<GLfloat>& values) {
    if (values.empty()) return;
    program->setUniformLocationWith3fv(program->getUniformLocationForName(name), values.data(),
                                       static_cast<unsigned int>(values.size() / 3));
}

void send1(GLProgram* program, const char* name, const std::vector<GLfloat>& values) {
    if (values.empty()) return;
    program->setUniformLocationWith1fv(program->getUniformLocationForName(name), values.data(),
                                       static_cast<unsigned int>(values.size()));
}

// Lights past the configured limit of their kind are left out; ambient colours add up.
Vec3 stageLights(unsigned int lightMask) {
    LightUniformValues& v = lightValues();
    std::size_t dir = 0, point = 0, spot = 0;
    Vec3 ambient;
    for (const SceneLight& light : frameSceneLights()) {
        if ((light.flag & lightMask) == 0) continue;
        switch (light.type) {
            case SceneLight::Type::DIRECTIONAL:
                if (3 * dir >= v.dirColors.size()) break;
                put3(v.dirColors, dir, light.color);
                put3(v.dirDirections, dir++, light.direction);
                break;
            case SceneLight::Type::POINT:
                if (point >= v.pointRangeInverses.size()) break;
                put3(v.pointColors, point, light.color);
                put3(v.pointPositions, point, light.position);
                v.pointRangeInverses[point++] = rangeInverse(light.range);
                break;
            case SceneLight::Type::SPOT:
                if (spot >= v.spotRangeInverses.size()) break;
                put3(v.spotColors, spot, light.color);
                put3(v.spotPositions, spot, light.position);
                put3(v.spotDirections, spot, light.direction);
                v.spotInnerAngleCos[spot] = light.innerAngleCos;
                v.spotOuterAngleCos[spot] = light.outerAngleCos;
                v.spotRangeInverses[spot++] = rangeInverse(light.range);
                break;
            case SceneLight::Type::AMBIENT: ambient += light.color; break;
        }
    }
    return ambient;
}

}  // namespace

void MeshCommand::resetLightUniformValues() {
    const Configuration* configuration = Configuration::getInstance();
    const auto dir = static_cast<std::size_t>(std::max(0, configuration->getMaxSupportDirLightInShader()));
    const auto point = static_cast<std::size_t>(std::max(0, configuration->getMaxSupportPointLightInShader()));
    const auto spot = static_cast<std::size_t>(std::max(0, configuration->getMaxSupportSpotLightInShader()));
    LightUniformValues& v = lightValues();
    for (auto* values : {&v.dirColors, &v.dirDirections}) values->assign(3 * dir, 0.0f);
    for (auto* values : {&v.pointColors, &v.pointPositions}) values->assign(3 * point, 0.0f);
    v.pointRangeInverses.assign(point, 0.0f);
    for (auto* values : {&v.spotColors, &v.spotPositions, &v.spotDirections}) values->assign(3 * spot, 0.0f);
    for (auto* values : {&v.spotInnerAngleCos, &v.spotOuterAngleCos, &v.spotRangeInverses}) values->assign(spot, 0.0f);
}

void MeshCommand::setLightUniforms() {
    if (lightMask_ == 0 || !glProgramState_) return;
    GLProgram* program = glProgramState_->getGLProgram();
    if (!program) return;
    resetLightUniformValues();
    const Vec3 ambient = stageLights(lightMask_);
    const LightUniformValues& v = lightValues();
    send3(program, "u_DirLightSourceColor", v.dirColors);
    send3(program, "u_DirLightSourceDirection", v.dirDirections);
    send3(program, "u_PointLightSourceColor", v.pointColors);
    send3(program, "u_PointLightSourcePosition", v.pointPositions);
    send1(program, "u_PointLightSourceRangeInverse", v.pointRangeInverses);
    send3(program, "u_SpotLightSourceColor", v.spotColors);
    send3(program, "u_SpotLightSourcePosition", v.spotPositions);
    send3(program, "u_SpotLightSourceDirection", v.spotDirections);
    send1(program, "u_SpotLightSourceInnerAngleCos", v.spotInnerAngleCos);
    send1(program, "u_SpotLightSourceOuterAngleCos", v.spotOuterAngleCos);
    send1(program, "u_SpotLightSourceRangeInverse", v.spotRangeInverses);
    program->setUniformLocationWith3f(program->getUniformLocationForName("u_AmbientLightSourceColor"), ambient.x,
                                      ambient.y, ambient.z);
}

MeshCommand::~MeshCommand() { releaseVAO(); }

void MeshCommand::init(float globalOrder, GLuint textureID, GLProgramState* glProgramState, BlendFunc blendType,
                       GLuint vertexBuffer, GLuint indexBuffer, GLenum primitive, GLenum indexFormat,
                       ssize_t indexCount, const Mat4& modelView, std::uint32_t flags) {
    RenderCommand::init(globalOrder, modelView, flags);
    textureID_ = textureID;
    blendType_ = blendType;
    if (glProgramState_ != glProgramState || vertexBuffer_ != vertexBuffer || indexBuffer_ != indexBuffer)
        releaseVAO();  // the recorded bindings no longer match
    glProgramState_ = glProgramState;
    vertexBuffer_ = vertexBuffer;
    indexBuffer_ = indexBuffer;
    primitive_ = primitive;
    indexFormat_ = indexFormat;
    indexCount_ = indexCount;
    modelView_ = modelView;
}

void MeshCommand::applyRenderState() {
    renderStateCullFace_ = glIsEnabled(GL_CULL_FACE) == GL_TRUE;
    renderStateDepthTest_ = glIsEnabled(GL_DEPTH_TEST) == GL_TRUE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &renderStateDepthWrite_);
    if (cullFaceEnabled_ && !renderStateCullFace_) glEnable(GL_CULL_FACE);
    glCullFace(cullFace_);
    if (depthTestEnabled_ && !renderStateDepthTest_) glEnable(GL_DEPTH_TEST);
    if (depthWriteEnabled_ && !renderStateDepthWrite_) glDepthMask(GL_TRUE);
}

void MeshCommand::restoreRenderState() {
    if (renderStateCullFace_)
        glEnable(GL_CULL_FACE);
    else
        glDisable(GL_CULL_FACE);
    if (renderStateDepthTest_)
        glEnable(GL_DEPTH_TEST);
    else
        glDisable(GL_DEPTH_TEST);
    glDepthMask(renderStateDepthWrite_);
}

void MeshCommand::setUniforms() {
    if (!glProgramState_) return;
    glProgramState_->setUniformVec4("u_color", displayColor_);
    if (matrixPaletteSize_ > 0 && matrixPalette_) {
        const Vec4* palette = matrixPalette_;
        const int rows = matrixPaletteSize_;
        glProgramState_->setUniformCallback("u_matrixPalette", [palette, rows](GLProgram* program, Uniform* uniform) {
            program->setUniformLocationWith4fv(uniform->location, reinterpret_cast<const GLfloat*>(palette), rows);
        });
    }
}

void MeshCommand::countDraw() const {
    if (Renderer* renderer = frameRenderer()) {
        renderer->addDrawnBatches(1);
        renderer->addDrawnVertices(indexCount_);
    }
}

void MeshCommand::buildVAO() {
    releaseVAO();
    platform::glGenVertexArraysOES(1, &vao_);
    GLStateCache::bindVAO(vao_);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    if (glProgramState_) {
        // Inside the vertex array object the arrays are enabled directly.
        glProgramState_->applyAttributes(false);
        const std::uint32_t flags = glProgramState_->getVertexAttribsFlags();
        for (GLuint i = 0; flags >> i; ++i)
            if (flags & (1u << i)) glEnableVertexAttribArray(i);
    }
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_);
    GLStateCache::bindVAO(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

void MeshCommand::releaseVAO() {
    if (vao_ && Configuration::getInstance()->supportsVertexArrayObject()) {
        platform::glDeleteVertexArraysOES(1, &vao_);
        GLStateCache::bindVAO(0);
    }
    vao_ = 0;
}

void MeshCommand::preBatchDraw() {
    GLStateCache::bindTexture2D(textureID_);
    GLStateCache::blendFunc(blendType_.src, blendType_.dst);
    if (Configuration::getInstance()->supportsVertexArrayObject()) {
        if (!vao_) buildVAO();
        GLStateCache::bindVAO(vao_);
    } else {
        glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
        if (glProgramState_) glProgramState_->applyAttributes(true);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_);
    }
}

void MeshCommand::batchDraw() {
    setUniforms();
    applyRenderState();
    if (glProgramState_) {
        glProgramState_->applyGLProgram(modelView_);
        glProgramState_->applyUniforms();
    }
    setLightUniforms();
    glDrawElements(primitive_, static_cast<GLsizei>(indexCount_), indexFormat_, nullptr);
    countDraw();
}

void MeshCommand::postBatchDraw() {
    restoreRenderState();
    if (vao_) {
        GLStateCache::bindVAO(0);
    } else {
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    }
}

void MeshCommand::execute() {
    applyRenderState();
    GLStateCache::bindTexture2D(textureID_);
    GLStateCache::blendFunc(blendType_.src, blendType_.dst);
    glBindBuffer(GL_ARRAY_BUFFER, vertexBuffer_);
    setUniforms();
    if (glProgramState_) glProgramState_->apply(modelView_);
    setLightUniforms();
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_);
    glDrawElements(primitive_, static_cast<GLsizei>(indexCount_), indexFormat_, nullptr);
    countDraw();
    restoreRenderState();
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

}  // namespace kite
