// The scene-graph node: child tree and order, lifecycle, placement and transforms, colour cascade.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "kite/foundation/Ref.h"
#include "kite/foundation/Scheduler.h"
#include "kite/foundation/Vector.h"
#include "kite/foundation/math/MathTypes.h"

namespace kite {

class ActionManager;
class Action;
class Component;
class ComponentContainer;
class Director;
class EventDispatcher;
class GLProgram;
class GLProgramState;
class Renderer;
class Scene;
class Touch;

// Flags handed from a parent's visit to its children.
constexpr uint32_t FLAGS_TRANSFORM_DIRTY = 1;
constexpr uint32_t FLAGS_CONTENT_SIZE_DIRTY = 2;
constexpr uint32_t FLAGS_DIRTY_MASK = FLAGS_TRANSFORM_DIRTY | FLAGS_CONTENT_SIZE_DIRTY;

class Node : public Ref {
public:
    // The tag of a node that has none.
    static constexpr int INVALID_TAG = -1;

    static Node* create();

    // Lower local z first; equal local z by order of arrival.
    static bool childDrawOrderLess(Node* a, Node* b);

    virtual std::string description() const;

    // Order.
    virtual void setLocalZOrder(int z);
    // Stores the local z without telling the parent.
    virtual void storeLocalZOrder(int z) { localZOrder = z; }
    virtual int getLocalZOrder() const { return localZOrder; }
    virtual void setGlobalZOrder(float z);
    virtual float getGlobalZOrder() const { return globalZOrder; }
    void setOrderOfArrival(int order) { orderOfArrival = order; }
    int getOrderOfArrival() const { return orderOfArrival; }

    // Scale.
    virtual void setScaleX(float s);
    virtual float getScaleX() const { return scaleX; }
    virtual void setScaleY(float s);
    virtual float getScaleY() const { return scaleY; }
    virtual void setScaleZ(float s);
    virtual float getScaleZ() const { return scaleZ; }
    virtual void setScale(float s);
    virtual float getScale() const { return scaleX; }
    virtual void setScale(float x, float y);

    // Position.
    virtual void setPosition(const Vec2& p) { setPosition(p.x, p.y); }
    virtual void setNormalizedPosition(const Vec2& p);
    virtual const Vec2& getPosition() const { return position; }
    virtual const Vec2& getNormalizedPosition() const { return coldData ? coldData->normalizedPosition : Vec2::ZERO; }
    // Inline, for subclasses that extend it: a moving node is placed every frame.
    virtual void setPosition(float x, float y) {
        if (position.x == x && position.y == y) return;
        position.set(x, y);
        markTransformDirty();
        usingNormalizedPosition = false;
    }
    virtual void getPosition(float* x, float* y) const;
    virtual void setPositionX(float x) { setPosition(x, position.y); }
    virtual float getPositionX() const { return position.x; }
    virtual void setPositionY(float y) { setPosition(position.x, y); }
    virtual float getPositionY() const { return position.y; }
    virtual void setPosition3D(const Vec3& p);
    virtual Vec3 getPosition3D() const { return Vec3(position.x, position.y, positionZ); }
    virtual void setPositionZ(float z);
    virtual float getPositionZ() const { return positionZ; }

    // Skew, anchor, size.
    virtual void setSkewX(float degrees);
    virtual float getSkewX() const { return skewX; }
    virtual void setSkewY(float degrees);
    virtual float getSkewY() const { return skewY; }
    virtual void setAnchorPoint(const Vec2& anchor);
    virtual const Vec2& getAnchorPoint() const { return anchorPoint; }
    virtual const Vec2& getAnchorPointInPoints() const { return anchorPointInPoints; }
    virtual void setContentSize(const Size& size);
    virtual const Size& getContentSize() const { return contentSize; }

    virtual void setVisible(bool v);
    virtual bool isVisible() const { return visible; }

    // Rotation, in degrees; positive turns clockwise on screen.
    virtual void setRotation(float degrees);
    virtual float getRotation() const { return rotationZ_X; }
    virtual void setRotation3D(const Vec3& degrees);
    virtual Vec3 getRotation3D() const { return Vec3(rotationX, rotationY, rotationZ_X); }
    virtual void setRotationQuat(const Quaternion& q);
    virtual Quaternion getRotationQuat() const { return rotationQuat; }
    virtual void setRotationSkewX(float degrees);
    virtual float getRotationSkewX() const { return rotationZ_X; }
    virtual void setRotationSkewY(float degrees);
    virtual float getRotationSkewY() const { return rotationZ_Y; }

    virtual void setIgnoreAnchorForPosition(bool ignore);
    virtual bool isIgnoreAnchorForPosition() const { return ignoreAnchorPointForPosition; }

    // Children. A null child, a child that already has a parent, and this node or one of its
    // ancestors are refused with a log line.
    virtual void addChild(Node* child);
    virtual void addChild(Node* child, int localZ);
    virtual void addChild(Node* child, int localZ, int tag);
    virtual void addChild(Node* child, int localZ, const std::string& name);
    virtual Node* getChildByTag(int tag) const;
    virtual Node* getChildByName(const std::string& name) const;
    // Calls back for the children matched by a name path ("a/b", "//item", "a/.."); a true result
    // stops the search. An invalid pattern matches nothing.
    virtual void enumerateChildren(const std::string& name, const std::function<bool(Node*)>& callback) const;
    template <class T>
    T getChildByName(const std::string& name) const {
        return static_cast<T>(getChildByName(name));
    }
    virtual Vector<Node*>& getChildren() { return children; }
    virtual const Vector<Node*>& getChildren() const { return children; }
    virtual std::size_t getChildrenCount() const { return children.size(); }
    virtual void setParent(Node* p);
    virtual Node* getParent() { return parent; }
    virtual const Node* getParent() const { return parent; }

    virtual void removeFromParent() { removeFromParentAndCleanup(true); }
    virtual void removeFromParentAndCleanup(bool cleanup);
    virtual void removeChild(Node* child, bool cleanup = true);
    virtual void removeChildByTag(int tag, bool cleanup = true);
    virtual void removeChildByName(const std::string& name, bool cleanup = true);
    virtual void removeAllChildren() { removeAllChildrenWithCleanup(true); }
    virtual void removeAllChildrenWithCleanup(bool cleanup);
    // Gives the child a new local z and a fresh order of arrival; the list is sorted at the next visit.
    virtual void reorderChild(Node* child, int localZ);
    virtual void sortAllChildren();

    virtual int getTag() const { return tag; }
    virtual void setTag(int t) { tag = t; }
    virtual std::string getName() const { return nameOrEmpty(); }
    virtual void setName(const std::string& n);
    virtual void* getUserData() { return coldData ? coldData->userData : nullptr; }
    virtual const void* getUserData() const { return coldData ? coldData->userData : nullptr; }
    virtual void setUserData(void* data) {
        if (data || coldData) cold().userData = data;
    }
    virtual Ref* getUserObject() { return coldData ? coldData->userObject : nullptr; }
    virtual const Ref* getUserObject() const { return coldData ? coldData->userObject : nullptr; }
    virtual void setUserObject(Ref* object);

    // The shader state drawing subclasses use; retained.
    virtual void setGLProgramState(GLProgramState* state);
    GLProgramState* getGLProgramState() const { return glProgramState; }
    // Switches to the program's shared state unless the current state already uses it.
    virtual void setGLProgram(GLProgram* program);
    GLProgram* getGLProgram() const;

    virtual bool isRunning() const { return running; }

    // Lifecycle.
    virtual void onEnter();
    virtual void onEnterTransitionFinished();
    virtual void onExit();
    virtual void onExitTransitionStarted();
    // Stops this node's actions and timers, then its children's.
    virtual void cleanup();

    void setOnEnterCallback(const std::function<void()>& f) { cold().onEnterCallback = f; }
    void setOnExitCallback(const std::function<void()>& f) { cold().onExitCallback = f; }
    void setOnEnterTransitionDidFinishCallback(const std::function<void()>& f) {
        cold().onEnterTransitionDidFinishCallback = f;
    }
    void setOnExitTransitionDidStartCallback(const std::function<void()>& f) {
        cold().onExitTransitionDidStartCallback = f;
    }

    // Drawing and the walk of the tree.
    virtual void draw(Renderer* renderer, const Mat4& transform, uint32_t flags);
    virtual void draw();
    virtual void visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags);
    virtual void visit();
    // The scene at the root of this node's tree; null when detached or the root is no scene.
    virtual Scene* getScene() const;
    virtual Rect getBoundingBox() const;

    // Services.
    virtual void setEventDispatcher(EventDispatcher* dispatcher);
    virtual EventDispatcher* getEventDispatcher() const { return eventDispatcher; }
    virtual void setActionManager(ActionManager* manager);
    virtual ActionManager* getActionManager() { return actionManager; }
    virtual const ActionManager* getActionManager() const { return actionManager; }
    virtual Action* runAction(Action* action);
    void stopAllActions();
    virtual void setScheduler(Scheduler* s);
    virtual Scheduler* getScheduler() { return scheduler; }
    virtual const Scheduler* getScheduler() const { return scheduler; }
    virtual void resume();
    virtual void pause();
    // Runs the components' update when there are any.
    virtual void update(float dt);

    // Components; the container is made by the first add. Removal reports false when nothing went.
    virtual Component* getComponent(const std::string& name);
    virtual bool addComponent(Component* component);
    virtual bool removeComponentByName(const std::string& name);
    virtual bool removeComponent(Component* component);
    virtual void removeAllComponents();

    void scheduleUpdate() { scheduleUpdateWithPriority(0); }
    void scheduleUpdateWithPriority(int priority);
    void unscheduleUpdate();
    void scheduleEveryFrame(SEL_SCHEDULE selector);
    void scheduleWithInterval(SEL_SCHEDULE selector, float interval);
    void unschedule(SEL_SCHEDULE selector);

    // Matrices.
    virtual void updateTransform();
    virtual const Mat4& getNodeToParentTransform() const;
    virtual AffineTransform getNodeToParentAffineTransform() const;
    virtual void setNodeToParentTransform(const Mat4& transform);
    virtual const Mat4& getParentToNodeTransform() const;
    virtual AffineTransform getParentToNodeAffineTransform() const;
    virtual Mat4 getNodeToWorldTransform() const;
    virtual AffineTransform getNodeToWorldAffineTransform() const;
    virtual Mat4 getWorldToNodeTransform() const;
    virtual AffineTransform getWorldToNodeAffineTransform() const;
    void setAdditionalTransform(const Mat4* additional);

    Vec2 convertToNodeSpace(const Vec2& worldPoint) const;
    Vec2 convertToWorldSpace(const Vec2& nodePoint) const;
    Vec2 convertToNodeSpaceAR(const Vec2& worldPoint) const;
    Vec2 convertToWorldSpaceAR(const Vec2& nodePoint) const;
    // The touch's location in GL coordinates, in this node's space (AR: from its anchor point).
    Vec2 convertTouchToNodeSpace(const Touch* touch) const;
    Vec2 convertTouchToNodeSpaceAR(const Touch* touch) const;

    // World matrix computed at the last visit.
    const Mat4& getModelViewTransform() const { return modelViewTransform; }

    // Cameras whose flag shares a bit with the mask draw this node.
    unsigned short getCameraMask() const { return cameraMask; }
    virtual void setCameraMask(unsigned short mask, bool applyChildren = true);
    bool isVisibleToCamera() const;

    // Colour and opacity.
    virtual uint8_t getOpacity() const { return realOpacity; }
    virtual uint8_t getDisplayedOpacity() const { return displayedOpacity; }
    virtual void setOpacity(uint8_t opacity);
    virtual void updateDisplayedOpacity(uint8_t parentOpacity);
    virtual bool isCascadeOpacityEnabled() const { return cascadeOpacityEnabled; }
    virtual void setCascadeOpacityEnabled(bool enabled);
    virtual const Color3B& getColor() const { return realColor; }
    virtual const Color3B& getDisplayedColor() const { return displayedColor; }
    virtual void setColor(const Color3B& color);
    virtual void updateDisplayedColor(const Color3B& parentColor);
    virtual bool isCascadeColorEnabled() const { return cascadeColorEnabled; }
    virtual void setCascadeColorEnabled(bool enabled);
    virtual void setOpacityModifyRGB(bool) {}
    virtual bool isOpacityModifyRGB() const { return false; }

    virtual bool init() { return true; }

    virtual void updateCascadeOpacity();
    virtual void disableCascadeOpacity();
    virtual void updateCascadeColor();
    virtual void disableCascadeColor();
    // Drawing subclasses rebuild their vertex colours here.
    virtual void updateColor() {}

    // Public for the create pattern; use create.
    Node();
    ~Node() override;

protected:
    // The next value of the process-wide order-of-arrival counter.
    static int takeOrderOfArrival();

    // Render commands refer to the matrix a node is drawn with until the frame is drawn: one
    // handed in from elsewhere is kept as the node's own world matrix.
    const Mat4& keepDrawTransform(const Mat4& transform) {
        if (&transform != &modelViewTransform) modelViewTransform = transform;
        return modelViewTransform;
    }
    // Raises the three placement flags together.
    void markTransformDirty() { transformDirty = inverseDirty = transformUpdated = true; }
    // The per-visit step: refreshes the world matrix when needed; returns the children's flags.
    // Inline: every visited node passes here every frame.
    uint32_t updateTransformFromParent(const Mat4& parentTransform, uint32_t parentFlags) {
        if (usingNormalizedPosition) applyNormalizedPosition(parentFlags);
        uint32_t flags = parentFlags;
        if (transformUpdated) flags |= FLAGS_TRANSFORM_DIRTY;
        if (contentSizeDirty) flags |= FLAGS_CONTENT_SIZE_DIRTY;
        if (flags & FLAGS_DIRTY_MASK) updateModelViewTransform(parentTransform);
        transformUpdated = false;
        contentSizeDirty = false;
        return flags;
    }
    // Places a child by its normalised position when it or the parent's size changed.
    void applyNormalizedPosition(uint32_t parentFlags);
    void updateRotationQuat();
    void updateRotation3D();
    // The two ways of filling the node-to-parent cache: 2D nodes get a planar matrix directly.
    bool buildPlanarTransform() const;
    void buildFullTransform(float tx, float ty, const Vec2& anchorScaled, bool needsSkew) const;
    void updateModelViewTransform(const Mat4& parentTransform);

    virtual void addChildHelper(Node* child, int localZ, int tag, const std::string& name, bool setTag);
    void detachChild(Node* child, bool cleanup);
    // The compiled levels of a name path.
    struct NamePath;
    bool doEnumerate(const NamePath& levels, std::size_t level, const std::function<bool(Node*)>& callback) const;
    bool doEnumerateRecursive(const Node* node, const NamePath& levels,
                              const std::function<bool(Node*)>& callback) const;

    // Service hooks for the action manager and the event dispatcher; without the service, a hook
    // has nothing to forward to.
    void actionsRemoveAll();
    void actionsPause();
    void actionsResume();
    void listenersRemoveAll();
    void listenersPause();
    void listenersResume();
    void listenersOrderChanged();

    // Flags first: they fill the tail of the reference-counted base. Their first values are set
    // in the constructor (a bit-field takes no initialiser here).
    bool usingNormalizedPosition : 1;
    bool normalizedPositionDirty : 1;
    bool contentSizeDirty : 1;
    // The caches' flags are set by const getters.
    mutable bool transformDirty : 1;
    mutable bool transformPlanar : 1;  // what the cache holds has only 2D terms
    mutable bool inverseDirty : 1;
    bool useAdditionalTransform : 1;
    bool transformUpdated : 1;
    bool visible : 1;
    bool running : 1;
    bool ignoreAnchorPointForPosition : 1;
    bool reorderChildDirty : 1;
    // Written for every node that enters a running scene, so kept here rather than in the cold block.
    bool isTransitionFinished : 1;
    bool cascadeColorEnabled : 1;
    bool cascadeOpacityEnabled : 1;
    unsigned short cameraMask = 1;
    float rotationX = 0.0f;
    float rotationY = 0.0f;
    float rotationZ_X = 0.0f;
    float rotationZ_Y = 0.0f;
    Quaternion rotationQuat;
    float scaleX = 1.0f;
    float scaleY = 1.0f;
    float scaleZ = 1.0f;
    Vec2 position;
    float positionZ = 0.0f;
    float skewX = 0.0f;
    float skewY = 0.0f;
    Vec2 anchorPointInPoints;
    Vec2 anchorPoint;
    Size contentSize;
    int localZOrder = 0;
    float globalZOrder = 0.0f;
    Mat4 modelViewTransform;
    // Filled lazily by const getters.
    mutable Mat4 transform;
    Vector<Node*> children;
    Node* parent = nullptr;  // not retained
    Director* director = nullptr;
    GLProgramState* glProgramState = nullptr;
    uint8_t displayedOpacity = 255;
    uint8_t realOpacity = 255;
    Color3B displayedColor = Color3B::WHITE;
    Color3B realColor = Color3B::WHITE;
    int tag = INVALID_TAG;
    int orderOfArrival = 0;
    Scheduler* scheduler = nullptr;
    ActionManager* actionManager = nullptr;      // the director's, retained
    EventDispatcher* eventDispatcher = nullptr;  // null until the director has one

    // Seldom used, so kept apart and made on first use: a node's hot data stays close together.
    // Reading a value a node never set does not make the block; the getters return the default.
    struct ColdData {
        ColdData();
        ~ColdData();
        Mat4 inverse;
        Mat4 additionalTransform;
        Vec2 normalizedPosition;
        std::string name;
        std::size_t hashOfName;
        void* userData = nullptr;
        Ref* userObject = nullptr;  // retained
        std::unique_ptr<ComponentContainer> componentContainer;
        int scriptHandler = 0;
        int updateScriptHandler = 0;
        int scriptType = 0;
        std::function<void()> onEnterCallback;
        std::function<void()> onExitCallback;
        std::function<void()> onEnterTransitionDidFinishCallback;
        std::function<void()> onExitTransitionDidStartCallback;
    };
    ColdData& cold() const {
        if (!coldData) coldData = std::make_unique<ColdData>();
        return *coldData;
    }
    const std::string& nameOrEmpty() const;
    // Null until a component is added.
    ComponentContainer* components() const { return coldData ? coldData->componentContainer.get() : nullptr; }
    int currentScriptType() const { return coldData ? coldData->scriptType : 0; }
    mutable std::unique_ptr<ColdData> coldData;
};

}  // namespace kite
