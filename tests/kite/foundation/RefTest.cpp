#include "kite/foundation/Ref.h"

#include <gtest/gtest.h>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Vector.h"

namespace kite {
namespace {

// Counts its own destruction and may autorelease another object when it dies.
class Tracked : public Ref {
public:
    explicit Tracked(int* destroyed, Ref* autoreleaseOnDestroy = nullptr)
        : destroyed_(destroyed), autoreleaseOnDestroy_(autoreleaseOnDestroy) {}
    ~Tracked() override {
        ++*destroyed_;
        if (autoreleaseOnDestroy_) autoreleaseOnDestroy_->autorelease();
    }

private:
    int* destroyed_;
    Ref* autoreleaseOnDestroy_;
};

TEST(Ref, ConsecutiveObjectsGetConsecutiveIds) {
    int destroyed = 0;
    auto* a = new Tracked(&destroyed);
    auto* b = new Tracked(&destroyed);
    EXPECT_EQ(b->getObjectId(), a->getObjectId() + 1);
    a->release();
    b->release();
    EXPECT_EQ(destroyed, 2);
}

TEST(Ref, ReleaseToZeroDeletesAtOnce) {
    int destroyed = 0;
    auto* object = new Tracked(&destroyed);
    object->retain();
    EXPECT_EQ(object->getReferenceCount(), 2u);
    object->release();
    EXPECT_EQ(destroyed, 0);
    object->release();
    EXPECT_EQ(destroyed, 1);
}

TEST(Ref, RefPtrHoldsOneReferenceForItsLifetime) {
    int destroyed = 0;
    auto* object = new Tracked(&destroyed);
    {
        RefPtr<Tracked> holder(object);
        RefPtr<Tracked> copy = holder;
        EXPECT_EQ(object->getReferenceCount(), 3u);
        object->release();
    }
    EXPECT_EQ(destroyed, 1);
}

TEST(AutoreleasePool, FirstPoolIsNamedAndCurrent) {
    EXPECT_EQ(PoolManager::getInstance()->getCurrentPool()->getName(), "kite autorelease pool");
}

TEST(AutoreleasePool, ObjectsAreReleasedAtClearUnlessRetained) {
    int destroyed = 0;
    auto* kept = new Tracked(&destroyed);
    kept->autorelease();
    kept->retain();
    (new Tracked(&destroyed))->autorelease();
    PoolManager::getInstance()->getCurrentPool()->clear();
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(kept->getReferenceCount(), 1u);
    kept->release();
    EXPECT_EQ(destroyed, 2);
}

TEST(AutoreleasePool, AutoreleasedTwiceIsReleasedTwice) {
    int destroyed = 0;
    auto* object = new Tracked(&destroyed);
    object->retain();
    object->autorelease();
    object->autorelease();
    PoolManager::getInstance()->getCurrentPool()->clear();
    EXPECT_EQ(destroyed, 1);
    PoolManager::getInstance()->getCurrentPool()->clear();  // nothing left to release
    EXPECT_EQ(destroyed, 1);
}

TEST(AutoreleasePool, NestedPoolIsCurrentUntilDestroyed) {
    AutoreleasePool* outer = PoolManager::getInstance()->getCurrentPool();
    int destroyed = 0;
    {
        AutoreleasePool inner("inner");
        EXPECT_EQ(PoolManager::getInstance()->getCurrentPool(), &inner);
        (new Tracked(&destroyed))->autorelease();
        EXPECT_EQ(outer->size(), 0u);
    }
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(PoolManager::getInstance()->getCurrentPool(), outer);
}

TEST(AutoreleasePool, ObjectAutoreleasedByADestructorDuringClearWaitsForTheNextClear) {
    int destroyed = 0;
    auto* late = new Tracked(&destroyed);
    (new Tracked(&destroyed, late))->autorelease();
    AutoreleasePool* pool = PoolManager::getInstance()->getCurrentPool();
    pool->clear();
    EXPECT_EQ(destroyed, 1);
    EXPECT_TRUE(pool->contains(late));
    pool->clear();
    EXPECT_EQ(destroyed, 2);
    EXPECT_EQ(pool->size(), 0u);
}

TEST(AutoreleasePool, ObjectAutoreleasedByADestructorWhileThePoolGoesIsStillReleased) {
    AutoreleasePool* outer = PoolManager::getInstance()->getCurrentPool();
    int destroyed = 0;
    {
        AutoreleasePool inner("inner");
        auto* late = new Tracked(&destroyed);
        (new Tracked(&destroyed, late))->autorelease();
    }
    // The pool that took the late object had no later clear of its own.
    EXPECT_EQ(destroyed, 2);
    EXPECT_EQ(outer->size(), 0u);
    EXPECT_EQ(PoolManager::getInstance()->getCurrentPool(), outer);
}

TEST(AutoreleasePool, DestroyingTheManagerReleasesPendingObjects) {
    int destroyed = 0;
    (new Tracked(&destroyed))->autorelease();
    PoolManager::destroyInstance();
    EXPECT_EQ(destroyed, 1);
    PoolManager::destroyInstance();  // no manager: nothing happens
    EXPECT_EQ(PoolManager::getInstance()->getCurrentPool()->getName(), "kite autorelease pool");
}

TEST(Vector, RetainsWhatItHoldsAndReleasesOnClear) {
    int destroyed = 0;
    auto* a = new Tracked(&destroyed);
    auto* b = new Tracked(&destroyed);
    Vector<Tracked*> list;
    list.pushBack(a);
    list.pushBack(b);
    a->release();
    b->release();
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(list.getIndex(b), 1);
    list.eraseObject(a);
    EXPECT_EQ(destroyed, 1);
    std::size_t capacity = list.capacity();
    list.clear();
    EXPECT_EQ(destroyed, 2);
    EXPECT_EQ(list.capacity(), capacity);
}

TEST(Vector, AppendingAVectorToItselfDoublesItsElements) {
    int destroyed = 0;
    auto* a = new Tracked(&destroyed);
    auto* b = new Tracked(&destroyed);
    {
        Vector<Tracked*> list;
        list.pushBack(a);
        list.pushBack(b);
        list.pushBack(list);
        ASSERT_EQ(list.size(), 4u);
        EXPECT_EQ(list.at(2), a);
        EXPECT_EQ(list.at(3), b);
        EXPECT_EQ(a->getReferenceCount(), 3u);
    }
    EXPECT_EQ(a->getReferenceCount(), 1u);
    a->release();
    b->release();
    EXPECT_EQ(destroyed, 2);
}

TEST(Vector, CopyRetainsEveryElementAgain) {
    int destroyed = 0;
    auto* a = new Tracked(&destroyed);
    {
        Vector<Tracked*> list;
        list.pushBack(a);
        Vector<Tracked*> copy = list;
        EXPECT_EQ(a->getReferenceCount(), 3u);
    }
    EXPECT_EQ(a->getReferenceCount(), 1u);
    a->release();
}

}  // namespace
}  // namespace kite
