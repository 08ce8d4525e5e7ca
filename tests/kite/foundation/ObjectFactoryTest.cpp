#include "kite/foundation/ObjectFactory.h"

#include <gtest/gtest.h>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Create.h"
#include "kite/foundation/ListenerIds.h"

namespace kite {
namespace {

class First : public Ref {
public:
    bool init() { return true; }
    static Ref* create() { return createAutoreleased<First>(); }
};

class Second : public Ref {
public:
    bool init() { return true; }
    static Ref* create() { return createAutoreleased<Second>(); }
};

// Registered by a start-up initialiser, as the widgets register their layout.
const ObjectFactory::TypeInfo startupRegistration("FactoryTestStartup", &First::create);

class ObjectFactoryTest : public ::testing::Test {
protected:
    void TearDown() override { PoolManager::getInstance()->getCurrentPool()->clear(); }
};

TEST_F(ObjectFactoryTest, StartupRegistrationIsInPlace) {
    EXPECT_TRUE(ObjectFactory::getInstance()->isRegistered("FactoryTestStartup"));
    EXPECT_NE(dynamic_cast<First*>(ObjectFactory::getInstance()->createObject("FactoryTestStartup")), nullptr);
}

TEST_F(ObjectFactoryTest, DuplicateRegistrationKeepsTheFirst) {
    ObjectFactory::TypeInfo first("FactoryTestDuplicate", &First::create);
    ObjectFactory::TypeInfo second("FactoryTestDuplicate", &Second::create);
    ObjectFactory::TypeInfo third("FactoryTestDuplicate", ObjectFactory::InstanceFunc([] { return Second::create(); }));
    Ref* made = ObjectFactory::getInstance()->createObject("FactoryTestDuplicate");
    EXPECT_NE(dynamic_cast<First*>(made), nullptr);
}

TEST_F(ObjectFactoryTest, FunctorRegistrationCreates) {
    int calls = 0;
    ObjectFactory::TypeInfo info("FactoryTestFunctor", ObjectFactory::InstanceFunc([&calls] {
                                     ++calls;
                                     return Second::create();
                                 }));
    EXPECT_NE(dynamic_cast<Second*>(ObjectFactory::getInstance()->createObject("FactoryTestFunctor")), nullptr);
    EXPECT_EQ(calls, 1);
}

TEST_F(ObjectFactoryTest, UnknownNameCreatesNothing) {
    EXPECT_FALSE(ObjectFactory::getInstance()->isRegistered("FactoryTestUnknown"));
    EXPECT_EQ(ObjectFactory::getInstance()->createObject("FactoryTestUnknown"), nullptr);
}

TEST_F(ObjectFactoryTest, RecordOutlivesTheRegisteringObject) {
    { ObjectFactory::TypeInfo scoped("FactoryTestScoped", &Second::create); }
    EXPECT_NE(dynamic_cast<Second*>(ObjectFactory::getInstance()->createObject("FactoryTestScoped")), nullptr);
}

TEST(ListenerIds, Texts) {
    EXPECT_EQ(LISTENER_ID_FOCUS, "__kt_focus_event");
    EXPECT_EQ(LISTENER_ID_CONTROLLER, "__kt_controller");
    EXPECT_EQ(LISTENER_ID_MOUSE, "__kt_mouse");
}

}  // namespace
}  // namespace kite
