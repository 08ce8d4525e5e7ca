#include "kite/rendering/BatchCommand.h"

#include "kite/rendering/GLProgram.h"
#include "kite/rendering/GLStateCache.h"
#include "kite/rendering/Texture2D.h"
#include "kite/rendering/TextureAtlas.h"

namespace kite {

void BatchCommand::init(float globalOrder, GLProgram* program, BlendFunc blendType, TextureAtlas* textureAtlas,
                        const Mat4& modelView, std::uint32_t flags) {
    RenderCommand::init(globalOrder, modelView, flags);
    Texture2D* texture = textureAtlas ? textureAtlas->getTexture() : nullptr;
    textureID_ = texture ? texture->getName() : 0;
    program_ = program;
    blendType_ = blendType;
    textureAtlas_ = textureAtlas;
    modelView_ = modelView;
}

void BatchCommand::execute() const {
    if (program_) {
        program_->use();
        program_->setUniformsForBuiltins(modelView_);
    }
    GLStateCache::bindTexture2D(textureID_);
    GLStateCache::blendFunc(blendType_.src, blendType_.dst);
    if (textureAtlas_) textureAtlas_->drawQuads();
}

}  // namespace kite
