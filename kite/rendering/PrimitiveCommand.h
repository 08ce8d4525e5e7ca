// A render command that draws one primitive with its own material (dispatched; no node emits one yet).
#pragma once
#include <GLES2/gl2.h>

#include <cstdint>

#include "kite/rendering/RenderCommand.h"
#include "kite/rendering/ktTypes.h"

namespace kite {

class GLProgramState;
class Primitive;

class PrimitiveCommand : public RenderCommand {
public:
    PrimitiveCommand() { type_ = Type::PRIMITIVE_COMMAND; }

    void init(float globalOrder, GLuint textureID, GLProgramState* glProgramState, BlendFunc blendType,
              Primitive* primitive, const Mat4& modelView, std::uint32_t flags);

    // Texture, blend pair, program state with the matrix, the draw; counted as one batch.
    void execute() const;

    GLuint getTextureID() const { return textureID_; }
    GLProgramState* getGLProgramState() const { return glProgramState_; }
    BlendFunc getBlendType() const { return blendType_; }
    const Mat4& getModelView() const { return modelView_; }

private:
    GLuint textureID_ = 0;
    GLProgramState* glProgramState_ = nullptr;
    BlendFunc blendType_ = BlendFunc::DISABLE;
    Primitive* primitive_ = nullptr;
    Mat4 modelView_;
};

}  // namespace kite
