// The layout container's visit: the layout pass, then drawing clipped by the stencil buffer or the scissor box.
#include <GLES2/gl2.h>

#include <algorithm>

#include "kite/foundation/Log.h"
#include "kite/rendering/GLProgram.h"
#include "kite/rendering/GLProgramCache.h"
#include "kite/rendering/GLStateCache.h"
#include "kite/rendering/Renderer.h"
#include "kite/scene/Director.h"
#include "kite/scene/DrawNode.h"
#include "kite/scene/GLView.h"
#include "kite/widgets/Layout.h"

namespace kite {
namespace ui {

namespace {
// The stencil bit of the innermost layout being drawn; -1 outside any.
int stencilLayerIndex = -1;
bool deepNestingReported = false;

GLuint glStencilParameter(GLenum name) {
    GLint value = 0;
    glGetIntegerv(name, &value);
    return static_cast<GLuint>(value);
}

Rect intersection(const Rect& a, const Rect& b) {
    const float left = std::max(a.getMinX(), b.getMinX());
    const float bottom = std::max(a.getMinY(), b.getMinY());
    const float right = std::min(a.getMaxX(), b.getMaxX());
    const float top = std::min(a.getMaxY(), b.getMaxY());
    return Rect(left, bottom, std::max(right - left, 0.0f), std::max(top - bottom, 0.0f));
}
}  // namespace

void Layout::visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) {
    if (!visible) return;
    adaptRenderers();
    doLayout();
    // The scissor box is world-placed: it is measured again whenever this layout or an ancestor moved.
    if ((parentFlags & FLAGS_TRANSFORM_DIRTY) || transformUpdated) clippingRectDirty = true;
    if (!clippingEnabled) {
        Widget::visit(renderer, parentTransform, parentFlags);
        return;
    }
    if (clippingType == ClippingType::STENCIL)
        stencilClippingVisit(renderer, parentTransform, parentFlags);
    else
        scissorClippingVisit(renderer, parentTransform, parentFlags);
}

// ---- Stencil ----

void Layout::stencilClippingVisit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) {
    if (!visible || !clippingStencil) return;
    const uint32_t flags = updateTransformFromParent(parentTransform, parentFlags);
    director->pushMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW);
    director->loadMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW, modelViewTransform);

    groupCommand.init(globalZOrder);
    renderer->addCommand(&groupCommand);
    renderer->pushGroup(groupCommand.getRenderQueueID());

    beforeVisitCmdStencil.init(globalZOrder);
    beforeVisitCmdStencil.func = [this] { onBeforeVisitStencil(); };
    renderer->addCommand(&beforeVisitCmdStencil);
    clippingStencil->visit(renderer, modelViewTransform, flags);
    afterDrawStencilCmd.init(globalZOrder);
    afterDrawStencilCmd.func = [this] { onAfterDrawStencil(); };
    renderer->addCommand(&afterDrawStencilCmd);

    visitBothLists(renderer, flags);

    afterVisitCmdStencil.init(globalZOrder);
    afterVisitCmdStencil.func = [this] { onAfterVisitStencil(); };
    renderer->addCommand(&afterVisitCmdStencil);
    renderer->popGroup();
    director->popMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW);
}

void Layout::onBeforeVisitStencil() {
    currentStencilEnabled = glIsEnabled(GL_STENCIL_TEST) == GL_TRUE;
    currentStencilWriteMask = glStencilParameter(GL_STENCIL_WRITEMASK);
    currentStencilFunc = glStencilParameter(GL_STENCIL_FUNC);
    currentStencilRef = static_cast<int>(glStencilParameter(GL_STENCIL_REF));
    currentStencilValueMask = glStencilParameter(GL_STENCIL_VALUE_MASK);
    currentStencilFail = glStencilParameter(GL_STENCIL_FAIL);
    currentStencilPassDepthFail = glStencilParameter(GL_STENCIL_PASS_DEPTH_FAIL);
    currentStencilPassDepthPass = glStencilParameter(GL_STENCIL_PASS_DEPTH_PASS);
    GLboolean depthWrite = GL_TRUE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &depthWrite);
    currentDepthWriteMask = depthWrite == GL_TRUE;

    glEnable(GL_STENCIL_TEST);
    glDepthMask(GL_FALSE);
    // Too deep for the stencil mask: the shape writes nothing and the content keeps the outer clip only.
    stencilLayerSkipped = stencilLayerIndex + 1 >= MAX_STENCIL_LAYERS;
    if (stencilLayerSkipped) {
        if (!deepNestingReported) {
            log("Layout: more than %d nested stencil clips; the deeper ones do not clip", MAX_STENCIL_LAYERS);
            deepNestingReported = true;
        }
        glStencilMask(0);
        glStencilFunc(GL_NEVER, 0, 0);
        return;
    }
    ++stencilLayerIndex;
    const GLuint mask = 1u << stencilLayerIndex;
    mask_layer_le = mask | (mask - 1);
    glStencilMask(mask);
    clearStencilLayer(mask);
    // The stencil node's drawing sets this layer's bit where it covers, and draws no colour.
    glStencilFunc(GL_NEVER, static_cast<GLint>(mask), mask);
    glStencilOp(GL_REPLACE, GL_KEEP, GL_KEEP);
}

// Clears this layer's bit over the whole frame with a full-screen quad that fails the stencil test.
void Layout::clearStencilLayer(unsigned int mask) {
    glStencilFunc(GL_NEVER, static_cast<GLint>(mask), mask);
    glStencilOp(GL_ZERO, GL_KEEP, GL_KEEP);
    director->pushMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW);
    director->loadIdentityMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW);
    director->pushMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_PROJECTION);
    director->loadIdentityMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_PROJECTION);
    GLProgram* program = GLProgramCache::getInstance()->getGLProgram(GLProgram::SHADER_NAME_POSITION_U_COLOR);
    if (program) {
        static const GLfloat vertices[] = {-1.0f, -1.0f, 1.0f, -1.0f, 1.0f, 1.0f, -1.0f, 1.0f};
        static const GLfloat white[] = {1.0f, 1.0f, 1.0f, 1.0f};
        program->use();
        program->setUniformsForBuiltins();
        program->setUniformLocationWith4fv(program->getUniformLocation("u_color"), white, 1);
        GLStateCache::bindVAO(0);
        glBindBuffer(GL_ARRAY_BUFFER, 0);
        GLStateCache::enableVertexAttribs(GLStateCache::VERTEX_ATTRIB_FLAG_POSITION);
        glVertexAttribPointer(GLProgram::VERTEX_ATTRIB_POSITION, 2, GL_FLOAT, GL_FALSE, 0, vertices);
        glDrawArrays(GL_TRIANGLE_FAN, 0, 4);
        if (Renderer* renderer = director->getRenderer()) {
            renderer->addDrawnBatches(1);
            renderer->addDrawnVertices(4);
        }
    }
    director->popMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_PROJECTION);
    director->popMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW);
}

void Layout::onAfterDrawStencil() {
    glDepthMask(currentDepthWriteMask ? GL_TRUE : GL_FALSE);
    if (stencilLayerSkipped) {
        glStencilMask(currentStencilWriteMask);
        glStencilFunc(currentStencilFunc, currentStencilRef, currentStencilValueMask);
        glStencilOp(currentStencilFail, currentStencilPassDepthFail, currentStencilPassDepthPass);
        if (!currentStencilEnabled) glDisable(GL_STENCIL_TEST);
        return;
    }
    // Content draws where this layer's bit and every outer layer's bit are set.
    glStencilFunc(GL_EQUAL, static_cast<GLint>(mask_layer_le), mask_layer_le);
    glStencilOp(GL_KEEP, GL_KEEP, GL_KEEP);
}

void Layout::onAfterVisitStencil() {
    glStencilFunc(currentStencilFunc, currentStencilRef, currentStencilValueMask);
    glStencilOp(currentStencilFail, currentStencilPassDepthFail, currentStencilPassDepthPass);
    glStencilMask(currentStencilWriteMask);
    if (!currentStencilEnabled) glDisable(GL_STENCIL_TEST);
    if (!stencilLayerSkipped) --stencilLayerIndex;
    stencilLayerSkipped = false;
}

// ---- Scissor ----

void Layout::scissorClippingVisit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) {
    beforeVisitCmdScissor.init(globalZOrder);
    beforeVisitCmdScissor.func = [this] { onBeforeVisitScissor(); };
    renderer->addCommand(&beforeVisitCmdScissor);
    ProtectedNode::visit(renderer, parentTransform, parentFlags);
    afterVisitCmdScissor.init(globalZOrder);
    afterVisitCmdScissor.func = [this] { onAfterVisitScissor(); };
    renderer->addCommand(&afterVisitCmdScissor);
}

void Layout::onBeforeVisitScissor() {
    GLView* view = director->getOpenGLView();
    if (!view) return;
    Rect box = getClippingRect();
    scissorWasEnabled = view->isScissorEnabled();
    if (scissorWasEnabled) {
        // Inside another clip (a scroll view, a layout) only what both let through is drawn.
        outerScissorRect = view->getScissorRect();
        box = intersection(box, outerScissorRect);
    } else {
        glEnable(GL_SCISSOR_TEST);
    }
    view->setScissorInPoints(box.origin.x, box.origin.y, box.size.width, box.size.height);
}

void Layout::onAfterVisitScissor() {
    GLView* view = director->getOpenGLView();
    if (view && scissorWasEnabled) {
        view->setScissorInPoints(outerScissorRect.origin.x, outerScissorRect.origin.y, outerScissorRect.size.width,
                                 outerScissorRect.size.height);
        return;
    }
    glDisable(GL_SCISSOR_TEST);
}

const Rect& Layout::getClippingRect() {
    if (!clippingRectDirty) return clippingRect;
    // Where the anchor sits in the world; the rectangle extends from it by the anchor's share.
    const Vec2 worldPos = parent ? parent->convertToWorldSpace(position) : position;
    const AffineTransform t = getNodeToWorldAffineTransform();
    const float scissorWidth = contentSize.width * t.a;
    const float scissorHeight = contentSize.height * t.d;
    // Looked up afresh each time: a remembered ancestor may have gone since, or no longer be one.
    clippingParent = nullptr;
    for (Node* up = parent; up; up = up->getParent()) {
        auto* layout = dynamic_cast<Layout*>(up);
        if (!layout) break;
        if (layout->isClippingEnabled()) {
            clippingParent = layout;
            break;
        }
    }
    float x = worldPos.x - scissorWidth * anchorPoint.x;
    float y = worldPos.y - scissorHeight * anchorPoint.y;
    float w = scissorWidth;
    float h = scissorHeight;
    if (clippingParent) {
        const Rect outer = clippingParent->getClippingRect();
        const float leftOffset = worldPos.x - outer.origin.x;
        if (leftOffset < 0.0f) {
            x = outer.origin.x;
            w += leftOffset;
        }
        const float rightOffset = (worldPos.x + scissorWidth) - (outer.origin.x + outer.size.width);
        if (rightOffset > 0.0f) w -= rightOffset;
        const float topOffset = (worldPos.y + scissorHeight) - (outer.origin.y + outer.size.height);
        if (topOffset > 0.0f) h -= topOffset;
        const float bottomOffset = worldPos.y - outer.origin.y;
        if (bottomOffset < 0.0f) {
            y = outer.origin.y;
            h += bottomOffset;
        }
    }
    clippingRect = Rect(x, y, std::max(w, 0.0f), std::max(h, 0.0f));
    clippingRectDirty = false;
    return clippingRect;
}

}  // namespace ui
}  // namespace kite
