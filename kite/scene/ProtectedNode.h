// A node with a second, private child list for the parts a composite control builds for itself.
#pragma once
#include "kite/scene/Node.h"

namespace kite {

// Protected children have this node as parent but live only in the protected list, so removing or
// enumerating the user's children never touches them. Both lists are drawn in one z-ordered pass.
class ProtectedNode : public Node {
public:
    static ProtectedNode* create();

    ProtectedNode() = default;
    ~ProtectedNode() override;

    virtual void addProtectedChild(Node* child);
    virtual void addProtectedChild(Node* child, int localZOrder);
    // Refuses, with a log line, what addChild refuses: null, a child with a parent, an ancestor.
    virtual void addProtectedChild(Node* child, int localZOrder, int tag);
    virtual Node* getProtectedChildByTag(int tag);
    virtual void removeProtectedChild(Node* child, bool cleanup = true);
    virtual void removeProtectedChildByTag(int tag, bool cleanup = true);
    virtual void removeAllProtectedChildren() { removeAllProtectedChildrenWithCleanup(true); }
    virtual void removeAllProtectedChildrenWithCleanup(bool cleanup);
    virtual void reorderProtectedChild(Node* child, int localZOrder);
    virtual void sortAllProtectedChildren();
    const Vector<Node*>& getProtectedChildren() const { return protectedChildren; }

    void onEnter() override;
    void onEnterTransitionFinished() override;
    void onExit() override;
    void onExitTransitionStarted() override;
    void cleanup() override;
    void visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) override;
    using Node::visit;

    // Protected children always follow this node's colour and opacity, whatever the cascade flags.
    void updateDisplayedOpacity(uint8_t parentOpacity) override;
    void updateDisplayedColor(const Color3B& parentColor) override;
    void disableCascadeOpacity() override;
    void disableCascadeColor() override;

protected:
    // Sorts both lists and visits them in one z-ordered pass: children and protected children below 0,
    // this node, then the rest. The caller has loaded this node's transform.
    void visitBothLists(Renderer* renderer, uint32_t flags);

    Vector<Node*> protectedChildren;
    bool reorderProtectedChildDirty = false;
};

}  // namespace kite
