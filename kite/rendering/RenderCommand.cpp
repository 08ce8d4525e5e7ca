#include "kite/rendering/RenderCommand.h"

#include "kite/rendering/Renderer.h"

namespace kite {

float RenderCommand::depthInView(const Mat4& modelViewTransform) { return frameDepthInView(modelViewTransform); }

}  // namespace kite
