// Colour and opacity: displayed values cascade down from nodes that pass them on.
#include <gtest/gtest.h>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/scene/Node.h"

namespace kite {
namespace {

class NodeColorTest : public ::testing::Test {
protected:
    void TearDown() override { PoolManager::getInstance()->getCurrentPool()->clear(); }
};

TEST_F(NodeColorTest, OpacityCascadesMultiplied) {
    Node* parent = Node::create();
    Node* child = Node::create();
    parent->addChild(child);
    parent->setCascadeOpacityEnabled(true);
    parent->setOpacity(128);
    EXPECT_EQ(child->getDisplayedOpacity(), 128);
    child->setOpacity(128);
    EXPECT_EQ(child->getDisplayedOpacity(), 64);
    EXPECT_EQ(child->getOpacity(), 128);
}

TEST_F(NodeColorTest, ChannelProductsTruncate) {
    Node* parent = Node::create();
    Node* child = Node::create();
    parent->addChild(child);
    parent->setCascadeColorEnabled(true);
    child->setColor(Color3B(200, 255, 0));
    parent->setColor(Color3B(100, 128, 255));
    EXPECT_EQ(child->getDisplayedColor(), Color3B(78, 128, 0));
}

TEST_F(NodeColorTest, TurningOpacityCascadeOffRestoresRealValues) {
    Node* parent = Node::create();
    Node* child = Node::create();
    parent->addChild(child);
    parent->setCascadeOpacityEnabled(true);
    child->setOpacity(200);
    parent->setOpacity(100);
    parent->setCascadeOpacityEnabled(false);
    EXPECT_EQ(parent->getDisplayedOpacity(), 100);
    EXPECT_EQ(child->getDisplayedOpacity(), 200);
}

TEST_F(NodeColorTest, TurningColourCascadeOffResetsOnlyTheChildren) {
    Node* grandparent = Node::create();
    Node* parent = Node::create();
    Node* child = Node::create();
    grandparent->addChild(parent);
    parent->addChild(child);
    grandparent->setCascadeColorEnabled(true);
    parent->setCascadeColorEnabled(true);
    grandparent->setColor(Color3B(255, 0, 0));
    EXPECT_EQ(child->getDisplayedColor(), Color3B(255, 0, 0));
    parent->setCascadeColorEnabled(false);
    EXPECT_EQ(child->getDisplayedColor(), Color3B::WHITE);
    EXPECT_EQ(parent->getDisplayedColor(), Color3B(255, 0, 0));
}

TEST_F(NodeColorTest, CascadeStopsAtANodeThatDoesNotPassItOn) {
    Node* root = Node::create();
    Node* middle = Node::create();
    Node* leaf = Node::create();
    root->addChild(middle);
    middle->addChild(leaf);
    root->setCascadeOpacityEnabled(true);
    root->setOpacity(51);
    EXPECT_EQ(middle->getDisplayedOpacity(), 51);
    EXPECT_EQ(leaf->getDisplayedOpacity(), 255);
}

TEST_F(NodeColorTest, NewChildTakesUpTheCascadeAtOnce) {
    Node* parent = Node::create();
    parent->setCascadeColorEnabled(true);
    parent->setCascadeOpacityEnabled(true);
    parent->setColor(Color3B(0, 255, 0));
    parent->setOpacity(10);
    Node* child = Node::create();
    parent->addChild(child);
    EXPECT_EQ(child->getDisplayedColor(), Color3B(0, 255, 0));
    EXPECT_EQ(child->getDisplayedOpacity(), 10);
}

// Drawing nodes rebuild their colours each time the displayed values change.
class ColourWatcher : public Node {
public:
    void updateColor() override { ++rebuilt; }
    int rebuilt = 0;
};

TEST_F(NodeColorTest, DisplayedChangesReachUpdateColor) {
    Node* parent = Node::create();
    ColourWatcher child;
    parent->setCascadeOpacityEnabled(true);
    parent->addChild(&child);
    const int before = child.rebuilt;
    parent->setOpacity(3);
    EXPECT_EQ(child.rebuilt, before + 1);
    parent->removeChild(&child);
}

TEST_F(NodeColorTest, TurningCascadeOffUnderACascadingParentKeepsTheParentsShare) {
    Node* parent = Node::create();
    ColourWatcher node;
    Node* child = Node::create();
    parent->addChild(&node);
    node.addChild(child);
    parent->setCascadeOpacityEnabled(true);
    parent->setCascadeColorEnabled(true);
    node.setCascadeOpacityEnabled(true);
    node.setCascadeColorEnabled(true);
    parent->setOpacity(100);
    parent->setColor(Color3B(255, 0, 0));
    node.setOpacity(200);
    ASSERT_EQ(node.getDisplayedOpacity(), 78);

    int before = node.rebuilt;
    node.setCascadeOpacityEnabled(false);
    EXPECT_EQ(node.getDisplayedOpacity(), 78);  // still faded by the parent, not its bare 200
    EXPECT_EQ(child->getDisplayedOpacity(), 255);
    EXPECT_GT(node.rebuilt, before);  // its vertex colours follow

    node.setColor(Color3B(0, 255, 0));
    ASSERT_EQ(node.getDisplayedColor(), Color3B(0, 0, 0));
    before = node.rebuilt;
    node.setCascadeColorEnabled(false);
    EXPECT_EQ(node.getDisplayedColor(), Color3B(0, 0, 0));
    EXPECT_EQ(child->getDisplayedColor(), Color3B::WHITE);
    EXPECT_GT(node.rebuilt, before);

    // Later changes of the parent still reach it.
    parent->setOpacity(255);
    EXPECT_EQ(node.getDisplayedOpacity(), 200);
    parent->removeChild(&node);
}

}  // namespace
}  // namespace kite
