#include "kite/foundation/Create.h"

#include <gtest/gtest.h>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Ref.h"

namespace kite {
namespace {

class Widget : public Ref {
public:
    bool init(bool succeed) { return succeed; }
};

TEST(Create, SuccessfulInitGivesAnAutoreleasedObject) {
    Widget* widget = createAutoreleased<Widget>(true);
    ASSERT_NE(widget, nullptr);
    EXPECT_TRUE(PoolManager::getInstance()->getCurrentPool()->contains(widget));
    PoolManager::getInstance()->getCurrentPool()->clear();
}

TEST(Create, FailedInitGivesNull) { EXPECT_EQ(createAutoreleased<Widget>(false), nullptr); }

TEST(Create, AssigningTheSameObjectKeepsItAlive) {
    Widget* widget = createAutoreleased<Widget>(true);
    Widget* member = nullptr;
    assignRetained(member, widget);
    assignRetained(member, widget);
    EXPECT_EQ(widget->getReferenceCount(), 2u);
    releaseAndClear(member);
    EXPECT_EQ(member, nullptr);
    PoolManager::getInstance()->getCurrentPool()->clear();
}

}  // namespace
}  // namespace kite
