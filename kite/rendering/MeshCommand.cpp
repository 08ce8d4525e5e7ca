#include "kite/rendering/MeshCommand.h"

#include "kite/rendering/Configuration.h"
#include "kite/rendering/GLProgram.h"
#include "kite/rendering/GLProgramState.h"
#include "kite/rendering/GLStateCache.h"
#include "kite/rendering/Renderer.h"
#include "platform/GLExtensions.h"

namespace kite {

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
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, indexBuffer_);
    glDrawElements(primitive_, static_cast<GLsizei>(indexCount_), indexFormat_, nullptr);
    countDraw();
    restoreRenderState();
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

}  // namespace kite
