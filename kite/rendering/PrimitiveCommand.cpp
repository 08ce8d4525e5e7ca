#include "kite/rendering/PrimitiveCommand.h"

#include "kite/rendering/GLProgramState.h"
#include "kite/rendering/GLStateCache.h"
#include "kite/rendering/Primitive.h"
#include "kite/rendering/Renderer.h"

namespace kite {

void PrimitiveCommand::init(float globalOrder, GLuint textureID, GLProgramState* glProgramState, BlendFunc blendType,
                            Primitive* primitive, const Mat4& modelView, std::uint32_t flags) {
    RenderCommand::init(globalOrder, modelView, flags);
    textureID_ = textureID;
    glProgramState_ = glProgramState;
    blendType_ = blendType;
    primitive_ = primitive;
    modelView_ = modelView;
}

void PrimitiveCommand::execute() const {
    GLStateCache::bindTexture2D(textureID_);
    GLStateCache::blendFunc(blendType_.src, blendType_.dst);
    if (glProgramState_) glProgramState_->apply(modelView_);
    if (!primitive_) return;
    primitive_->draw();
    if (Renderer* renderer = frameRenderer()) {
        renderer->addDrawnBatches(1);
        renderer->addDrawnVertices(primitive_->getCount());
    }
}

}  // namespace kite
