// Protected node: the private child list is drawn in one z-ordered pass with the normal one and is kept
// apart from it for removal, lifecycle and colour.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Create.h"
#include "kite/rendering/Renderer.h"
#include "kite/scene/ProtectedNode.h"

using ::testing::ElementsAre;

namespace kite {
namespace {

// Writes its name down when drawn, entered or exited.
class Marker : public Node {
public:
    static Marker* make(std::vector<std::string>* log, const std::string& n) {
        Marker* m = createAutoreleased<Marker>();
        m->log_ = log;
        m->setName(n);
        return m;
    }
    void draw(Renderer*, const Mat4&, uint32_t) override { log_->push_back(getName()); }
    void onEnter() override {
        Node::onEnter();
        log_->push_back("enter " + getName());
    }
    void onExit() override {
        Node::onExit();
        log_->push_back("exit " + getName());
    }

private:
    std::vector<std::string>* log_ = nullptr;
};

class MarkedProtectedNode : public ProtectedNode {
public:
    std::vector<std::string>* log = nullptr;
    void draw(Renderer*, const Mat4&, uint32_t) override { log->push_back("self"); }
};

class ProtectedNodeTest : public ::testing::Test {
protected:
    void SetUp() override {
        node = createAutoreleased<MarkedProtectedNode>();
        node->log = &log;
    }
    void TearDown() override { PoolManager::getInstance()->getCurrentPool()->clear(); }
    void visit() {
        log.clear();
        node->visit(nullptr, Mat4::IDENTITY, FLAGS_TRANSFORM_DIRTY);
    }

    std::vector<std::string> log;
    MarkedProtectedNode* node = nullptr;
};

TEST_F(ProtectedNodeTest, DrawOrderInterleavesBothListsByZ) {
    node->addChild(Marker::make(&log, "normal-1"), -1);
    node->addProtectedChild(Marker::make(&log, "protected-1"), -1);
    node->addChild(Marker::make(&log, "normal0"), 0);
    node->addProtectedChild(Marker::make(&log, "protected0"), 0);
    node->addProtectedChild(Marker::make(&log, "protected-2"), -2);
    visit();
    EXPECT_THAT(log, ElementsAre("normal-1", "protected-2", "protected-1", "self", "protected0", "normal0"));
}

TEST_F(ProtectedNodeTest, ReorderingAProtectedChildTakesEffectAtTheNextVisit) {
    Marker* a = Marker::make(&log, "a");
    node->addProtectedChild(a, 1);
    node->addProtectedChild(Marker::make(&log, "b"), 2);
    node->reorderProtectedChild(a, 3);
    visit();
    EXPECT_THAT(log, ElementsAre("self", "b", "a"));
}

TEST_F(ProtectedNodeTest, ProtectedChildrenAreNotUserChildren) {
    Marker* part = Marker::make(&log, "part");
    node->addProtectedChild(part, 0, 5);
    node->addChild(Marker::make(&log, "user"));
    EXPECT_EQ(part->getParent(), node);
    EXPECT_EQ(node->getChildrenCount(), 1u);
    EXPECT_EQ(node->getChildByTag(5), nullptr);
    EXPECT_EQ(node->getProtectedChildByTag(5), part);

    node->removeAllChildren();
    visit();
    EXPECT_THAT(log, ElementsAre("self", "part"));

    node->removeProtectedChildByTag(5);
    EXPECT_EQ(part->getParent(), nullptr);
    EXPECT_TRUE(node->getProtectedChildren().empty());
}

TEST_F(ProtectedNodeTest, AddingWhatAddChildRefusesIsRefused) {
    Marker* owned = Marker::make(&log, "owned");
    Node::create()->addChild(owned);
    node->addProtectedChild(owned);
    node->addProtectedChild(nullptr);
    EXPECT_TRUE(node->getProtectedChildren().empty());
}

TEST_F(ProtectedNodeTest, ProtectedChildrenFollowEnterAndExitAfterTheNormalOnes) {
    node->addProtectedChild(Marker::make(&log, "part"));
    node->addChild(Marker::make(&log, "user"));
    node->onEnter();
    Marker* late = Marker::make(&log, "late");
    node->addProtectedChild(late);
    node->onExit();
    EXPECT_THAT(log, ElementsAre("enter user", "enter part", "enter late", "exit user", "exit part", "exit late"));
}

TEST_F(ProtectedNodeTest, ProtectedChildTakesTheDisplayedOpacityAndColourEvenWithoutCascade) {
    Marker* part = Marker::make(&log, "part");
    Marker* user = Marker::make(&log, "user");
    node->addProtectedChild(part);
    node->addChild(user);
    node->setOpacity(128);
    node->setColor(Color3B(255, 0, 0));
    EXPECT_EQ(part->getDisplayedOpacity(), 128);
    EXPECT_EQ(part->getDisplayedColor(), Color3B(255, 0, 0));
    EXPECT_EQ(user->getDisplayedOpacity(), 255);

    node->setCascadeOpacityEnabled(true);
    EXPECT_EQ(user->getDisplayedOpacity(), 128);
    node->setCascadeOpacityEnabled(false);
    EXPECT_EQ(user->getDisplayedOpacity(), 255);
    EXPECT_EQ(part->getDisplayedOpacity(), 255);
}

}  // namespace
}  // namespace kite
