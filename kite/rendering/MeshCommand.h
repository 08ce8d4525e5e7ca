// A 3D mesh draw record, lit by the running scene's lights: the renderer batches equal batch IDs; nothing in the
// engine emits one yet.
#pragma once
#include <GLES2/gl2.h>

#include <cstdint>

#include "kite/foundation/math/Vec4.h"
#include "kite/rendering/RenderCommand.h"
#include "kite/rendering/ktTypes.h"

namespace kite {

class GLProgramState;

class MeshCommand : public RenderCommand {
public:
    MeshCommand() { type_ = Type::MESH_COMMAND; }
    ~MeshCommand() override;
    MeshCommand(const MeshCommand&) = delete;
    MeshCommand& operator=(const MeshCommand&) = delete;

    void init(float globalOrder, GLuint textureID, GLProgramState* glProgramState, BlendFunc blendType,
              GLuint vertexBuffer, GLuint indexBuffer, GLenum primitive, GLenum indexFormat, ssize_t indexCount,
              const Mat4& modelView, std::uint32_t flags);

    void setDisplayColor(const Vec4& color) { displayColor_ = color; }
    void setMatrixPalette(const Vec4* palette) { matrixPalette_ = palette; }
    void setMatrixPaletteSize(int size) { matrixPaletteSize_ = size; }
    void setLightMask(unsigned int mask) { lightMask_ = mask; }
    void setCullFaceEnabled(bool enabled) { cullFaceEnabled_ = enabled; }
    void setCullFace(GLenum cullFace) { cullFace_ = cullFace; }
    void setDepthTestEnabled(bool enabled) { depthTestEnabled_ = enabled; }
    void setDepthWriteEnabled(bool enabled) { depthWriteEnabled_ = enabled; }
    void setBatchId(std::uint32_t batchId) { batchId_ = batchId; }
    std::uint32_t getBatchId() const { return batchId_; }

    // Batch protocol of the renderer: set up once, draw each member, restore.
    void preBatchDraw();
    void batchDraw();
    void postBatchDraw();
    // One command drawn alone, without a vertex array object.
    void execute();

    void buildVAO();
    void releaseVAO();

    // Zero-fills the light uniform staging arrays, sized by the configuration's light limits.
    static void resetLightUniformValues();

private:
    void applyRenderState();
    void restoreRenderState();
    void setUniforms();
    // With a light mask: the running scene's lights that share a bit with it, sent to the program.
    void setLightUniforms();
    void countDraw() const;

    GLuint textureID_ = 0;
    GLProgramState* glProgramState_ = nullptr;
    BlendFunc blendType_ = BlendFunc::DISABLE;
    GLuint vertexBuffer_ = 0;
    GLuint indexBuffer_ = 0;
    GLenum primitive_ = GL_TRIANGLES;
    GLenum indexFormat_ = GL_UNSIGNED_SHORT;
    ssize_t indexCount_ = 0;
    Vec4 displayColor_{1.0f, 1.0f, 1.0f, 1.0f};
    const Vec4* matrixPalette_ = nullptr;
    int matrixPaletteSize_ = 0;
    unsigned int lightMask_ = 0;
    bool cullFaceEnabled_ = false;
    GLenum cullFace_ = GL_BACK;
    bool depthTestEnabled_ = false;
    bool depthWriteEnabled_ = false;
    Mat4 modelView_;
    std::uint32_t batchId_ = 0;
    GLuint vao_ = 0;
    bool renderStateCullFace_ = false;
    bool renderStateDepthTest_ = false;
    GLboolean renderStateDepthWrite_ = GL_FALSE;
};

}  // namespace kite
