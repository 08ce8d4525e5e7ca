// A run of textured quads that the renderer batches with neighbours of the same material.
#pragma once
#include <GLES2/gl2.h>
#include <sys/types.h>

#include <cstdint>

#include "kite/rendering/RenderCommand.h"
#include "kite/rendering/ktTypes.h"

namespace kite {

class GLProgramState;

class QuadCommand : public RenderCommand {
public:
    QuadCommand();

    // Regenerates the material ID only when texture, program state or blend pair changed. The
    // command refers to the quads and to the matrix: both must stay until the frame is drawn.
    void init(float globalOrder, GLuint textureID, GLProgramState* glProgramState, const BlendFunc& blendType,
              PosColorTexQuad* quads, ssize_t quadCount, const Mat4& modelView, std::uint32_t flags) {
        RenderCommand::init(globalOrder, modelView, flags);
        quads_ = quads;
        quadCount_ = quadCount;
        modelView_ = &modelView;
        if (textureID_ != textureID || blendType_.src != blendType.src || blendType_.dst != blendType.dst ||
            glProgramState_ != glProgramState)
            changeMaterial(textureID, glProgramState, blendType);
    }
    // A temporary matrix would be gone before the frame is drawn.
    void init(float, GLuint, GLProgramState*, const BlendFunc&, PosColorTexQuad*, ssize_t, const Mat4&&,
              std::uint32_t) = delete;

    // Binds texture and blend pair and applies the program state with the command's matrix.
    void useMaterial() const;

    // 0 (never merged) when the program state carries uniform values of its own.
    static std::uint32_t hashMaterial(const GLProgramState* glProgramState, GLuint textureID, BlendFunc blend);

    std::uint32_t getMaterialID() const { return materialID_; }
    GLuint getTextureID() const { return textureID_; }
    PosColorTexQuad* getQuads() const { return quads_; }
    ssize_t getQuadCount() const { return quadCount_; }
    GLProgramState* getGLProgramState() const { return glProgramState_; }
    BlendFunc getBlendType() const { return blendType_; }
    const Mat4& getModelView() const { return *modelView_; }

private:
    void changeMaterial(GLuint textureID, GLProgramState* glProgramState, const BlendFunc& blendType);

    std::uint32_t materialID_ = 0;
    GLuint textureID_ = 0;
    GLProgramState* glProgramState_ = nullptr;  // not retained
    BlendFunc blendType_ = BlendFunc::DISABLE;
    PosColorTexQuad* quads_ = nullptr;  // not owned
    ssize_t quadCount_ = 0;
    const Mat4* modelView_ = &Mat4::IDENTITY;  // not owned
};

}  // namespace kite
