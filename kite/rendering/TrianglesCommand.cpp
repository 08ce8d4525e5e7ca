#include "kite/rendering/TrianglesCommand.h"

#include "kite/rendering/GLProgramState.h"
#include "kite/rendering/GLStateCache.h"
#include "kite/rendering/QuadCommand.h"

namespace kite {

void TrianglesCommand::init(float globalOrder, GLuint textureID, GLProgramState* glProgramState, BlendFunc blendType,
                            const Triangles& triangles, const Mat4& modelView, std::uint32_t flags) {
    RenderCommand::init(globalOrder, modelView, flags);
    triangles_ = triangles;
    modelView_ = modelView;
    if (textureID_ != textureID || blendType_ != blendType || glProgramState_ != glProgramState) {
        textureID_ = textureID;
        blendType_ = blendType;
        glProgramState_ = glProgramState;
        materialID_ = QuadCommand::hashMaterial(glProgramState_, textureID_, blendType_);
    }
}

void TrianglesCommand::useMaterial() const {
    GLStateCache::bindTexture2D(textureID_);
    GLStateCache::blendFunc(blendType_.src, blendType_.dst);
    if (glProgramState_) glProgramState_->apply(modelView_);
}

}  // namespace kite
