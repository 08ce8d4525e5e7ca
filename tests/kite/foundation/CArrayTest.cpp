#include "kite/foundation/CArray.h"

#include <gtest/gtest.h>

#include <vector>

namespace kite {
namespace {

// Records the order in which objects are destroyed.
class Counted : public Ref {
public:
    Counted(int id, std::vector<int>* destroyed) : id_(id), destroyed_(destroyed) {}
    ~Counted() override { destroyed_->push_back(id_); }

private:
    int id_;
    std::vector<int>* destroyed_;
};

TEST(CArray, ZeroCapacityMeansSevenSlots) {
    ktArray* array = ktArrayNew(0);
    ASSERT_NE(array, nullptr);
    EXPECT_EQ(array->max, 7);
    EXPECT_EQ(array->num, 0);
    ktArrayFree(&array);
    EXPECT_EQ(array, nullptr);
    ktArrayFree(&array);  // a second free finds nothing
}

TEST(CArray, AppendRetainsAndGrowsByDoubling) {
    std::vector<int> destroyed;
    ktArray* array = ktArrayNew(2);
    std::vector<Counted*> objects;
    for (int i = 0; i < 5; ++i) {
        objects.push_back(new Counted(i, &destroyed));
        ASSERT_TRUE(ktArrayAppendObject(array, objects.back()));
        objects.back()->release();  // the array is now the only owner
    }
    EXPECT_EQ(array->num, 5);
    EXPECT_EQ(array->max, 8);
    EXPECT_EQ(ktArrayGetIndexOfObject(array, objects[3]), 3);
    EXPECT_TRUE(ktArrayContainsObject(array, objects[4]));
    EXPECT_TRUE(destroyed.empty());

    ktArrayEnsureExtraCapacity(array, 10);
    EXPECT_EQ(array->max, 16);

    ktArrayFree(&array);
    EXPECT_EQ(destroyed, (std::vector<int>{4, 3, 2, 1, 0}));
}

TEST(CArray, RemoveAtIndexShiftsLaterObjectsDown) {
    std::vector<int> destroyed;
    ktArray* array = ktArrayNew(4);
    Counted* kept = nullptr;
    for (int i = 0; i < 3; ++i) {
        auto* object = new Counted(i, &destroyed);
        ktArrayAppendObject(array, object);
        object->release();
        if (i == 1) kept = object;
    }
    kept->retain();
    ktArrayRemoveObjectAtIndex(array, 0, true);
    EXPECT_EQ(destroyed, std::vector<int>{0});
    ktArrayRemoveObjectAtIndex(array, 0, false);  // no release: still owned by the array's reference
    EXPECT_EQ(kept->getReferenceCount(), 2u);
    EXPECT_EQ(array->num, 1);
    EXPECT_EQ(ktArrayGetIndexOfObject(array, kept), -1);
    ktArrayRemoveObjectAtIndex(array, 5, true);  // outside the array: nothing
    ktArrayRemoveObjectAtIndex(array, -1, true);
    EXPECT_EQ(array->num, 1);
    kept->release();
    kept->release();
    ktArrayRemoveAllObjects(array);
    EXPECT_EQ(array->num, 0);
    EXPECT_EQ(destroyed, (std::vector<int>{0, 1, 2}));
    ktArrayFree(&array);
}

}  // namespace
}  // namespace kite
