#include "kite/scene/GLView.h"

#include <GLES2/gl2.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "kite/scene/Director.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventTouch.h"
#include "kite/scene/Touch.h"

namespace kite {

namespace {

// Touch slots, shared by every GL view: bit i of the mask = slot i in use.
unsigned int touchSlotMask = 0;
Touch* touchSlots[GLView::MAX_TOUCHES] = {};
// Platform touch id -> slot.
std::map<intptr_t, int>& touchIdToSlot() {
    static std::map<intptr_t, int> map;
    return map;
}

// The lowest free slot, marked as used; -1 when all are taken.
int takeFreeSlot() {
    for (int i = 0; i < GLView::MAX_TOUCHES; ++i) {
        unsigned int bit = 1u << i;
        if ((touchSlotMask & bit) == 0) {
            touchSlotMask |= bit;
            return i;
        }
    }
    return -1;
}

void freeSlot(int slot) {
    if (slot >= 0 && slot < GLView::MAX_TOUCHES) touchSlotMask &= ~(1u << slot);
}

GLContextAttributes contextAttributes;

// The director's window size, GL defaults and projection follow its own view's design resolution.
void tellDirectorOfDesignResolution(const GLView* view) {
    Director* director = Director::getInstance();
    if (director && director->getOpenGLView() == view) director->applyViewDesignResolution();
}

// How a design resolution sits on a frame: the scales and the design size the policy leaves (the fixed
// policies work one side out from the frame).
struct DesignFit {
    float scaleX;
    float scaleY;
    Size design;
};

DesignFit fitDesign(const Size& frame, const Size& design, ResolutionPolicy policy) {
    DesignFit fit{frame.width / design.width, frame.height / design.height, design};
    switch (policy) {
        case ResolutionPolicy::NO_BORDER: fit.scaleX = fit.scaleY = std::max(fit.scaleX, fit.scaleY); break;
        case ResolutionPolicy::SHOW_ALL: fit.scaleX = fit.scaleY = std::min(fit.scaleX, fit.scaleY); break;
        case ResolutionPolicy::FIXED_HEIGHT:
            fit.scaleX = fit.scaleY;
            fit.design.width = std::ceil(frame.width / fit.scaleX);
            break;
        case ResolutionPolicy::FIXED_WIDTH:
            fit.scaleY = fit.scaleX;
            fit.design.height = std::ceil(frame.height / fit.scaleY);
            break;
        default: break;  // stretched
    }
    return fit;
}

void dispatchTouches(EventTouch& event) {
    if (EventDispatcher* dispatcher = Director::getInstance()->getEventDispatcher()) dispatcher->dispatchEvent(&event);
}

}  // namespace

GLView::~GLView() = default;

void GLView::setContextAttributes(const GLContextAttributes& attributes) { contextAttributes = attributes; }

GLContextAttributes GLView::getContextAttributes() { return contextAttributes; }

void GLView::setFrameSize(float width, float height) {
    frameSize_ = Size(width, height);
    designResolutionSize_ = frameSize_;
    tellDirectorOfDesignResolution(this);
}

Size GLView::getVisibleSize() const {
    if (resolutionPolicy_ == ResolutionPolicy::NO_BORDER)
        return Size(frameSize_.width / scaleX_, frameSize_.height / scaleY_);
    return designResolutionSize_;
}

Vec2 GLView::getVisibleOrigin() const {
    if (resolutionPolicy_ == ResolutionPolicy::NO_BORDER)
        return Vec2((designResolutionSize_.width - frameSize_.width / scaleX_) / 2,
                    (designResolutionSize_.height - frameSize_.height / scaleY_) / 2);
    return Vec2::ZERO;
}

Rect GLView::getVisibleRect() const { return Rect(getVisibleOrigin(), getVisibleSize()); }

void GLView::setDesignResolutionSize(float width, float height, ResolutionPolicy resolutionPolicy) {
    if (width == 0.0f || height == 0.0f) return;
    designResolutionSize_ = Size(width, height);
    resolutionPolicy_ = resolutionPolicy;
    updateDesignResolutionSize();
}

void GLView::updateDesignResolutionSize() {
    if (frameSize_.width <= 0 || frameSize_.height <= 0 || designResolutionSize_.width <= 0 ||
        designResolutionSize_.height <= 0)
        return;

    const DesignFit fit = fitDesign(frameSize_, designResolutionSize_, resolutionPolicy_);
    scaleX_ = fit.scaleX;
    scaleY_ = fit.scaleY;
    designResolutionSize_ = fit.design;

    const float viewPortW = designResolutionSize_.width * scaleX_;
    const float viewPortH = designResolutionSize_.height * scaleY_;
    viewPortRect_.setRect((frameSize_.width - viewPortW) / 2, (frameSize_.height - viewPortH) / 2, viewPortW,
                          viewPortH);

    tellDirectorOfDesignResolution(this);
}

Size GLView::getViewPortSizeFor(const Size& design, ResolutionPolicy policy) const {
    if (frameSize_.width <= 0 || frameSize_.height <= 0 || design.width <= 0 || design.height <= 0) return Size::ZERO;
    const DesignFit fit = fitDesign(frameSize_, design, policy);
    return Size(fit.design.width * fit.scaleX, fit.design.height * fit.scaleY);
}

void GLView::setViewPortInPoints(float x, float y, float w, float h) {
    const float k = surfaceScale_;
    glViewport(static_cast<GLint>((x * scaleX_ + viewPortRect_.origin.x) * k),
               static_cast<GLint>((y * scaleY_ + viewPortRect_.origin.y) * k), static_cast<GLsizei>(w * scaleX_ * k),
               static_cast<GLsizei>(h * scaleY_ * k));
}

void GLView::setScissorInPoints(float x, float y, float w, float h) {
    const float k = surfaceScale_;
    glScissor(static_cast<GLint>((x * scaleX_ + viewPortRect_.origin.x) * k),
              static_cast<GLint>((y * scaleY_ + viewPortRect_.origin.y) * k), static_cast<GLsizei>(w * scaleX_ * k),
              static_cast<GLsizei>(h * scaleY_ * k));
}

bool GLView::isScissorEnabled() { return glIsEnabled(GL_SCISSOR_TEST) != GL_FALSE; }

Rect GLView::getScissorRect() {
    GLfloat params[4] = {};
    glGetFloatv(GL_SCISSOR_BOX, params);
    const float k = surfaceScale_;
    const float x = (params[0] / k - viewPortRect_.origin.x) / scaleX_;
    const float y = (params[1] / k - viewPortRect_.origin.y) / scaleY_;
    const float w = params[2] / k / scaleX_;
    const float h = params[3] / k / scaleY_;
    return Rect(x, y, w, h);
}

// Touches.

void GLView::placeTouch(Touch* touch, int slot, float x, float y) const {
    touch->setTouchInfo(slot, (x - viewPortRect_.origin.x) / scaleX_, (y - viewPortRect_.origin.y) / scaleY_);
}

void GLView::dispatchTouchList(const std::vector<Touch*>& touches, EventTouch::EventCode code) {
    if (touches.empty()) return;
    EventTouch touchEvent;
    touchEvent.setTouches(touches);
    touchEvent.setEventCode(code);
    dispatchTouches(touchEvent);
}

void GLView::handleTouchesBegin(int num, intptr_t ids[], float xs[], float ys[]) {
    std::vector<Touch*> touches;
    auto& idToSlot = touchIdToSlot();
    for (int i = 0; i < num; ++i) {
        if (idToSlot.count(ids[i])) continue;  // already down
        const int slot = takeFreeSlot();
        if (slot < 0) continue;  // every slot is taken
        Touch* touch = new (std::nothrow) Touch();
        if (!touch) {
            freeSlot(slot);
            continue;
        }
        touchSlots[slot] = touch;
        placeTouch(touch, slot, xs[i], ys[i]);
        idToSlot.emplace(ids[i], slot);
        touches.push_back(touch);
    }
    dispatchTouchList(touches, EventTouch::EventCode::BEGAN);
}

void GLView::handleTouchesMove(int num, intptr_t ids[], float xs[], float ys[]) {
    std::vector<Touch*> touches;
    auto& idToSlot = touchIdToSlot();
    for (int i = 0; i < num; ++i) {
        auto found = idToSlot.find(ids[i]);
        if (found == idToSlot.end()) continue;
        Touch* touch = touchSlots[found->second];
        if (!touch) return;  // bookkeeping out of step: drop the whole call
        placeTouch(touch, found->second, xs[i], ys[i]);
        touches.push_back(touch);
    }
    dispatchTouchList(touches, EventTouch::EventCode::MOVED);
}

void GLView::handleTouchesOfEndOrCancel(int eventCode, int num, intptr_t ids[], float xs[], float ys[]) {
    std::vector<Touch*> touches;
    auto& idToSlot = touchIdToSlot();
    for (int i = 0; i < num; ++i) {
        auto found = idToSlot.find(ids[i]);
        if (found == idToSlot.end()) continue;
        const int slot = found->second;
        Touch* touch = touchSlots[slot];
        if (!touch) return;
        placeTouch(touch, slot, xs[i], ys[i]);
        touches.push_back(touch);
        touchSlots[slot] = nullptr;
        freeSlot(slot);
        idToSlot.erase(found);
    }
    dispatchTouchList(touches, static_cast<EventTouch::EventCode>(eventCode));
    for (Touch* touch : touches) touch->release();
}

void GLView::handleTouchesEnd(int num, intptr_t ids[], float xs[], float ys[]) {
    handleTouchesOfEndOrCancel(static_cast<int>(EventTouch::EventCode::ENDED), num, ids, xs, ys);
}

void GLView::handleTouchesCancel(int num, intptr_t ids[], float xs[], float ys[]) {
    handleTouchesOfEndOrCancel(static_cast<int>(EventTouch::EventCode::CANCELLED), num, ids, xs, ys);
}

unsigned int GLView::getTouchSlotMask() { return touchSlotMask; }

void GLView::releaseAllTouches() {
    for (int i = 0; i < MAX_TOUCHES; ++i) {
        if (touchSlots[i]) {
            touchSlots[i]->release();
            touchSlots[i] = nullptr;
        }
    }
    touchSlotMask = 0;
    touchIdToSlot().clear();
}

}  // namespace kite
