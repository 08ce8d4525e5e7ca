#include "kite/rendering/RenderCommand.h"

#include "kite/rendering/Renderer.h"

namespace kite {

void RenderCommand::init(float globalOrder, const Mat4& modelViewTransform, std::uint32_t flags) {
    globalOrder_ = globalOrder;
    if (flags & FLAGS_RENDER_AS_3D) {
        is3D_ = true;
        depth_ = frameDepthInView(modelViewTransform);
    } else {
        is3D_ = false;
        depth_ = 0.0f;
    }
}

}  // namespace kite
