#include "kite/platform/FrameView.h"

#include "kite/scene/Director.h"

namespace kite {

namespace {
platform::GLContextAttributes contextAttributes;
}

void FrameView::setContextAttributes(const platform::GLContextAttributes& attributes) {
    contextAttributes = attributes;
}

const platform::GLContextAttributes& FrameView::getContextAttributes() { return contextAttributes; }

void FrameView::setDesignResolutionSize(float width, float height, int policy) {
    designWidth_ = width;
    designHeight_ = height;
    resolutionPolicy_ = policy;
    Director* director = Director::getInstance();
    if (director && director->getFrameView() == this) director->applyViewDesignResolution();
}

}  // namespace kite
