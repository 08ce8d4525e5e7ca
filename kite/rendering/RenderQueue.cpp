#include "kite/rendering/RenderQueue.h"

#include <GLES2/gl2.h>

#include <algorithm>

#include "kite/rendering/RenderCommand.h"

namespace kite {

void RenderQueue::sort() {
    std::stable_sort(commands_[TRANSPARENT_3D].begin(), commands_[TRANSPARENT_3D].end(),
                     [](const RenderCommand* a, const RenderCommand* b) { return a->getDepth() > b->getDepth(); });
    auto byOrder = [](const RenderCommand* a, const RenderCommand* b) {
        return a->getGlobalOrder() < b->getGlobalOrder();
    };
    std::stable_sort(commands_[GLOBALZ_NEG].begin(), commands_[GLOBALZ_NEG].end(), byOrder);
    std::stable_sort(commands_[GLOBALZ_POS].begin(), commands_[GLOBALZ_POS].end(), byOrder);
}

void RenderQueue::clear() {
    // Capacity stays, so a steady scene allocates nothing per frame.
    for (auto& list : commands_) list.clear();
}

std::size_t RenderQueue::size() const {
    std::size_t total = 0;
    for (const auto& list : commands_) total += list.size();
    return total;
}

void RenderQueue::saveRenderState() {
    isDepthEnabled_ = glIsEnabled(GL_DEPTH_TEST) == GL_TRUE;
    isCullEnabled_ = glIsEnabled(GL_CULL_FACE) == GL_TRUE;
    GLboolean depthWrite = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrite);
    isDepthWrite_ = depthWrite;
}

void RenderQueue::restoreRenderState() {
    if (isCullEnabled_)
        glEnable(GL_CULL_FACE);
    else
        glDisable(GL_CULL_FACE);
    if (isDepthEnabled_)
        glEnable(GL_DEPTH_TEST);
    else
        glDisable(GL_DEPTH_TEST);
    glDepthMask(isDepthWrite_);
}

}  // namespace kite
