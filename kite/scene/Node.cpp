#include "kite/scene/Node.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <regex>

#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"
#include "kite/rendering/GLProgramState.h"
#include "kite/scene/ActionManager.h"
#include "kite/scene/Camera.h"
#include "kite/scene/Component.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/Scene.h"
#include "kite/scene/Touch.h"
#include "platform/PrintableText.h"

namespace kite {

namespace {

// Shared by every node: each addChild and reorderChild takes the next value.
int globalOrderOfArrival = 1;

// Script events of the node family.
enum NodeScriptEvent {
    kScriptEnter = 0,
    kScriptExit = 1,
    kScriptEnterFinished = 2,
    kScriptExitStarted = 3,
    kScriptCleanup = 4
};

// Product of two channels, truncated as the cascade specifies (255 x 128 -> 128).
uint8_t multiplyChannel(uint8_t a, uint8_t b) {
    return static_cast<uint8_t>(static_cast<double>(static_cast<int>(a) * static_cast<int>(b)) / 255.0);
}

// The children as they were when a walk began. Callbacks may add or remove children of the
// node being walked; the copy keeps each entry alive, and walks skip entries that left.
Vector<Node*> snapshotOf(const Vector<Node*>& children) { return Vector<Node*>(children); }

}  // namespace

struct Node::NamePath {
    std::vector<std::regex> levels;
};

// Made where the component container is a complete type.
Node::ColdData::ColdData() : hashOfName(std::hash<std::string>()(std::string())) {}
Node::ColdData::~ColdData() = default;

const std::string& Node::nameOrEmpty() const {
    static const std::string empty;
    return coldData ? coldData->name : empty;
}

Node* Node::create() { return createAutoreleased<Node>(); }

int Node::takeOrderOfArrival() { return globalOrderOfArrival++; }

bool Node::childDrawOrderLess(Node* a, Node* b) {
    const int za = a->getLocalZOrder();
    const int zb = b->getLocalZOrder();
    return za < zb || (za == zb && a->orderOfArrival < b->orderOfArrival);
}

Node::Node()
    : usingNormalizedPosition(false),
      normalizedPositionDirty(false),
      contentSizeDirty(true),
      transformDirty(true),
      transformPlanar(true),
      inverseDirty(true),
      useAdditionalTransform(false),
      transformUpdated(true),
      visible(true),
      running(false),
      ignoreAnchorPointForPosition(false),
      reorderChildDirty(false),
      isTransitionFinished(false),
      cascadeColorEnabled(false),
      cascadeOpacityEnabled(false) {
    director = Director::getInstance();
    scheduler = director->getScheduler();
    if (scheduler) scheduler->retain();
    actionManager = director->getActionManager();
    if (actionManager) actionManager->retain();
    eventDispatcher = director->getEventDispatcher();
    if (eventDispatcher) eventDispatcher->retain();
    if (ScriptEngine* engine = ScriptEngineManager::getInstance()->getScriptEngine()) {
        if (const int type = engine->getScriptType()) cold().scriptType = type;
    }
}

Node::~Node() {
    if (coldData && coldData->updateScriptHandler != 0) {
        if (ScriptEngine* engine = ScriptEngineManager::getInstance()->getScriptEngine()) {
            engine->removeScriptObject(this);
        }
    }
    if (coldData) releaseAndClear(coldData->userObject);
    releaseAndClear(glProgramState);
    for (Node* child : children) child->parent = nullptr;
    removeAllComponents();
    if (coldData) coldData->componentContainer.reset();
    actionsRemoveAll();
    releaseAndClear(actionManager);
    if (scheduler) scheduler->unscheduleAllForTarget(this);
    releaseAndClear(scheduler);
    listenersRemoveAll();
    releaseAndClear(eventDispatcher);
    // children releases each child as it is destroyed.
}

std::string Node::description() const {
    char text[64];
    std::snprintf(text, sizeof text, "<Node | Tag = %d", tag);
    return text;
}

// ---- order ---------------------------------------------------------------------------------

void Node::setLocalZOrder(int z) {
    if (localZOrder == z) return;
    // The parent hears of the change before it is stored: a parent that skips a child
    // already at z (a sprite batch node) would otherwise never reorder it.
    if (parent) parent->reorderChild(this, z);
    localZOrder = z;
    listenersOrderChanged();
}

void Node::setGlobalZOrder(float z) {
    if (globalZOrder == z) return;
    globalZOrder = z;
    listenersOrderChanged();
}

void Node::reorderChild(Node* child, int localZ) {
    if (!child) return;
    reorderChildDirty = true;
    child->orderOfArrival = globalOrderOfArrival++;
    child->localZOrder = localZ;
}

void Node::sortAllChildren() {
    if (!reorderChildDirty) return;
    std::vector<Node*> sorted(children.begin(), children.end());
    std::sort(sorted.begin(), sorted.end(), childDrawOrderLess);
    // Same elements, new order: swap the pointers in place without touching the counts.
    std::copy(sorted.begin(), sorted.end(), children.begin());
    reorderChildDirty = false;
}

// ---- children ------------------------------------------------------------------------------

void Node::addChild(Node* child) {
    if (!child) {
        addChildHelper(child, 0, INVALID_TAG, std::string(), false);
        return;
    }
    addChild(child, child->localZOrder, child->nameOrEmpty());
}

void Node::addChild(Node* child, int localZ) { addChild(child, localZ, child ? child->nameOrEmpty() : std::string()); }

void Node::addChild(Node* child, int localZ, int t) { addChildHelper(child, localZ, t, std::string(), true); }

void Node::addChild(Node* child, int localZ, const std::string& n) {
    addChildHelper(child, localZ, INVALID_TAG, n, false);
}

void Node::addChildHelper(Node* child, int localZ, int t, const std::string& n, bool setTagFlag) {
    if (!child) {
        log("Node: refusing to add a null child");
        return;
    }
    if (child->parent) {
        log("Node: refusing to add a child that already has a parent");
        return;
    }
    for (const Node* n2 = this; n2; n2 = n2->parent) {
        if (n2 == child) {
            log("Node: refusing to add a node to itself or below itself");
            return;
        }
    }
    if (children.empty()) children.reserve(4);
    transformUpdated = true;
    reorderChildDirty = true;
    children.pushBack(child);
    child->localZOrder = localZ;
    if (setTagFlag) {
        child->setTag(t);
    } else {
        child->setName(n);
    }
    child->setParent(this);
    child->orderOfArrival = globalOrderOfArrival++;
    if (running) {
        child->onEnter();
        if (isTransitionFinished && child->parent == this) child->onEnterTransitionFinished();
    }
    if (cascadeColorEnabled) updateCascadeColor();
    if (cascadeOpacityEnabled) updateCascadeOpacity();
}

Node* Node::getChildByTag(int t) const {
    for (Node* child : children) {
        if (child->tag == t) return child;
    }
    return nullptr;
}

Node* Node::getChildByName(const std::string& n) const {
    const std::size_t hash = std::hash<std::string>()(n);
    for (Node* child : children) {
        // A child without the cold block was never named.
        const ColdData* c = child->coldData.get();
        if (c ? c->hashOfName == hash && c->name == n : n.empty()) return child;
    }
    return nullptr;
}

void Node::setParent(Node* p) {
    parent = p;
    markTransformDirty();
}

Scene* Node::getScene() const {
    if (!parent) return nullptr;
    const Node* root = parent;
    while (root->parent) root = root->parent;
    return dynamic_cast<Scene*>(const_cast<Node*>(root));
}

void Node::removeFromParentAndCleanup(bool cleanupFlag) {
    if (parent) parent->removeChild(this, cleanupFlag);
}

void Node::removeChild(Node* child, bool cleanupFlag) {
    if (children.empty() || !child || !children.contains(child)) return;
    detachChild(child, cleanupFlag);
}

void Node::detachChild(Node* child, bool cleanupFlag) {
    // Kept alive through the callbacks, which may remove it themselves.
    RefPtr<Node> keep(child);
    if (running) {
        child->onExitTransitionStarted();
        child->onExit();
    }
    if (cleanupFlag) child->cleanup();
    if (child->parent == this) child->setParent(nullptr);
    children.eraseObject(child);
}

void Node::removeChildByTag(int t, bool cleanupFlag) {
    if (Node* child = getChildByTag(t)) removeChild(child, cleanupFlag);
}

void Node::removeChildByName(const std::string& n, bool cleanupFlag) {
    if (Node* child = getChildByName(n)) removeChild(child, cleanupFlag);
}

void Node::removeAllChildrenWithCleanup(bool cleanupFlag) {
    for (Node* child : snapshotOf(children)) {
        if (child->parent != this) continue;
        if (running) {
            child->onExitTransitionStarted();
            child->onExit();
        }
        if (cleanupFlag) child->cleanup();
        if (child->parent == this) child->setParent(nullptr);
    }
    // Children added by the callbacks above stay, with their parent.
    bool allDetached = true;
    for (Node* child : children) allDetached = allDetached && child->parent != this;
    if (allDetached) {
        children.clear();
        return;
    }
    for (auto it = children.begin(); it != children.end();) {
        it = (*it)->parent != this ? children.erase(it) : it + 1;
    }
}

void Node::setName(const std::string& n) {
    if (n.empty() && !coldData) return;
    ColdData& c = cold();
    c.name = n;
    c.hashOfName = std::hash<std::string>()(n);
}

void Node::setUserObject(Ref* object) {
    if (object || coldData) assignRetained(cold().userObject, object);
}

void Node::setGLProgramState(GLProgramState* state) {
    if (state == glProgramState) return;
    assignRetained(glProgramState, state);
}

void Node::setGLProgram(GLProgram* program) {
    if (glProgramState && glProgramState->getGLProgram() == program) return;
    setGLProgramState(program ? GLProgramState::getOrCreateWithGLProgram(program) : nullptr);
}

GLProgram* Node::getGLProgram() const { return glProgramState ? glProgramState->getGLProgram() : nullptr; }

// ---- search by name path -------------------------------------------------------------------

void Node::enumerateChildren(const std::string& path, const std::function<bool(Node*)>& callback) const {
    if (!callback) return;
    const std::size_t length = path.size();
    std::string pattern = path;
    bool recursive = false;
    if (length > 2) {
        if (pattern.compare(0, 2, "//") == 0) {
            recursive = true;
            pattern.erase(0, 2);
        }
        if (length >= 4 && pattern.size() >= 3 && pattern.compare(pattern.size() - 3, 3, "/..") == 0) {
            pattern.erase(pattern.size() - 3);
            pattern = "[[:alnum:]]+/" + pattern;
        }
    }
    // One expression per level of the path, compiled once for the whole search.
    NamePath levels;
    std::size_t start = 0;
    try {
        for (;;) {
            const std::size_t slash = pattern.find('/', start);
            levels.levels.emplace_back(
                pattern.substr(start, slash == std::string::npos ? std::string::npos : slash - start),
                std::regex::ECMAScript);
            if (slash == std::string::npos) break;
            start = slash + 1;
        }
    } catch (const std::regex_error&) {
        log("Node: child name pattern \"%s\" is not a valid pattern; nothing matches",
            platform::printableText(path).c_str());
        return;
    }
    if (recursive) {
        doEnumerateRecursive(this, levels, callback);
    } else {
        doEnumerate(levels, 0, callback);
    }
}

bool Node::doEnumerateRecursive(const Node* node, const NamePath& levels,
                                const std::function<bool(Node*)>& callback) const {
    if (node->doEnumerate(levels, 0, callback)) return true;
    for (Node* child : snapshotOf(node->children)) {
        if (doEnumerateRecursive(child, levels, callback)) return true;
    }
    return false;
}

bool Node::doEnumerate(const NamePath& levels, std::size_t level, const std::function<bool(Node*)>& callback) const {
    const bool descend = level + 1 < levels.levels.size();
    for (Node* child : snapshotOf(children)) {
        if (!std::regex_match(child->nameOrEmpty(), levels.levels[level])) continue;
        if (descend) {
            if (child->doEnumerate(levels, level + 1, callback)) return true;
        } else if (callback(child)) {
            return true;
        }
    }
    return false;
}

// ---- lifecycle -----------------------------------------------------------------------------

void Node::onEnter() {
    if (coldData && coldData->onEnterCallback) coldData->onEnterCallback();
    if (currentScriptType() == 2 && ScriptEngineManager::sendNodeEventUnlessScriptCall(this, kScriptEnter)) return;
    isTransitionFinished = false;
    for (Node* child : snapshotOf(children)) {
        if (child->parent == this) child->onEnter();
    }
    // Children added by those calls joined a node that was not running yet.
    for (Node* child : snapshotOf(children)) {
        if (child->parent == this && !child->running) child->onEnter();
    }
    resume();
    running = true;
    if (currentScriptType() == 1) ScriptEngineManager::sendNodeEvent(this, kScriptEnter);
}

void Node::onEnterTransitionFinished() {
    if (coldData && coldData->onEnterTransitionDidFinishCallback) coldData->onEnterTransitionDidFinishCallback();
    if (currentScriptType() == 2 && ScriptEngineManager::sendNodeEventUnlessScriptCall(this, kScriptEnterFinished))
        return;
    isTransitionFinished = true;
    for (Node* child : snapshotOf(children)) {
        if (child->parent == this) child->onEnterTransitionFinished();
    }
    if (currentScriptType() == 1) ScriptEngineManager::sendNodeEvent(this, kScriptEnterFinished);
}

void Node::onExitTransitionStarted() {
    if (coldData && coldData->onExitTransitionDidStartCallback) coldData->onExitTransitionDidStartCallback();
    if (currentScriptType() == 2 && ScriptEngineManager::sendNodeEventUnlessScriptCall(this, kScriptExitStarted))
        return;
    for (Node* child : snapshotOf(children)) {
        if (child->parent == this) child->onExitTransitionStarted();
    }
    if (currentScriptType() == 1) ScriptEngineManager::sendNodeEvent(this, kScriptExitStarted);
}

void Node::onExit() {
    if (coldData && coldData->onExitCallback) coldData->onExitCallback();
    if (currentScriptType() == 2 && ScriptEngineManager::sendNodeEventUnlessScriptCall(this, kScriptExit)) return;
    pause();
    running = false;
    for (Node* child : snapshotOf(children)) {
        if (child->parent == this) child->onExit();
    }
    if (currentScriptType() == 1) ScriptEngineManager::sendNodeEvent(this, kScriptExit);
}

void Node::cleanup() {
    actionsRemoveAll();
    if (scheduler) scheduler->unscheduleAllForTarget(this);
    if (currentScriptType() != 0) ScriptEngineManager::sendNodeEvent(this, kScriptCleanup);
    for (Node* child : snapshotOf(children)) {
        if (child->parent == this) child->cleanup();
    }
}

void Node::pause() {
    if (scheduler) scheduler->pauseTarget(this);
    actionsPause();
    listenersPause();
}

void Node::resume() {
    if (scheduler) scheduler->resumeTarget(this);
    actionsResume();
    listenersResume();
}

// ---- services ------------------------------------------------------------------------------

void Node::setScheduler(Scheduler* s) {
    if (s == scheduler) return;
    if (scheduler) scheduler->unscheduleAllForTarget(this);
    if (s) s->retain();
    if (scheduler) scheduler->release();
    scheduler = s;
}

void Node::setActionManager(ActionManager* manager) {
    if (manager == actionManager) return;
    actionsRemoveAll();
    assignRetained(actionManager, manager);
}

void Node::setEventDispatcher(EventDispatcher* dispatcher) {
    if (dispatcher == eventDispatcher) return;
    listenersRemoveAll();
    assignRetained(eventDispatcher, dispatcher);
}

Action* Node::runAction(Action* action) {
    if (actionManager) actionManager->addAction(action, this, !running);
    return action;
}

void Node::stopAllActions() { actionsRemoveAll(); }

void Node::actionsRemoveAll() {
    if (actionManager) actionManager->removeAllActionsFromTarget(this);
}
void Node::actionsPause() {
    if (actionManager) actionManager->pauseTarget(this);
}
void Node::actionsResume() {
    if (actionManager) actionManager->resumeTarget(this);
}
void Node::listenersRemoveAll() {
    if (eventDispatcher) eventDispatcher->removeEventListenersForTarget(this, false);
}
void Node::listenersPause() {
    if (eventDispatcher) eventDispatcher->pauseEventListenersForTarget(this, false);
}
void Node::listenersResume() {
    if (eventDispatcher) eventDispatcher->resumeEventListenersForTarget(this, false);
}
void Node::listenersOrderChanged() {
    if (eventDispatcher) eventDispatcher->setDirtyForNode(this);
}

void Node::scheduleUpdateWithPriority(int priority) {
    if (scheduler) scheduler->scheduleUpdate<Node>(this, priority, !running);
}

void Node::unscheduleUpdate() {
    if (scheduler) scheduler->unscheduleUpdate(this);
    if (coldData && coldData->updateScriptHandler != 0) {
        if (ScriptEngine* engine = ScriptEngineManager::getInstance()->getScriptEngine()) {
            engine->removeScriptObject(this);
        }
        coldData->updateScriptHandler = 0;
    }
}

void Node::scheduleEveryFrame(SEL_SCHEDULE selector) { scheduleWithInterval(selector, 0.0f); }

void Node::scheduleWithInterval(SEL_SCHEDULE selector, float interval) {
    if (scheduler && selector) scheduler->scheduleSelector(selector, this, interval, kRepeatForever, 0.0f, !running);
}

void Node::unschedule(SEL_SCHEDULE selector) {
    if (scheduler && selector) scheduler->unscheduleSelector(selector, this);
}

void Node::update(float dt) {
    ComponentContainer* container = components();
    if (container && !container->isEmpty()) container->visit(dt);
}

Component* Node::getComponent(const std::string& componentName) {
    ComponentContainer* container = components();
    return container ? container->get(componentName) : nullptr;
}

bool Node::addComponent(Component* component) {
    ColdData& c = cold();
    if (!c.componentContainer) c.componentContainer = std::make_unique<ComponentContainer>(this);
    return c.componentContainer->add(component);
}

bool Node::removeComponentByName(const std::string& componentName) {
    ComponentContainer* container = components();
    return container && container->remove(componentName);
}

bool Node::removeComponent(Component* component) {
    ComponentContainer* container = components();
    return container && container->remove(component);
}

void Node::removeAllComponents() {
    if (ComponentContainer* container = components()) container->removeAll();
}

// ---- colour and opacity --------------------------------------------------------------------

void Node::setOpacity(uint8_t opacity) {
    displayedOpacity = realOpacity = opacity;
    updateCascadeOpacity();
}

void Node::updateDisplayedOpacity(uint8_t parentOpacity) {
    displayedOpacity = multiplyChannel(realOpacity, parentOpacity);
    updateColor();
    if (!cascadeOpacityEnabled) return;
    for (Node* child : snapshotOf(children)) child->updateDisplayedOpacity(displayedOpacity);
}

void Node::setCascadeOpacityEnabled(bool enabled) {
    if (cascadeOpacityEnabled == enabled) return;
    cascadeOpacityEnabled = enabled;
    if (enabled) {
        updateCascadeOpacity();
    } else {
        disableCascadeOpacity();
    }
}

void Node::updateCascadeOpacity() {
    uint8_t p = 255;
    if (parent && parent->isCascadeOpacityEnabled()) p = parent->getDisplayedOpacity();
    updateDisplayedOpacity(p);
}

// The node still takes its parent's cascade (with the flag now off this reaches the node
// alone, and redraws its colours); only its children stop receiving its value.
void Node::disableCascadeOpacity() {
    updateCascadeOpacity();
    for (Node* child : snapshotOf(children)) child->updateDisplayedOpacity(255);
}

void Node::setColor(const Color3B& color) {
    displayedColor = realColor = color;
    updateCascadeColor();
}

void Node::updateDisplayedColor(const Color3B& parentColor) {
    displayedColor.r = multiplyChannel(realColor.r, parentColor.r);
    displayedColor.g = multiplyChannel(realColor.g, parentColor.g);
    displayedColor.b = multiplyChannel(realColor.b, parentColor.b);
    updateColor();
    if (!cascadeColorEnabled) return;
    for (Node* child : snapshotOf(children)) child->updateDisplayedColor(displayedColor);
}

void Node::setCascadeColorEnabled(bool enabled) {
    if (cascadeColorEnabled == enabled) return;
    cascadeColorEnabled = enabled;
    if (enabled) {
        updateCascadeColor();
    } else {
        disableCascadeColor();
    }
}

void Node::updateCascadeColor() {
    Color3B p = Color3B::WHITE;
    if (parent && parent->isCascadeColorEnabled()) p = parent->getDisplayedColor();
    updateDisplayedColor(p);
}

void Node::disableCascadeColor() {
    updateCascadeColor();
    for (Node* child : snapshotOf(children)) child->updateDisplayedColor(Color3B::WHITE);
}

// ---- placement -----------------------------------------------------------------------------

void Node::setScaleX(float s) {
    if (scaleX == s) return;
    scaleX = s;
    markTransformDirty();
}

void Node::setScaleY(float s) {
    if (scaleY == s) return;
    scaleY = s;
    markTransformDirty();
}

void Node::setScaleZ(float s) {
    if (scaleZ == s) return;
    scaleZ = s;
    markTransformDirty();
}

void Node::setScale(float s) {
    if (scaleX == s && scaleY == s && scaleZ == s) return;
    scaleX = scaleY = scaleZ = s;
    markTransformDirty();
}

void Node::setScale(float x, float y) {
    if (scaleX == x && scaleY == y) return;
    scaleX = x;
    scaleY = y;
    markTransformDirty();
}

void Node::getPosition(float* x, float* y) const {
    if (x) *x = position.x;
    if (y) *y = position.y;
}

void Node::setPositionZ(float z) {
    if (positionZ == z) return;
    positionZ = z;
    markTransformDirty();
}

void Node::setPosition3D(const Vec3& p) {
    setPositionZ(p.z);
    setPosition(p.x, p.y);
}

void Node::setNormalizedPosition(const Vec2& p) {
    // After a plain setPosition the stored value is stale, so the same value still takes effect.
    if (usingNormalizedPosition && coldData->normalizedPosition.equals(p)) return;
    cold().normalizedPosition = p;
    usingNormalizedPosition = true;
    normalizedPositionDirty = true;
    markTransformDirty();
}

void Node::setSkewX(float degrees) {
    if (skewX == degrees) return;
    skewX = degrees;
    markTransformDirty();
}

void Node::setSkewY(float degrees) {
    if (skewY == degrees) return;
    skewY = degrees;
    markTransformDirty();
}

void Node::setAnchorPoint(const Vec2& anchor) {
    if (anchorPoint.equals(anchor)) return;
    anchorPoint = anchor;
    anchorPointInPoints.set(contentSize.width * anchor.x, contentSize.height * anchor.y);
    markTransformDirty();
}

void Node::setContentSize(const Size& size) {
    if (contentSize.equals(size)) return;
    contentSize = size;
    anchorPointInPoints.set(contentSize.width * anchorPoint.x, contentSize.height * anchorPoint.y);
    contentSizeDirty = true;
    markTransformDirty();
}

void Node::setVisible(bool v) {
    if (visible == v) return;
    visible = v;
    if (visible) markTransformDirty();
}

void Node::setIgnoreAnchorForPosition(bool ignore) {
    if (ignoreAnchorPointForPosition == ignore) return;
    ignoreAnchorPointForPosition = ignore;
    markTransformDirty();
}

void Node::setRotation(float degrees) {
    // Both parts are compared: a split rotation with this x angle still needs its y part set.
    if (rotationZ_X == degrees && rotationZ_Y == degrees) return;
    rotationZ_X = rotationZ_Y = degrees;
    markTransformDirty();
    updateRotationQuat();
}

void Node::setRotationSkewX(float degrees) {
    if (rotationZ_X == degrees) return;
    rotationZ_X = degrees;
    markTransformDirty();
    updateRotationQuat();
}

void Node::setRotationSkewY(float degrees) {
    if (rotationZ_Y == degrees) return;
    rotationZ_Y = degrees;
    markTransformDirty();
    updateRotationQuat();
}

void Node::setRotation3D(const Vec3& degrees) {
    if (rotationX == degrees.x && rotationY == degrees.y && rotationZ_X == degrees.z && rotationZ_Y == degrees.z)
        return;
    markTransformDirty();
    rotationX = degrees.x;
    rotationY = degrees.y;
    rotationZ_X = rotationZ_Y = degrees.z;
    updateRotationQuat();
}

void Node::setRotationQuat(const Quaternion& q) {
    rotationQuat = q;
    updateRotation3D();
    markTransformDirty();
}

void Node::updateRotationQuat() {
    const float halfRadX = rotationX * 0.5f * kDegreesToRadians;
    const float halfRadY = rotationY * 0.5f * kDegreesToRadians;
    const float halfRadZ = rotationZ_X == rotationZ_Y ? -rotationZ_X * 0.5f * kDegreesToRadians : 0.0f;
    const float sx = std::sin(halfRadX), cx = std::cos(halfRadX);
    const float sy = std::sin(halfRadY), cy = std::cos(halfRadY);
    const float sz = std::sin(halfRadZ), cz = std::cos(halfRadZ);
    rotationQuat.x = sx * cy * cz - cx * sy * sz;
    rotationQuat.y = cx * sy * cz + sx * cy * sz;
    rotationQuat.z = cx * cy * sz - sx * sy * cz;
    rotationQuat.w = cx * cy * cz + sx * sy * sz;
}

void Node::updateRotation3D() {
    const float x = rotationQuat.x, y = rotationQuat.y, z = rotationQuat.z, w = rotationQuat.w;
    rotationX = std::atan2(2.0f * (y * z + x * w), 1.0f - 2.0f * (x * x + y * y)) * kRadiansToDegrees;
    // Rounding can push the sine a hair past 1; clamp so the angle stays a number.
    const float sinY = clampf(2.0f * (y * w - x * z), -1.0f, 1.0f);
    rotationY = std::asin(sinY) * kRadiansToDegrees;
    rotationZ_X = rotationZ_Y =
        -std::atan(2.0f * (x * y + z * w) / (1.0f - 2.0f * (y * y + z * z))) * kRadiansToDegrees;
}

// ---- matrices ------------------------------------------------------------------------------

const Mat4& Node::getNodeToParentTransform() const {
    if (!transformDirty) return transform;
    if (!buildPlanarTransform()) {
        const Vec2& a = anchorPointInPoints;
        float x = position.x, y = position.y;
        if (ignoreAnchorPointForPosition) {
            x += a.x;
            y += a.y;
        }
        const bool needsSkew = skewX != 0.0f || skewY != 0.0f;
        const Vec2 s(a.x * scaleX, a.y * scaleY);
        if (!needsSkew && !a.equals(Vec2::ZERO)) {
            x -= s.x;
            y -= s.y;
        }
        buildFullTransform(x + s.x, y + s.y, s, needsSkew);
        transformPlanar = transform.isPlanar();
    }
    transformDirty = false;
    return transform;
}

// The rotation-skew pair turns the x and y axes by different angles.
static void applyRotationSkew(float rotationZX, float rotationZY, float* m) {
    const float rx = -rotationZX * kDegreesToRadians;
    const float ry = -rotationZY * kDegreesToRadians;
    const float cx = std::cos(rx), sx = std::sin(rx);
    const float cy = std::cos(ry), sy = std::sin(ry);
    const float m0 = m[0], m1 = m[1], m4 = m[4], m5 = m[5], m8 = m[8], m9 = m[9];
    m[0] = cy * m0 - sx * m1;
    m[4] = cy * m4 - sx * m5;
    m[8] = cy * m8 - sx * m9;
    m[1] = sy * m0 + cx * m1;
    m[5] = sy * m4 + cx * m5;
    m[9] = sy * m8 + cx * m9;
}

// The full path for 2D nodes (no skew, 3D rotation or additional transform), written out:
// rotation about z (a quaternion with only z and w), translation, the anchor moved back, then
// scale. Each entry is computed as the full path computes it, without the terms that are zero,
// so the values are the same. False, with nothing built, for any other node.
bool Node::buildPlanarTransform() const {
    // Skew and rotation about x or y, each of either sign of zero, on the bits and without branches;
    // a NaN among them takes the full path, as a comparison with zero would.
    const std::uint32_t turns = bitsOf(skewX) | bitsOf(skewY) | bitsOf(rotationQuat.x) | bitsOf(rotationQuat.y);
    if ((turns & 0x7fffffffu) != 0 || useAdditionalTransform) return false;
    const Vec2& a = anchorPointInPoints;
    const float sx = a.x * scaleX, sy = a.y * scaleY;
    float x = position.x, y = position.y;
    if (ignoreAnchorPointForPosition) {
        x += a.x;
        y += a.y;
    }
    if (!a.equals(Vec2::ZERO)) {
        x -= sx;
        y -= sy;
    }
    const float tx = x + sx, ty = y + sy;
    // Worked out in registers and each entry stored once, as a float: entries stored in pieces
    // and read back in other widths stall the processor.
    float m0 = 1.0f, m1 = 0.0f, m4 = 0.0f, m5 = 1.0f, m8 = 0.0f, m9 = 0.0f;
    if (rotationQuat.z != 0.0f) {
        const float z2 = rotationQuat.z + rotationQuat.z;
        const float zz2 = rotationQuat.z * z2, wz2 = rotationQuat.w * z2;
        m0 = m5 = 1.0f - zz2;
        m1 = wz2;
        m4 = -wz2;
    }
    if (rotationZ_X != rotationZ_Y) {
        float r[10] = {m0, m1, 0.0f, 0.0f, m4, m5, 0.0f, 0.0f, m8, m9};
        applyRotationSkew(rotationZ_X, rotationZ_Y, r);
        m0 = r[0];
        m1 = r[1];
        m4 = r[4];
        m5 = r[5];
        m8 = r[8];
        m9 = r[9];
    }
    float* m = transform.m;
    m[0] = m0 * scaleX;
    m[1] = m1 * scaleX;
    m[2] = 0.0f;
    m[3] = 0.0f;
    m[4] = m4 * scaleY;
    m[5] = m5 * scaleY;
    m[6] = 0.0f;
    m[7] = 0.0f;
    m[8] = m8;
    m[9] = m9;
    m[10] = scaleZ;
    m[11] = 0.0f;
    m[12] = m0 * -sx + m4 * -sy + tx;
    m[13] = m1 * -sx + m5 * -sy + ty;
    m[14] = positionZ;
    m[15] = 1.0f;
    transformPlanar = true;
    return true;
}

void Node::buildFullTransform(float tx, float ty, const Vec2& anchorScaled, bool needsSkew) const {
    Mat4 translation;
    Mat4::createTranslation(tx, ty, positionZ, &translation);
    Mat4::createRotation(rotationQuat, &transform);
    if (rotationZ_X != rotationZ_Y) applyRotationSkew(rotationZ_X, rotationZ_Y, transform.m);
    transform = translation * transform;
    transform.translate(-anchorScaled.x, -anchorScaled.y, 0.0f);

    float* m = transform.m;
    if (scaleX != 1.0f) {
        m[0] *= scaleX;
        m[1] *= scaleX;
        m[2] *= scaleX;
    }
    if (scaleY != 1.0f) {
        m[4] *= scaleY;
        m[5] *= scaleY;
        m[6] *= scaleY;
    }
    if (scaleZ != 1.0f) {
        m[8] *= scaleZ;
        m[9] *= scaleZ;
        m[10] *= scaleZ;
    }
    if (needsSkew) {
        Mat4 skew;
        skew.m[1] = std::tan(skewY * kDegreesToRadians);
        skew.m[4] = std::tan(skewX * kDegreesToRadians);
        transform = transform * skew;
        const Vec2& a = anchorPointInPoints;
        if (!a.equals(Vec2::ZERO)) {
            m[12] += -m[0] * a.x - m[4] * a.y;
            m[13] += -m[1] * a.x - m[5] * a.y;
        }
    }
    if (useAdditionalTransform) transform = transform * coldData->additionalTransform;
}

void Node::setNodeToParentTransform(const Mat4& t) {
    transform = t;
    transformPlanar = t.isPlanar();
    transformDirty = false;
    transformUpdated = true;
}

void Node::setAdditionalTransform(const Mat4* additional) {
    useAdditionalTransform = additional != nullptr;
    if (additional) cold().additionalTransform = *additional;
    markTransformDirty();
}

const Mat4& Node::getParentToNodeTransform() const {
    ColdData& c = cold();
    if (inverseDirty) {
        c.inverse = getNodeToParentTransform().getInversed();
        inverseDirty = false;
    }
    return c.inverse;
}

AffineTransform Node::getNodeToParentAffineTransform() const {
    return MatrixToAffineTransform(getNodeToParentTransform());
}

AffineTransform Node::getParentToNodeAffineTransform() const {
    return MatrixToAffineTransform(getParentToNodeTransform());
}

Mat4 Node::getNodeToWorldTransform() const {
    Mat4 t = getNodeToParentTransform();
    for (const Node* p = parent; p; p = p->parent) t = p->getNodeToParentTransform() * t;
    return t;
}

AffineTransform Node::getNodeToWorldAffineTransform() const {
    AffineTransform t = getNodeToParentAffineTransform();
    for (const Node* p = parent; p; p = p->parent) t = AffineTransformConcat(t, p->getNodeToParentAffineTransform());
    return t;
}

Mat4 Node::getWorldToNodeTransform() const { return getNodeToWorldTransform().getInversed(); }

AffineTransform Node::getWorldToNodeAffineTransform() const {
    return AffineTransformInvert(getNodeToWorldAffineTransform());
}

void Node::updateTransform() {
    for (Node* child : snapshotOf(children)) child->updateTransform();
}

Vec2 Node::convertToNodeSpace(const Vec2& worldPoint) const {
    Vec4 p(worldPoint.x, worldPoint.y, 0.0f, 1.0f);
    Vec4 r = getWorldToNodeTransform() * p;
    return Vec2(r.x, r.y);
}

Vec2 Node::convertToWorldSpace(const Vec2& nodePoint) const {
    Vec4 p(nodePoint.x, nodePoint.y, 0.0f, 1.0f);
    Vec4 r = getNodeToWorldTransform() * p;
    return Vec2(r.x, r.y);
}

Vec2 Node::convertToNodeSpaceAR(const Vec2& worldPoint) const {
    return convertToNodeSpace(worldPoint) - anchorPointInPoints;
}

Vec2 Node::convertToWorldSpaceAR(const Vec2& nodePoint) const {
    return convertToWorldSpace(nodePoint + anchorPointInPoints);
}

Vec2 Node::convertTouchToNodeSpace(const Touch* touch) const {
    return touch ? convertToNodeSpace(touch->getLocation()) : Vec2();
}

Vec2 Node::convertTouchToNodeSpaceAR(const Touch* touch) const {
    return touch ? convertToNodeSpaceAR(touch->getLocation()) : Vec2();
}

Rect Node::getBoundingBox() const {
    return RectApplyAffineTransform(Rect(0.0f, 0.0f, contentSize.width, contentSize.height),
                                    getNodeToParentAffineTransform());
}

// ---- visit ---------------------------------------------------------------------------------

void Node::setCameraMask(unsigned short mask, bool applyChildren) {
    cameraMask = mask;
    if (!applyChildren) return;
    for (Node* child : children) child->setCameraMask(mask, true);
}

bool Node::isVisibleToCamera() const {
    const Camera* camera = Camera::getVisitingCamera();
    return !camera || (cameraMask & camera->getCameraFlag()) != 0;
}

void Node::applyNormalizedPosition(uint32_t parentFlags) {
    if (!(parentFlags & FLAGS_CONTENT_SIZE_DIRTY) && !normalizedPositionDirty) return;
    // Only children use a normalised position; a root keeps its position.
    if (parent) {
        const Size& s = parent->getContentSize();
        position.set(coldData->normalizedPosition.x * s.width, coldData->normalizedPosition.y * s.height);
        markTransformDirty();
    }
    normalizedPositionDirty = false;
}

void Node::updateModelViewTransform(const Mat4& parentTransform) {
    const Mat4& local = getNodeToParentTransform();
    // The node's own cache knows whether it is planar; a matrix from elsewhere is looked at.
    const bool localPlanar = &local == &transform ? transformPlanar : local.isPlanar();
    if (localPlanar && parentTransform.isPlanar())
        Mat4::multiplyPlanar(parentTransform, local, &modelViewTransform);
    else
        Mat4::multiply(parentTransform, local, &modelViewTransform);
}

void Node::draw(Renderer*, const Mat4&, uint32_t) {}

void Node::draw() { draw(director->getRenderer(), modelViewTransform, FLAGS_TRANSFORM_DIRTY); }

void Node::visit() {
    visit(director->getRenderer(), director->getMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW),
          FLAGS_TRANSFORM_DIRTY);
}

namespace {

constexpr std::size_t kVisitPrefetchDistance = 4;
// Past this many siblings (tens of megabytes of nodes) the children no longer stay in the cache
// from one frame to the next, and every line a leaf's visit touches is worth fetching ahead;
// below it, fetching them costs more than it saves.
constexpr std::size_t kWholeNodePrefetchChildren = 16384;
constexpr int kWholeNodeLines = 10;  // a sprite's visit reaches about 600 bytes into it

// The lines a leaf's visit reads first, its header and placement; the lines after them are
// fetched by the processor itself once it sees the walk, unless the whole node is asked for.
inline void prefetchNode(const Node* node, bool wholeNode) {
    const char* at = reinterpret_cast<const char*>(node);
    const int lines = wholeNode ? kWholeNodeLines : 2;
    for (int line = 0; line < lines; ++line) __builtin_prefetch(at + 64 * line);
}

}  // namespace

void Node::visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) {
    if (!visible) return;
    const uint32_t flags = updateTransformFromParent(parentTransform, parentFlags);
    director->pushMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW);
    director->loadMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW, modelViewTransform);
    const bool visibleByCamera = isVisibleToCamera();
    if (!children.empty()) {
        sortAllChildren();
        // Indexed and bounds-checked each step, so a visit that changes the list cannot run off it.
        std::size_t i = 0;
        for (; i < children.size(); ++i) {
            Node* child = children.at(i);
            if (child->localZOrder >= 0) break;
            child->visit(renderer, modelViewTransform, flags);
        }
        if (visibleByCamera) draw(renderer, modelViewTransform, flags);
        const bool wholeNodes = children.size() > kWholeNodePrefetchChildren;
        for (; i < children.size(); ++i) {
            // A few children ahead are fetched while this one is visited; many children seldom
            // stay in the cache from one frame to the next.
            if (i + kVisitPrefetchDistance < children.size())
                prefetchNode(children.at(i + kVisitPrefetchDistance), wholeNodes);
            children.at(i)->visit(renderer, modelViewTransform, flags);
        }
    } else if (visibleByCamera) {
        draw(renderer, modelViewTransform, flags);
    }
    director->popMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW);
}

}  // namespace kite
