#include "kite/widgets/ScrollView.h"

#include <GLES2/gl2.h>

#include <algorithm>
#include <cmath>
#include <new>

#include "kite/platform/Device.h"
#include "kite/rendering/Renderer.h"
#include "kite/scene/ActionInstant.h"
#include "kite/scene/ActionInterval.h"
#include "kite/scene/Director.h"
#include "kite/scene/GLView.h"
#include "kite/scene/Touch.h"

namespace kite {
namespace extension {

namespace {

Vec2 touchIn(const Node* node, const Touch* touch) { return node->convertToNodeSpace(touch->getLocation()); }

}  // namespace

ScrollView* ScrollView::create() { return create(Size(200.0f, 200.0f), nullptr); }

ScrollView* ScrollView::create(const Size& size, Node* container) {
    auto* view = new (std::nothrow) ScrollView();
    if (view && view->initWithViewSize(size, container)) {
        view->autorelease();
        return view;
    }
    delete view;
    return nullptr;
}

// One touch at a time, shared with the nodes behind.
ScrollView::ScrollView() {
    touchMode = TouchMode::ONE_BY_ONE;
    swallowsTouches = false;
}

ScrollView::~ScrollView() {
    // The animated offset's end calls back into this view.
    if (container) container->stopAllActions();
}

bool ScrollView::init() { return initWithViewSize(Size(200.0f, 200.0f), nullptr); }

bool ScrollView::initWithViewSize(const Size& size, Node* content) {
    if (!Layer::init()) return false;
    container = content;
    if (!container) {
        container = Layer::create();
        if (!container) return false;
        container->setIgnoreAnchorForPosition(false);
        container->setAnchorPoint(Vec2::ZERO);
    }
    viewSize = size;
    Node::setContentSize(size);
    setTouchEnabled(true);
    touches.reserve(MAX_TOUCHES);
    delegate = nullptr;
    bounceable = true;
    clippingToBounds = true;
    direction = Direction::BOTH;
    container->setPosition(0.0f, 0.0f);
    touchLength = 0.0f;
    addChild(container);
    minScale = maxScale = 1.0f;
    return true;
}

void ScrollView::setTouchEnabled(bool enabled) {
    // Always a fresh listener: the old one goes first.
    if (touchEnabled) Layer::setTouchEnabled(false);
    if (enabled) {
        Layer::setTouchEnabled(true);
    } else {
        forgetTouches();
    }
}

void ScrollView::forgetTouches() {
    dragging = false;
    touchMoved = false;
    touches.clear();
}

// ---- offset and zoom ----------------------------------------------------------------------

Vec2 ScrollView::getContentOffset() const { return container->getPosition(); }

void ScrollView::setContentOffset(const Vec2& offset, bool animated) {
    if (animated) {
        setContentOffsetInDuration(offset, ANIMATION_DURATION);
        return;
    }
    Vec2 target = offset;
    if (!bounceable) {
        const Vec2 lowest = minContainerOffset();
        const Vec2 highest = maxContainerOffset();
        target.x = std::max(lowest.x, std::min(highest.x, target.x));
        target.y = std::max(lowest.y, std::min(highest.y, target.y));
    }
    container->setPosition(target);
    if (delegate) delegate->scrollViewDidScroll(this);
}

void ScrollView::setContentOffsetInDuration(const Vec2& offset, float duration) {
    auto* move = MoveTo::create(duration, offset);
    auto* done = CallFuncN::create([this](Node* node) { stoppedAnimatedScroll(node); });
    container->runAction(Sequence::create(move, done, nullptr));
    scheduleEveryFrame(schedule_selector(&ScrollView::performedAnimatedScroll));
}

void ScrollView::performedAnimatedScroll(float) {
    if (dragging) {
        unschedule(schedule_selector(&ScrollView::performedAnimatedScroll));
        return;
    }
    if (delegate) delegate->scrollViewDidScroll(this);
}

void ScrollView::stoppedAnimatedScroll(Node*) {
    unschedule(schedule_selector(&ScrollView::performedAnimatedScroll));
    if (delegate) delegate->scrollViewDidScroll(this);
}

Vec2 ScrollView::minContainerOffset() const {
    const Size& size = container->getContentSize();
    return Vec2(viewSize.width - size.width * container->getScaleX(),
                viewSize.height - size.height * container->getScaleY());
}

Vec2 ScrollView::maxContainerOffset() const { return Vec2::ZERO; }

float ScrollView::getZoomScale() const { return container->getScale(); }

void ScrollView::setZoomScale(float scale) {
    if (container->getScale() == scale) return;
    const Vec2 center =
        touchLength == 0.0f ? convertToWorldSpace(Vec2(viewSize.width * 0.5f, viewSize.height * 0.5f)) : touchPoint;
    const Vec2 oldCenter = container->convertToNodeSpace(center);
    container->setScale(std::max(minScale, std::min(maxScale, scale)));
    const Vec2 newCenter = container->convertToWorldSpace(oldCenter);
    const Vec2 shift = center - newCenter;
    if (delegate) delegate->scrollViewDidZoom(this);
    setContentOffset(container->getPosition() + shift);
}

void ScrollView::updateTweenAction(float value, const std::string&) { setZoomScale(value); }

void ScrollView::setContentSize(const Size& size) {
    if (!container) {
        Node::setContentSize(size);
        return;
    }
    container->setContentSize(size);
    updateInset();
}

const Size& ScrollView::getContentSize() const { return container ? container->getContentSize() : contentSize; }

void ScrollView::updateInset() {
    const Vec2 margin(viewSize.width * INSET_RATIO, viewSize.height * INSET_RATIO);
    maxInset = maxContainerOffset() + margin;
    minInset = minContainerOffset() - margin;
}

void ScrollView::addChild(Node* child, int localZ, int tag) {
    if (container != child) {
        container->addChild(child, localZ, tag);
    } else {
        Layer::addChild(child, localZ, tag);
    }
}

void ScrollView::addChild(Node* child, int localZ, const std::string& name) {
    if (container != child) {
        container->addChild(child, localZ, name);
    } else {
        Layer::addChild(child, localZ, name);
    }
}

// ---- motion after release -----------------------------------------------------------------

void ScrollView::deaccelerateScrolling(float) {
    if (dragging) {
        unschedule(schedule_selector(&ScrollView::deaccelerateScrolling));
        return;
    }
    container->setPosition(container->getPosition() + scrollDistance);
    const Vec2 upper = bounceable ? maxInset : maxContainerOffset();
    const Vec2 lower = bounceable ? minInset : minContainerOffset();
    const Vec2 position = container->getPosition();
    scrollDistance.scale(DECELERATION_RATE);
    setContentOffset(position);

    const bool spent =
        std::fabs(scrollDistance.x) <= DECELERATION_STOP && std::fabs(scrollDistance.y) <= DECELERATION_STOP;
    const bool pastLimit =
        position.y >= upper.y || position.y <= lower.y || position.x >= upper.x || position.x <= lower.x;
    if (spent || pastLimit) {
        unschedule(schedule_selector(&ScrollView::deaccelerateScrolling));
        relocateContainer(true);
    }
}

void ScrollView::relocateContainer(bool animated) {
    const Vec2 lowest = minContainerOffset();
    const Vec2 highest = maxContainerOffset();
    const Vec2 old = container->getPosition();
    Vec2 target = old;
    // A container smaller than the view sits at its left edge and its top.
    if (direction == Direction::HORIZONTAL || direction == Direction::BOTH)
        target.x = std::min(std::max(target.x, lowest.x), highest.x);
    if (direction == Direction::VERTICAL || direction == Direction::BOTH)
        target.y = std::max(std::min(target.y, highest.y), lowest.y);
    if (target.y != old.y || target.x != old.x) setContentOffset(target, animated);
}

// ---- touches ------------------------------------------------------------------------------

Rect ScrollView::getViewRect() const {
    Vec2 origin = convertToWorldSpace(Vec2::ZERO);
    float scaleX = getScaleX();
    float scaleY = getScaleY();
    for (const Node* p = parent; p; p = p->getParent()) {
        scaleX *= p->getScaleX();
        scaleY *= p->getScaleY();
    }
    if (scaleX < 0.0f) {
        origin.x += viewSize.width * scaleX;
        scaleX = -scaleX;
    }
    if (scaleY < 0.0f) {
        origin.y += viewSize.height * scaleY;
        scaleY = -scaleY;
    }
    return Rect(origin.x, origin.y, viewSize.width * scaleX, viewSize.height * scaleY);
}

bool ScrollView::hasVisibleParents() const {
    for (const Node* p = parent; p; p = p->getParent()) {
        if (!p->isVisible()) return false;
    }
    return true;
}

float ScrollView::pointsToInches(float distance) const {
    const GLView* view = director->getOpenGLView();
    const float scale = view ? (view->getScaleX() + view->getScaleY()) / 2.0f : 1.0f;
    return distance * scale / static_cast<float>(Device::getDPI());
}

bool ScrollView::onTouchBegan(Touch* touch, Event*) {
    if (!isVisible() || !hasVisibleParents()) return false;
    if (touches.size() > 2 || touchMoved || !getViewRect().containsPoint(touch->getLocation())) return false;
    if (std::find(touches.begin(), touches.end(), touch) == touches.end()) touches.push_back(touch);

    if (touches.size() == 1) {
        touchPoint = touchIn(this, touch);
        touchMoved = false;
        dragging = true;
        scrollDistance = Vec2::ZERO;
        touchLength = 0.0f;
    } else if (touches.size() == 2) {
        const Vec2 a = touchIn(this, touches[0]);
        const Vec2 b = touchIn(this, touches[1]);
        touchPoint = Vec2((a.x + b.x) / 2.0f, (a.y + b.y) / 2.0f);
        touchLength = touchIn(container, touches[0]).distance(touchIn(container, touches[1]));
        dragging = false;
    }
    return true;
}

void ScrollView::onTouchMoved(Touch* touch, Event*) {
    if (!isVisible()) return;
    if (std::find(touches.begin(), touches.end(), touch) == touches.end()) return;

    if (touches.size() == 1 && dragging) {
        const Vec2 newPoint = touchIn(this, touch);
        Vec2 step = newPoint - touchPoint;
        const Vec2 lowest = minContainerOffset();
        const Vec2 highest = maxContainerOffset();
        const Vec2 position = container->getPosition();
        const bool outsideX = position.x < lowest.x || position.x > highest.x;
        const bool outsideY = position.y < lowest.y || position.y > highest.y;
        float distance = 0.0f;
        if (direction == Direction::VERTICAL) {
            distance = step.y;
        } else if (direction == Direction::HORIZONTAL) {
            distance = step.x;
        } else {
            distance = step.length();
        }
        if (direction != Direction::HORIZONTAL && outsideY) step.y *= BOUNCE_BACK_FACTOR;
        if (direction != Direction::VERTICAL && outsideX) step.x *= BOUNCE_BACK_FACTOR;

        if (!touchMoved) {
            if (std::fabs(pointsToInches(distance)) < MOVE_INCH) return;
            // The step that crosses the threshold only starts the scroll.
            step = Vec2::ZERO;
        }
        touchPoint = newPoint;
        touchMoved = true;
        if (direction == Direction::VERTICAL) step.x = 0.0f;
        if (direction == Direction::HORIZONTAL) step.y = 0.0f;
        scrollDistance = step;
        setContentOffset(container->getPosition() + step);
    } else if (touches.size() == 2 && !dragging && touchLength != 0.0f) {
        const float length = touchIn(container, touches[0]).distance(touchIn(container, touches[1]));
        setZoomScale(container->getScale() * length / touchLength);
    }
}

void ScrollView::onTouchEnded(Touch* touch, Event*) {
    if (!isVisible()) return;
    auto listed = std::find(touches.begin(), touches.end(), touch);
    if (listed != touches.end()) {
        if (touches.size() == 1 && touchMoved)
            scheduleEveryFrame(schedule_selector(&ScrollView::deaccelerateScrolling));
        touches.erase(listed);
    }
    if (touches.empty()) {
        dragging = false;
        touchMoved = false;
    }
}

void ScrollView::onTouchCancelled(Touch* touch, Event*) {
    if (!isVisible()) return;
    auto listed = std::find(touches.begin(), touches.end(), touch);
    if (listed != touches.end()) touches.erase(listed);
    if (touches.empty()) {
        dragging = false;
        touchMoved = false;
    }
}

void ScrollView::onExit() {
    // Touches that end while the view is away never reach it: keep none that could dangle.
    forgetTouches();
    Layer::onExit();
}

// ---- drawing ------------------------------------------------------------------------------

void ScrollView::visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) {
    if (!isVisible() || !isVisibleToCamera()) return;
    const uint32_t flags = updateTransformFromParent(parentTransform, parentFlags);
    director->pushMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW);
    director->loadMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW, modelViewTransform);

    beforeDrawCommand.init(globalZOrder);
    beforeDrawCommand.func = [this] { onBeforeDraw(); };
    renderer->addCommand(&beforeDrawCommand);

    std::size_t i = 0;
    for (; i < children.size() && children.at(i)->getLocalZOrder() < 0; ++i)
        children.at(i)->visit(renderer, modelViewTransform, flags);
    draw(renderer, modelViewTransform, flags);
    for (; i < children.size(); ++i) children.at(i)->visit(renderer, modelViewTransform, flags);

    afterDrawCommand.init(globalZOrder);
    afterDrawCommand.func = [this] { onAfterDraw(); };
    renderer->addCommand(&afterDrawCommand);
    director->popMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW);
}

void ScrollView::onBeforeDraw() {
    GLView* view = director->getOpenGLView();
    if (!clippingToBounds || !view) return;
    scissorRestored = false;
    const Rect frame = getViewRect();
    if (view->isScissorEnabled()) {
        scissorRestored = true;
        parentScissorRect = view->getScissorRect();
        // Inside an enclosing clip only what both let through is drawn; nothing when they are apart.
        const float left = std::max(frame.getMinX(), parentScissorRect.getMinX());
        const float bottom = std::max(frame.getMinY(), parentScissorRect.getMinY());
        const float right = std::min(frame.getMaxX(), parentScissorRect.getMaxX());
        const float top = std::min(frame.getMaxY(), parentScissorRect.getMaxY());
        view->setScissorInPoints(left, bottom, std::max(right - left, 0.0f), std::max(top - bottom, 0.0f));
    } else {
        glEnable(GL_SCISSOR_TEST);
        view->setScissorInPoints(frame.origin.x, frame.origin.y, frame.size.width, frame.size.height);
    }
}

void ScrollView::onAfterDraw() {
    GLView* view = director->getOpenGLView();
    if (!clippingToBounds || !view) return;
    if (scissorRestored) {
        view->setScissorInPoints(parentScissorRect.origin.x, parentScissorRect.origin.y, parentScissorRect.size.width,
                                 parentScissorRect.size.height);
    } else {
        glDisable(GL_SCISSOR_TEST);
    }
}

}  // namespace extension
}  // namespace kite
