// Indexed triangles batched by material like quads (dispatched by the renderer; no node emits them).
#pragma once
#include <GLES2/gl2.h>
#include <sys/types.h>

#include <cstdint>

#include "kite/rendering/RenderCommand.h"
#include "kite/rendering/ktTypes.h"

namespace kite {

class GLProgramState;

class TrianglesCommand : public RenderCommand {
public:
    struct Triangles {
        PosColorTexVertex* verts = nullptr;
        unsigned short* indices = nullptr;
        ssize_t vertCount = 0;
        ssize_t indexCount = 0;
    };

    TrianglesCommand() { type_ = Type::TRIANGLES_COMMAND; }

    void init(float globalOrder, GLuint textureID, GLProgramState* glProgramState, BlendFunc blendType,
              const Triangles& triangles, const Mat4& modelView, std::uint32_t flags);
    void useMaterial() const;

    std::uint32_t getMaterialID() const { return materialID_; }
    GLuint getTextureID() const { return textureID_; }
    const Triangles& getTriangles() const { return triangles_; }
    ssize_t getVertexCount() const { return triangles_.vertCount; }
    ssize_t getIndexCount() const { return triangles_.indexCount; }
    const PosColorTexVertex* getVertices() const { return triangles_.verts; }
    const unsigned short* getIndices() const { return triangles_.indices; }
    GLProgramState* getGLProgramState() const { return glProgramState_; }
    BlendFunc getBlendType() const { return blendType_; }
    const Mat4& getModelView() const { return modelView_; }

private:
    std::uint32_t materialID_ = 0;
    GLuint textureID_ = 0;
    GLProgramState* glProgramState_ = nullptr;
    BlendFunc blendType_ = BlendFunc::DISABLE;
    Triangles triangles_;
    Mat4 modelView_;
};

}  // namespace kite
