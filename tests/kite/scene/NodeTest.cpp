// The node tree: child order, look-up, search by name path, refusals and the enter/exit lifecycle.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"
#include "kite/scene/Node.h"
#include "kite/scene/Scene.h"
#include "support/LogCapture.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace kite {
namespace {

using test::LogCapture;

// Records the lifecycle calls of every node made from it, in one shared journal.
class Probe : public Node {
public:
    static Probe* make(std::vector<std::string>* journal, const std::string& label) {
        auto* p = createAutoreleased<Probe>();
        p->journal_ = journal;
        p->setName(label);
        return p;
    }
    void onEnter() override {
        journal_->push_back(getName() + ".enter");
        Node::onEnter();
    }
    void onEnterTransitionFinished() override {
        journal_->push_back(getName() + ".enterFinished");
        Node::onEnterTransitionFinished();
    }
    void onExitTransitionStarted() override {
        journal_->push_back(getName() + ".exitStarted");
        Node::onExitTransitionStarted();
    }
    void onExit() override {
        journal_->push_back(getName() + ".exit");
        Node::onExit();
    }
    void cleanup() override {
        journal_->push_back(getName() + ".cleanup");
        Node::cleanup();
    }
    void draw(Renderer*, const Mat4&, uint32_t) override { journal_->push_back(getName() + ".draw"); }
    void update(float) override { ++updates; }

    int updates = 0;

private:
    std::vector<std::string>* journal_ = nullptr;
};

class NodeTest : public ::testing::Test {
protected:
    void TearDown() override { PoolManager::getInstance()->getCurrentPool()->clear(); }

    std::vector<std::string> names(const Node* parent) {
        std::vector<std::string> out;
        for (Node* child : parent->getChildren()) out.push_back(child->getName());
        return out;
    }
    std::vector<std::string> journal;
};

Node* named(const std::string& n) {
    Node* node = Node::create();
    node->setName(n);
    return node;
}

TEST_F(NodeTest, ChildrenSortByLocalZThenArrivalAtTheNextVisit) {
    Node* parent = Node::create();
    parent->addChild(Probe::make(&journal, "first"), 0);
    parent->addChild(Probe::make(&journal, "back"), -1);
    parent->addChild(Probe::make(&journal, "second"), 0);
    // The list keeps arrival order until the next visit sorts it.
    EXPECT_THAT(names(parent), ElementsAre("first", "back", "second"));

    parent->visit(nullptr, Mat4::IDENTITY, 0);
    EXPECT_THAT(journal, ElementsAre("back.draw", "first.draw", "second.draw"));

    parent->reorderChild(parent->getChildByName("first"), 0);
    EXPECT_THAT(names(parent), ElementsAre("back", "first", "second"));
    journal.clear();
    parent->visit(nullptr, Mat4::IDENTITY, 0);
    EXPECT_THAT(journal, ElementsAre("back.draw", "second.draw", "first.draw"));
}

TEST_F(NodeTest, SettingLocalZOrderReordersWithinTheParent) {
    Node* parent = Node::create();
    Node* a = named("a");
    Node* b = named("b");
    parent->addChild(a);
    parent->addChild(b);
    a->setLocalZOrder(5);
    parent->sortAllChildren();
    EXPECT_THAT(names(parent), ElementsAre("b", "a"));
    EXPECT_EQ(a->getLocalZOrder(), 5);
}

TEST_F(NodeTest, NegativeChildrenDrawBeforeTheirParentAndTheRestAfter) {
    Probe* parent = Probe::make(&journal, "parent");
    parent->addChild(Probe::make(&journal, "z3"), 3);
    parent->addChild(Probe::make(&journal, "z-1"), -1);
    parent->addChild(Probe::make(&journal, "z0"), 0);
    parent->addChild(Probe::make(&journal, "z-2"), -2);
    parent->visit(nullptr, Mat4::IDENTITY, 0);
    EXPECT_THAT(journal, ElementsAre("z-2.draw", "z-1.draw", "parent.draw", "z0.draw", "z3.draw"));
}

TEST_F(NodeTest, InvisibleNodeSkipsItsSubtree) {
    Probe* parent = Probe::make(&journal, "parent");
    parent->addChild(Probe::make(&journal, "child"));
    parent->setVisible(false);
    parent->visit(nullptr, Mat4::IDENTITY, 0);
    EXPECT_THAT(journal, IsEmpty());
    parent->setVisible(true);
    parent->visit(nullptr, Mat4::IDENTITY, 0);
    EXPECT_THAT(journal, ElementsAre("parent.draw", "child.draw"));
}

TEST_F(NodeTest, RefusesNullChildrenAndChildrenThatHaveAParent) {
    LogCapture log;
    Node* parent = Node::create();
    Node* other = Node::create();
    Node* child = Node::create();
    parent->addChild(nullptr);
    parent->addChild(nullptr, 1, 7);
    other->addChild(child);
    parent->addChild(child, 0, "taken");
    EXPECT_EQ(parent->getChildrenCount(), 0u);
    EXPECT_EQ(child->getParent(), other);
    EXPECT_EQ(child->getName(), "");
    ASSERT_EQ(log.lines().size(), 3u);
    EXPECT_THAT(log.lines()[0], HasSubstr("null child"));
    EXPECT_THAT(log.lines()[2], HasSubstr("already has a parent"));
}

TEST_F(NodeTest, RefusesToAddANodeBelowItself) {
    LogCapture log;
    Node* root = Node::create();
    Node* middle = Node::create();
    root->addChild(middle);
    root->addChild(root);
    middle->addChild(root);
    EXPECT_EQ(root->getParent(), nullptr);
    EXPECT_EQ(middle->getChildrenCount(), 0u);
    EXPECT_EQ(log.lines().size(), 2u);
}

TEST_F(NodeTest, ChildRetainedByParentAndReleasedOnRemoval) {
    Node* parent = Node::create();
    Node* child = Node::create();
    const unsigned before = child->getReferenceCount();
    parent->addChild(child, 0, 4);
    EXPECT_EQ(child->getReferenceCount(), before + 1);
    EXPECT_EQ(child->getTag(), 4);
    EXPECT_EQ(parent->getChildByTag(4), child);
    parent->removeChildByTag(4);
    EXPECT_EQ(child->getReferenceCount(), before);
    EXPECT_EQ(child->getParent(), nullptr);
    EXPECT_EQ(parent->getChildByTag(4), nullptr);
}

TEST_F(NodeTest, LookUpByNameComparesWholeNames) {
    Node* parent = Node::create();
    parent->addChild(named("item"));
    parent->addChild(named("item2"));
    EXPECT_EQ(parent->getChildByName("item2")->getName(), "item2");
    EXPECT_EQ(parent->getChildByName("ite"), nullptr);
    parent->removeChildByName("item");
    EXPECT_EQ(parent->getChildrenCount(), 1u);
    parent->removeChildByName("missing");
    EXPECT_EQ(parent->getChildrenCount(), 1u);
}

class EnumerateTest : public NodeTest {
protected:
    // root -> a -> (b, item), item -> item, ab, xy, axy
    void SetUp() override {
        root = Node::create();
        Node* a = named("a");
        a->addChild(named("b"));
        a->addChild(named("item"));
        root->addChild(a);
        Node* item = named("item");
        item->addChild(named("item"));
        root->addChild(item);
        root->addChild(named("ab"));
        root->addChild(named("xy"));
        root->addChild(named("axy"));
    }
    std::vector<std::string> find(const std::string& path) {
        std::vector<std::string> found;
        root->enumerateChildren(path, [&](Node* n) {
            found.push_back((n->getParent() == root ? "" : n->getParent()->getName() + "/") + n->getName());
            return false;
        });
        return found;
    }
    Node* root = nullptr;
};

TEST_F(EnumerateTest, RecursiveSearchReportsEveryDescendantByName) {
    EXPECT_THAT(find("//item"), ElementsAre("item", "a/item", "item/item"));
}

TEST_F(EnumerateTest, PathMatchesChildrenOfMatchingChildren) {
    EXPECT_THAT(find("a/b"), ElementsAre("a/b"));
    EXPECT_THAT(find("ab"), ElementsAre("ab"));
}

TEST_F(EnumerateTest, PatternMustMatchTheWholeName) { EXPECT_THAT(find("x.*"), ElementsAre("xy")); }

TEST_F(EnumerateTest, ParentStepMatchesAnyAlphanumericParent) {
    EXPECT_THAT(find("item/.."), ElementsAre("a/item", "item/item"));
}

TEST_F(EnumerateTest, TrueFromTheCallbackStopsTheSearch) {
    int calls = 0;
    root->enumerateChildren("//item", [&](Node*) { return ++calls == 2; });
    EXPECT_EQ(calls, 2);
}

TEST_F(EnumerateTest, InvalidPatternFindsNothing) {
    LogCapture log;
    EXPECT_THAT(find("a[("), IsEmpty());
    EXPECT_THAT(find("//(item"), IsEmpty());
    EXPECT_FALSE(log.lines().empty());
}

TEST_F(EnumerateTest, EmptyCallbackIsIgnored) {
    root->enumerateChildren("//item", std::function<bool(Node*)>());
    SUCCEED();
}

TEST_F(NodeTest, DescriptionHasNoClosingBracket) {
    Node* node = Node::create();
    node->setTag(7);
    EXPECT_EQ(node->description(), "<Node | Tag = 7");
}

TEST_F(NodeTest, GetSceneFindsTheRootSceneOnly) {
    Scene* scene = Scene::create();
    EXPECT_EQ(scene->getScene(), nullptr);
    Node* layer = Node::create();
    Node* leaf = Node::create();
    layer->addChild(leaf);
    EXPECT_EQ(leaf->getScene(), nullptr);
    scene->addChild(layer);
    EXPECT_EQ(leaf->getScene(), scene);
}

TEST_F(NodeTest, RemovingFromRunningParentExitsThenCleansUp) {
    Probe* parent = Probe::make(&journal, "parent");
    Probe* child = Probe::make(&journal, "child");
    parent->addChild(child);
    parent->onEnter();
    EXPECT_TRUE(child->isRunning());
    journal.clear();
    RefPtr<Probe> keep(child);
    parent->removeChild(child, true);
    EXPECT_THAT(journal, ElementsAre("child.exitStarted", "child.exit", "child.cleanup"));
    EXPECT_EQ(child->getParent(), nullptr);
    EXPECT_FALSE(child->isRunning());
}

TEST_F(NodeTest, ChildAddedAfterTheTransitionFinishedEntersFully) {
    Probe* parent = Probe::make(&journal, "parent");
    parent->onEnter();
    parent->onEnterTransitionFinished();
    journal.clear();
    parent->addChild(Probe::make(&journal, "late"));
    EXPECT_THAT(journal, ElementsAre("late.enter", "late.enterFinished"));
}

TEST_F(NodeTest, EnterReachesTheWholeTreeParentFirst) {
    Probe* root = Probe::make(&journal, "root");
    Probe* mid = Probe::make(&journal, "mid");
    mid->addChild(Probe::make(&journal, "leaf"));
    root->addChild(mid);
    root->onEnter();
    root->onExit();
    EXPECT_THAT(journal, ElementsAre("root.enter", "mid.enter", "leaf.enter", "root.exit", "mid.exit", "leaf.exit"));
}

TEST_F(NodeTest, LifecycleCallbacksMayChangeTheChildrenBeingWalked) {
    Node* parent = Node::create();
    Node* first = Node::create();
    Node* second = Node::create();
    Node* added = Node::create();
    parent->addChild(first);
    parent->addChild(second);
    // first removes its sibling and adds a new one while the parent walks its children.
    first->setOnEnterCallback([&] {
        parent->removeChild(second, true);
        parent->addChild(added);
    });
    parent->onEnter();
    EXPECT_TRUE(first->isRunning());
    EXPECT_FALSE(second->isRunning());
    EXPECT_EQ(second->getParent(), nullptr);
    EXPECT_TRUE(added->isRunning());
    EXPECT_EQ(parent->getChildrenCount(), 2u);

    first->setOnExitCallback([&] { parent->removeChild(added, true); });
    parent->onExit();
    EXPECT_FALSE(first->isRunning());
    EXPECT_EQ(parent->getChildrenCount(), 1u);
}

TEST_F(NodeTest, RemoveAllDetachesEveryChildAndKeepsThoseAddedMeanwhile) {
    Probe* parent = Probe::make(&journal, "parent");
    Probe* a = Probe::make(&journal, "a");
    Probe* b = Probe::make(&journal, "b");
    Node* added = Node::create();
    RefPtr<Node> keepA(a), keepB(b);
    parent->addChild(a);
    parent->addChild(b);
    parent->onEnter();
    a->setOnExitCallback([&] { parent->addChild(added); });
    journal.clear();
    parent->removeAllChildren();
    EXPECT_THAT(journal, ElementsAre("a.exitStarted", "a.exit", "a.cleanup", "b.exitStarted", "b.exit", "b.cleanup"));
    EXPECT_EQ(a->getParent(), nullptr);
    EXPECT_EQ(b->getParent(), nullptr);
    ASSERT_EQ(parent->getChildrenCount(), 1u);
    EXPECT_EQ(parent->getChildren().at(0), added);
    EXPECT_EQ(added->getParent(), parent);
}

TEST_F(NodeTest, UpdateRunsOnlyWhileTheNodeIsRunningAndStopsAtCleanup) {
    Probe* node = Probe::make(&journal, "n");
    Scheduler* scheduler = node->getScheduler();
    ASSERT_NE(scheduler, nullptr);
    node->scheduleUpdate();
    scheduler->update(1 / 60.f);
    EXPECT_EQ(node->updates, 0);
    node->onEnter();
    scheduler->update(1 / 60.f);
    EXPECT_EQ(node->updates, 1);
    node->onExit();
    scheduler->update(1 / 60.f);
    EXPECT_EQ(node->updates, 1);
    node->onEnter();
    node->cleanup();
    scheduler->update(1 / 60.f);
    EXPECT_EQ(node->updates, 1);
    node->onExit();
}

// Counts its timer's calls.
class Ticker : public Node {
public:
    void tick(float) { ++ticks; }
    int ticks = 0;
};

TEST_F(NodeTest, TimersStartPausedOffStageAndStopAtCleanup) {
    auto* node = createAutoreleased<Ticker>();
    Scheduler* scheduler = node->getScheduler();
    node->scheduleWithInterval(schedule_selector(&Ticker::tick), 0.0f);
    scheduler->update(0.1f);
    scheduler->update(0.1f);
    EXPECT_EQ(node->ticks, 0);
    node->onEnter();
    scheduler->update(0.1f);
    scheduler->update(0.1f);
    EXPECT_GT(node->ticks, 0);
    const int ticks = node->ticks;
    node->unschedule(nullptr);  // a null selector changes nothing
    node->cleanup();
    scheduler->update(0.1f);
    EXPECT_EQ(node->ticks, ticks);
    node->onExit();
}

TEST_F(NodeTest, NewSchedulerTakesOverFromTheOld) {
    auto* node = createAutoreleased<Ticker>();
    Scheduler* old = node->getScheduler();
    Scheduler* fresh = new Scheduler();  // the scheduler has no create; its one reference moves below
    RefPtr<Scheduler> replacement(fresh);
    fresh->release();
    node->onEnter();
    node->scheduleUpdate();
    node->setScheduler(replacement.get());
    EXPECT_FALSE(old->isScheduledForUpdate(node));
    EXPECT_EQ(node->getScheduler(), replacement.get());
    node->onExit();
}

TEST_F(NodeTest, DestroyedNodeLeavesNoCallbackBehind) {
    Scheduler* scheduler = nullptr;
    {
        auto* node = createAutoreleased<Ticker>();
        scheduler = node->getScheduler();
        node->onEnter();
        node->scheduleUpdate();
        node->scheduleWithInterval(schedule_selector(&Ticker::tick), 0.0f);
        PoolManager::getInstance()->getCurrentPool()->clear();
    }
    scheduler->update(0.1f);
    scheduler->update(0.1f);
    SUCCEED();
}

TEST_F(NodeTest, UserObjectIsRetainedUntilReplaced) {
    Node* node = Node::create();
    Node* object = Node::create();
    const unsigned before = object->getReferenceCount();
    node->setUserObject(object);
    EXPECT_EQ(object->getReferenceCount(), before + 1);
    node->setUserObject(nullptr);
    EXPECT_EQ(object->getReferenceCount(), before);
}

TEST_F(NodeTest, SeldomUsedValuesSetAfterAddingAreKeptAndTheUserObjectReleasedOnce) {
    Node* parent = Node::create();
    Node* child = Node::create();
    parent->addChild(child, 0, 7);
    EXPECT_EQ(child->getName(), "");
    EXPECT_EQ(child->getUserData(), nullptr);
    EXPECT_EQ(child->getUserObject(), nullptr);
    EXPECT_EQ(child->getNormalizedPosition(), Vec2::ZERO);
    EXPECT_EQ(parent->getChildByName(""), child);

    child->setName("late");
    int payload = 0;
    child->setUserData(&payload);
    child->setNormalizedPosition(Vec2(0.5f, 0.25f));
    RefPtr<Node> object(Node::create());
    child->setUserObject(object.get());
    EXPECT_EQ(parent->getChildByName("late"), child);
    EXPECT_EQ(parent->getChildByName(""), nullptr);
    EXPECT_EQ(child->getUserData(), &payload);
    EXPECT_EQ(child->getNormalizedPosition(), Vec2(0.5f, 0.25f));
    child->setName("");
    EXPECT_EQ(parent->getChildByName("late"), nullptr);
    EXPECT_EQ(parent->getChildByName(""), child);

    // The pool and the parent let go of the child; the object is left with the holder's count.
    parent->removeChild(child);
    PoolManager::getInstance()->getCurrentPool()->clear();
    EXPECT_EQ(object->getReferenceCount(), 1u);
}

}  // namespace
}  // namespace kite
