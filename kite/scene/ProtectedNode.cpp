#include "kite/scene/ProtectedNode.h"

#include <algorithm>
#include <vector>

#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"
#include "kite/scene/Director.h"

namespace kite {

namespace {

// The protected children as they were when a walk began; callbacks may change the list.
std::vector<RefPtr<Node>> snapshotOf(const Vector<Node*>& list) { return {list.begin(), list.end()}; }

}  // namespace

ProtectedNode* ProtectedNode::create() { return createAutoreleased<ProtectedNode>(); }

ProtectedNode::~ProtectedNode() {
    for (Node* child : protectedChildren) child->setParent(nullptr);
    // protectedChildren releases each child as it is destroyed.
}

void ProtectedNode::addProtectedChild(Node* child) {
    if (child) addProtectedChild(child, child->getLocalZOrder(), child->getTag());
}

void ProtectedNode::addProtectedChild(Node* child, int localZOrder) {
    if (child) addProtectedChild(child, localZOrder, child->getTag());
}

void ProtectedNode::addProtectedChild(Node* child, int localZOrder, int childTag) {
    if (!child || child->getParent()) {
        log("ProtectedNode: refusing a null child or one that already has a parent");
        return;
    }
    for (const Node* n = this; n; n = n->getParent()) {
        if (n == child) {
            log("ProtectedNode: refusing to add a node to itself or below itself");
            return;
        }
    }
    if (protectedChildren.empty()) protectedChildren.reserve(4);
    reorderProtectedChildDirty = true;
    protectedChildren.pushBack(child);
    child->setLocalZOrder(localZOrder);
    child->setTag(childTag);
    child->setParent(this);
    child->setOrderOfArrival(takeOrderOfArrival());
    if (running) {
        child->onEnter();
        if (isTransitionFinished) child->onEnterTransitionFinished();
    }
    if (cascadeColorEnabled) updateCascadeColor();
    if (cascadeOpacityEnabled) updateCascadeOpacity();
}

Node* ProtectedNode::getProtectedChildByTag(int childTag) {
    for (Node* child : protectedChildren) {
        if (child->getTag() == childTag) return child;
    }
    return nullptr;
}

void ProtectedNode::removeProtectedChild(Node* child, bool cleanupChild) {
    if (!child || !protectedChildren.contains(child)) return;
    RefPtr<Node> keep(child);
    if (running) {
        child->onExitTransitionStarted();
        child->onExit();
    }
    if (cleanupChild) child->cleanup();
    if (child->getParent() == this) child->setParent(nullptr);
    protectedChildren.eraseObject(child);
}

void ProtectedNode::removeProtectedChildByTag(int childTag, bool cleanupChild) {
    if (Node* child = getProtectedChildByTag(childTag)) removeProtectedChild(child, cleanupChild);
}

void ProtectedNode::removeAllProtectedChildrenWithCleanup(bool cleanupChildren) {
    for (const RefPtr<Node>& child : snapshotOf(protectedChildren)) {
        if (running) {
            child->onExitTransitionStarted();
            child->onExit();
        }
        if (cleanupChildren) child->cleanup();
        if (child->getParent() == this) child->setParent(nullptr);
    }
    protectedChildren.clear();
}

void ProtectedNode::reorderProtectedChild(Node* child, int localZOrder) {
    if (!child) return;
    reorderProtectedChildDirty = true;
    child->setOrderOfArrival(takeOrderOfArrival());
    child->setLocalZOrder(localZOrder);
}

void ProtectedNode::sortAllProtectedChildren() {
    if (!reorderProtectedChildDirty) return;
    std::vector<Node*> sorted(protectedChildren.begin(), protectedChildren.end());
    std::sort(sorted.begin(), sorted.end(), childDrawOrderLess);
    std::copy(sorted.begin(), sorted.end(), protectedChildren.begin());
    reorderProtectedChildDirty = false;
}

void ProtectedNode::cleanup() {
    Node::cleanup();
    for (const RefPtr<Node>& child : snapshotOf(protectedChildren)) child->cleanup();
}

void ProtectedNode::onEnter() {
    Node::onEnter();
    for (const RefPtr<Node>& child : snapshotOf(protectedChildren)) child->onEnter();
}

void ProtectedNode::onEnterTransitionFinished() {
    Node::onEnterTransitionFinished();
    for (const RefPtr<Node>& child : snapshotOf(protectedChildren)) child->onEnterTransitionFinished();
}

void ProtectedNode::onExit() {
    Node::onExit();
    for (const RefPtr<Node>& child : snapshotOf(protectedChildren)) child->onExit();
}

void ProtectedNode::onExitTransitionStarted() {
    Node::onExitTransitionStarted();
    for (const RefPtr<Node>& child : snapshotOf(protectedChildren)) child->onExitTransitionStarted();
}

void ProtectedNode::visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) {
    // Unlike a plain node, a camera that cannot see this node skips its whole subtree.
    if (!visible || !isVisibleToCamera()) return;
    const uint32_t flags = updateTransformFromParent(parentTransform, parentFlags);
    director->pushMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW);
    director->loadMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW, modelViewTransform);
    visitBothLists(renderer, flags);
    director->popMatrix(MATRIX_STACK_TYPE::MATRIX_STACK_MODELVIEW);
}

void ProtectedNode::visitBothLists(Renderer* renderer, uint32_t flags) {
    sortAllChildren();
    sortAllProtectedChildren();
    // Indexed and bounds-checked each step, so a visit that changes a list cannot run off it.
    std::size_t i = 0;
    for (; i < children.size() && children.at(i)->getLocalZOrder() < 0; ++i) {
        children.at(i)->visit(renderer, modelViewTransform, flags);
    }
    std::size_t j = 0;
    for (; j < protectedChildren.size() && protectedChildren.at(j)->getLocalZOrder() < 0; ++j) {
        protectedChildren.at(j)->visit(renderer, modelViewTransform, flags);
    }
    draw(renderer, modelViewTransform, flags);
    for (; j < protectedChildren.size(); ++j) protectedChildren.at(j)->visit(renderer, modelViewTransform, flags);
    for (; i < children.size(); ++i) children.at(i)->visit(renderer, modelViewTransform, flags);
}

void ProtectedNode::updateDisplayedOpacity(uint8_t parentOpacity) {
    Node::updateDisplayedOpacity(parentOpacity);
    for (const RefPtr<Node>& child : snapshotOf(protectedChildren)) child->updateDisplayedOpacity(displayedOpacity);
}

void ProtectedNode::updateDisplayedColor(const Color3B& parentColor) {
    Node::updateDisplayedColor(parentColor);
    for (const RefPtr<Node>& child : snapshotOf(protectedChildren)) child->updateDisplayedColor(displayedColor);
}

void ProtectedNode::disableCascadeOpacity() {
    Node::disableCascadeOpacity();
    for (const RefPtr<Node>& child : snapshotOf(protectedChildren)) child->updateDisplayedOpacity(255);
}

void ProtectedNode::disableCascadeColor() {
    Node::disableCascadeColor();
    for (const RefPtr<Node>& child : snapshotOf(protectedChildren)) child->updateDisplayedColor(Color3B::WHITE);
}

}  // namespace kite
