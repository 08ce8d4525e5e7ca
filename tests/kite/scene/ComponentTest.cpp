// Components: the container's add/remove rules, enter/exit on joining and leaving, updates through the owner.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Create.h"
#include "kite/scene/Component.h"
#include "kite/scene/Director.h"
#include "kite/scene/Node.h"
#include "kite/scene/Scene.h"
#include "platform/Clock.h"
#include "support/DirectorShutdown.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

namespace kite {
namespace {

std::vector<std::string> heard;

class Probe : public Component {
public:
    static Probe* make(const std::string& n) {
        Probe* p = createAutoreleased<Probe>();
        p->setName(n);
        return p;
    }
    void onEnter() override { heard.push_back("enter " + name + (owner ? " owned" : "")); }
    void onExit() override { heard.push_back("exit " + name + (owner ? " owned" : "")); }
    void update(float dt) override { heard.push_back("update " + name + " " + std::to_string(int(dt * 60))); }
};

class ComponentTest : public ::testing::Test {
protected:
    void SetUp() override {
        heard.clear();
        node = Node::create();
        node->retain();
    }
    void TearDown() override {
        node->release();
        PoolManager::getInstance()->getCurrentPool()->clear();
    }
    Node* node = nullptr;
};

TEST_F(ComponentTest, AddingEntersTheComponentWithItsOwnerSet) {
    Probe* p = Probe::make("health");
    EXPECT_TRUE(node->addComponent(p));
    EXPECT_EQ(p->getOwner(), node);
    EXPECT_EQ(node->getComponent("health"), p);
    EXPECT_EQ(node->getComponent("other"), nullptr);
    EXPECT_THAT(heard, ElementsAre("enter health owned"));
}

TEST_F(ComponentTest, SecondComponentOfTheSameNameIsRefusedAndTheFirstKept) {
    Probe* first = Probe::make("a");
    Probe* second = Probe::make("a");
    EXPECT_TRUE(node->addComponent(first));
    EXPECT_FALSE(node->addComponent(second));
    EXPECT_EQ(node->getComponent("a"), first);
    EXPECT_EQ(second->getOwner(), nullptr);
}

TEST_F(ComponentTest, RemovingExitsAndForgetsTheOwner) {
    RefPtr<Probe> a(Probe::make("a"));
    RefPtr<Probe> b(Probe::make("b"));
    node->addComponent(a.get());
    node->addComponent(b.get());
    heard.clear();
    EXPECT_TRUE(node->removeComponentByName("a"));
    EXPECT_TRUE(node->removeComponent(b.get()));
    EXPECT_THAT(heard, ElementsAre("exit a owned", "exit b owned"));
    EXPECT_EQ(a->getOwner(), nullptr);
    EXPECT_EQ(node->getComponent("a"), nullptr);
}

TEST_F(ComponentTest, RemovingWhatIsNotThereReportsFalse) {
    EXPECT_FALSE(node->removeComponentByName("none"));  // no container yet
    node->addComponent(Probe::make("a"));
    EXPECT_FALSE(node->removeComponentByName("none"));
    EXPECT_FALSE(node->removeComponent(Probe::make("stranger")));
    EXPECT_NE(node->getComponent("a"), nullptr);
}

TEST_F(ComponentTest, NodeUpdateReachesEveryComponent) {
    node->addComponent(Probe::make("a"));
    node->addComponent(Probe::make("b"));
    heard.clear();
    node->update(1 / 60.0f);
    EXPECT_THAT(heard, UnorderedElementsAre("update a 1", "update b 1"));
}

TEST_F(ComponentTest, ComponentsUpdateOnlyWhileTheOwnersUpdateIsScheduledAndRemoveAllStopsIt) {
    platform::Clock::setFixed(100.0);
    Scene* scene = Scene::create();
    Director::getInstance()->runWithScene(scene);
    Director::getInstance()->mainLoop();
    scene->addChild(node);
    node->addComponent(Probe::make("a"));
    heard.clear();
    Scheduler* scheduler = Director::getInstance()->getScheduler();
    scheduler->update(1 / 60.0f);
    EXPECT_THAT(heard, IsEmpty());  // adding does not schedule

    node->scheduleUpdate();
    scheduler->update(1 / 60.0f);
    EXPECT_THAT(heard, ElementsAre("update a 1"));

    node->removeAllComponents();
    heard.clear();
    scheduler->update(1 / 60.0f);
    EXPECT_THAT(heard, IsEmpty());
    node->removeFromParent();
    test::shutDownDirector();
    platform::Clock::useRealTime();
}

TEST_F(ComponentTest, DestroyingTheOwnerExitsItsComponents) {
    Node* owner = Node::create();
    owner->retain();
    RefPtr<Probe> p(Probe::make("a"));
    owner->addComponent(p.get());
    PoolManager::getInstance()->getCurrentPool()->clear();
    heard.clear();
    owner->release();
    EXPECT_THAT(heard, ElementsAre("exit a owned"));
    EXPECT_EQ(p->getOwner(), nullptr);
}

}  // namespace
}  // namespace kite
