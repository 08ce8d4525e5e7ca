// The scroll view: a window onto a larger container dragged by touch, with deceleration, bounce, pinch zoom and
// clipping.
#pragma once
#include <string>
#include <vector>

#include "kite/foundation/math/MathTypes.h"
#include "kite/rendering/CustomCommand.h"
#include "kite/scene/ActionTween.h"
#include "kite/scene/Layer.h"
#include "kite/scene/NodeReport.h"

namespace kite {
namespace extension {

class ScrollView;

// Told of every change of the container's offset or scale.
class ScrollViewDelegate {
public:
    virtual ~ScrollViewDelegate() = default;
    virtual void scrollViewDidScroll(ScrollView*) {}
    virtual void scrollViewDidZoom(ScrollView*) {}
};

class ScrollView : public Layer, public ActionTweenDelegate, public ReportsWindow {
public:
    // NONE only marks "no direction yet" for the table view.
    enum class Direction { NONE = -1, HORIZONTAL = 0, VERTICAL = 1, BOTH = 2 };

    // Elastic margin past each limit, as a fraction of the view size.
    static constexpr float INSET_RATIO = 0.2f;
    // Velocity kept per frame after release, and the speed (points per frame) at which it stops.
    static constexpr float DECELERATION_RATE = 0.95f;
    static constexpr float DECELERATION_STOP = 1.0f;
    // Share of the finger's step the container follows while it is past a limit.
    static constexpr float BOUNCE_BACK_FACTOR = 0.35f;
    // How far (inches) a finger moves before the view scrolls.
    static constexpr float MOVE_INCH = 7.0f / 160.0f;
    static constexpr float ANIMATION_DURATION = 0.15f;
    static constexpr int MAX_TOUCHES = 15;

    // A 200 x 200 view onto a new container.
    static ScrollView* create();
    // A view of the given size onto the container, or onto a new one when it is null.
    static ScrollView* create(const Size& size, Node* container = nullptr);

    ScrollView();
    ~ScrollView() override;

    bool init() override;
    virtual bool initWithViewSize(const Size& size, Node* container = nullptr);

    // Without touch the drag state is forgotten.
    void setTouchEnabled(bool enabled) override;

    virtual void setDirection(Direction direction) { this->direction = direction; }
    Direction getDirection() const { return direction; }
    void setDelegate(ScrollViewDelegate* delegate) { this->delegate = delegate; }
    ScrollViewDelegate* getDelegate() const { return delegate; }
    Node* getContainer() const { return container; }
    const Size& getViewSize() const { return viewSize; }
    bool isDragging() const { return dragging; }
    bool isTouchMoved() const { return touchMoved; }
    bool isBounceable() const { return bounceable; }
    bool isClippingToBounds() const { return clippingToBounds; }

    // The container's position. Without bounce the offset is kept inside the limits.
    void setContentOffset(const Vec2& offset, bool animated = false);
    Vec2 getContentOffset() const;
    void setContentOffsetInDuration(const Vec2& offset, float duration);
    // Limits of the container's position: it may not leave the view's bottom-left corner empty.
    Vec2 minContainerOffset() const;
    Vec2 maxContainerOffset() const;

    // Scales the container about the pinch point (or the view's middle), within the scale limits.
    virtual void setZoomScale(float scale);
    float getZoomScale() const;
    void updateTweenAction(float value, const std::string& key) override;

    // The container's size; the view keeps its own.
    void setContentSize(const Size& size) override;
    const Size& getContentSize() const override;

    // Children other than the container go into the container.
    using Layer::addChild;
    void addChild(Node* child, int localZ, int tag) override;
    void addChild(Node* child, int localZ, const std::string& name) override;

    void visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) override;
    using Node::visit;
    void onExit() override;

    bool onTouchBegan(Touch* touch, Event* event) override;
    void onTouchMoved(Touch* touch, Event* event) override;
    void onTouchEnded(Touch* touch, Event* event) override;
    void onTouchCancelled(Touch* touch, Event* event) override;

    // The view's rectangle in world space, through every ancestor's scale.
    Rect getViewRect() const override;
    bool hasVisibleParents() const;

protected:
    // Per frame after a release: carries the last step on, slowing down, then returns into the limits.
    void deaccelerateScrolling(float dt);
    void performedAnimatedScroll(float dt);
    void stoppedAnimatedScroll(Node* node);
    void relocateContainer(bool animated);
    void updateInset();
    void onBeforeDraw();
    void onAfterDraw();
    float pointsToInches(float distance) const;
    void forgetTouches();

    ScrollViewDelegate* delegate = nullptr;  // not retained
    Direction direction = Direction::BOTH;
    bool dragging = false;
    Node* container = nullptr;  // a child
    bool touchMoved = false;
    Vec2 maxInset;
    Vec2 minInset;
    bool bounceable = true;
    bool clippingToBounds = true;
    Vec2 scrollDistance;
    Vec2 touchPoint;
    float touchLength = 0.0f;
    std::vector<Touch*> touches;  // not retained: the GL view owns them
    Size viewSize;
    float minScale = 1.0f;
    float maxScale = 1.0f;
    Rect parentScissorRect;
    bool scissorRestored = false;
    CustomCommand beforeDrawCommand;
    CustomCommand afterDrawCommand;
};

}  // namespace extension
}  // namespace kite
