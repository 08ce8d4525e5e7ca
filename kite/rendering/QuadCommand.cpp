#include "kite/rendering/QuadCommand.h"

#include <xxhash.h>

#include "kite/rendering/GLProgram.h"
#include "kite/rendering/GLProgramState.h"
#include "kite/rendering/GLStateCache.h"

namespace kite {

QuadCommand::QuadCommand() { type_ = Type::QUAD_COMMAND; }

void QuadCommand::changeMaterial(GLuint textureID, GLProgramState* glProgramState, const BlendFunc& blendType) {
    textureID_ = textureID;
    blendType_ = blendType;
    glProgramState_ = glProgramState;
    materialID_ = hashMaterial(glProgramState_, textureID_, blendType_);
}

std::uint32_t QuadCommand::hashMaterial(const GLProgramState* glProgramState, GLuint textureID, BlendFunc blend) {
    // Custom uniform values are not part of the hash, so such commands never merge.
    if (!glProgramState || glProgramState->getUniformCount() > 0) return 0;
    const GLProgram* program = glProgramState->getGLProgram();
    // Four 32-bit words, little-endian, as the hash input.
    const std::uint32_t words[4] = {program ? program->getProgram() : 0u, textureID, blend.src, blend.dst};
    unsigned char bytes[16];
    for (int w = 0; w < 4; ++w)
        for (int b = 0; b < 4; ++b) bytes[w * 4 + b] = static_cast<unsigned char>(words[w] >> (8 * b));
    return XXH32(bytes, sizeof(bytes), 0);
}

void QuadCommand::useMaterial() const {
    GLStateCache::bindTexture2D(textureID_);
    GLStateCache::blendFunc(blendType_.src, blendType_.dst);
    if (glProgramState_) glProgramState_->apply(*modelView_);
}

}  // namespace kite
