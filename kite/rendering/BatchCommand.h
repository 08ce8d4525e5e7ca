// A render command that draws a whole texture atlas in one call.
#pragma once
#include <GLES2/gl2.h>

#include "kite/rendering/RenderCommand.h"
#include "kite/rendering/ktTypes.h"

namespace kite {

class GLProgram;
class TextureAtlas;

class BatchCommand : public RenderCommand {
public:
    BatchCommand() { type_ = Type::BATCH_COMMAND; }

    void init(float globalOrder, GLProgram* program, BlendFunc blendType, TextureAtlas* textureAtlas,
              const Mat4& modelView, std::uint32_t flags);

    // Program with its built-in uniforms, texture, blend pair, then the atlas draw.
    void execute() const;

    GLuint getTextureID() const { return textureID_; }
    GLProgram* getGLProgram() const { return program_; }
    BlendFunc getBlendType() const { return blendType_; }
    TextureAtlas* getTextureAtlas() const { return textureAtlas_; }
    const Mat4& getModelView() const { return modelView_; }

private:
    GLuint textureID_ = 0;
    GLProgram* program_ = nullptr;
    BlendFunc blendType_ = BlendFunc::DISABLE;
    TextureAtlas* textureAtlas_ = nullptr;
    Mat4 modelView_;
};

}  // namespace kite
