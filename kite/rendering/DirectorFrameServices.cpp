// The installed director frame services, with neutral answers until the director installs them.
#include "kite/rendering/DirectorFrameServices.h"

namespace kite {
namespace {

DirectorFrameServices& services() {
    static DirectorFrameServices s;
    return s;
}

}  // namespace

void setDirectorFrameServices(const DirectorFrameServices& replacement) { services() = replacement; }

const DirectorFrameServices& getDirectorFrameServices() { return services(); }

const Mat4& getDirectorMatrix(int stack) { return services().getMatrix ? services().getMatrix(stack) : Mat4::IDENTITY; }

void resetDirectorMatrixStacks() {
    if (services().resetMatrixStacks) services().resetMatrixStacks();
}

unsigned int getDirectorTotalFrames() { return services().getTotalFrames ? services().getTotalFrames() : 0u; }

double getDirectorAnimationInterval() {
    return services().getAnimationInterval ? services().getAnimationInterval() : 1.0 / 60.0;
}

Renderer* frameRenderer() { return services().getRenderer ? services().getRenderer() : nullptr; }

float frameContentScaleFactor() { return services().getContentScaleFactor ? services().getContentScaleFactor() : 1.0f; }

float frameDepthInView(const Mat4& transform) {
    return services().getDepthInView ? services().getDepthInView(transform) : 0.0f;
}

const std::vector<SceneLight>& frameSceneLights() {
    static const std::vector<SceneLight> none;
    return services().getSceneLights ? services().getSceneLights() : none;
}

}  // namespace kite
