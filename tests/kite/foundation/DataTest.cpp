#include "kite/foundation/Data.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace kite {
namespace {

unsigned char* mallocBlock(const char* text) {
    auto* block = static_cast<unsigned char*>(std::malloc(std::strlen(text)));
    std::memcpy(block, text, std::strlen(text));
    return block;
}

std::string contents(const Data& data) {
    return std::string(reinterpret_cast<const char*>(data.getBytes()), static_cast<std::size_t>(data.getSize()));
}

TEST(Data, DefaultIsEmpty) {
    Data data;
    EXPECT_TRUE(data.isNull());
    EXPECT_EQ(data.getBytes(), nullptr);
    EXPECT_EQ(data.getSize(), 0);
    EXPECT_TRUE(Data::Null.isNull());
}

TEST(Data, CopyDuplicatesTheBytes) {
    const unsigned char bytes[] = {1, 2, 3};
    Data data;
    data.copy(bytes, 3);
    EXPECT_NE(data.getBytes(), bytes);
    EXPECT_EQ(data.getSize(), 3);
    EXPECT_EQ(std::memcmp(data.getBytes(), bytes, 3), 0);
    Data other(data);
    EXPECT_NE(other.getBytes(), data.getBytes());
    EXPECT_EQ(contents(other), contents(data));
}

TEST(Data, CopyOfNothingLeavesANullPointer) {
    Data data;
    data.copy(reinterpret_cast<const unsigned char*>("abc"), 3);
    data.copy(reinterpret_cast<const unsigned char*>("abc"), 0);
    EXPECT_EQ(data.getBytes(), nullptr);
    EXPECT_EQ(data.getSize(), 0);
}

TEST(Data, CopyOfItsOwnBytesKeepsThem) {
    Data data;
    data.copy(reinterpret_cast<const unsigned char*>("abcdef"), 6);
    data.copy(data.getBytes() + 2, 3);
    EXPECT_EQ(contents(data), "cde");
}

TEST(Data, NonNullPointerWithZeroSizeIsNull) {
    Data data;
    data.fastSet(mallocBlock("x"), 0);
    EXPECT_NE(data.getBytes(), nullptr);
    EXPECT_TRUE(data.isNull());
}

TEST(Data, FastSetAdoptsTheBlock) {
    unsigned char* block = mallocBlock("hello");
    Data data;
    data.fastSet(block, 5);
    EXPECT_EQ(data.getBytes(), block);
    EXPECT_EQ(contents(data), "hello");
}

// The sanitizer run reports a leak if the first block is not freed.
TEST(Data, FastSetOverAHeldBlockFreesIt) {
    Data data;
    data.fastSet(mallocBlock("first"), 5);
    data.fastSet(mallocBlock("second"), 6);
    EXPECT_EQ(contents(data), "second");
    data.fastSet(data.getBytes(), 3);
    EXPECT_EQ(contents(data), "sec");
}

TEST(Data, MoveTakesTheBlockAndEmptiesTheSource) {
    Data source;
    source.fastSet(mallocBlock("abc"), 3);
    unsigned char* block = source.getBytes();
    Data target(std::move(source));
    EXPECT_EQ(target.getBytes(), block);
    EXPECT_TRUE(source.isNull());  // NOLINT: the moved-from state is specified
    EXPECT_EQ(source.getBytes(), nullptr);
}

TEST(Data, MoveAssignmentOverAHeldBlockFreesIt) {
    Data target;
    target.fastSet(mallocBlock("old"), 3);
    Data source;
    source.fastSet(mallocBlock("new!"), 4);
    target = std::move(source);
    EXPECT_EQ(contents(target), "new!");
    EXPECT_TRUE(source.isNull());  // NOLINT
    Data& alias = target;
    target = std::move(alias);
    EXPECT_EQ(contents(target), "new!");
}

TEST(Data, CopyAssignmentDuplicates) {
    Data a;
    a.copy(reinterpret_cast<const unsigned char*>("xyz"), 3);
    Data b;
    b.fastSet(mallocBlock("q"), 1);
    b = a;
    EXPECT_EQ(contents(b), "xyz");
    EXPECT_NE(b.getBytes(), a.getBytes());
}

TEST(Data, TakeBufferHandsOverTheBlock) {
    Data data;
    data.copy(reinterpret_cast<const unsigned char*>("abc"), 3);
    std::int64_t size = 0;
    unsigned char* block = data.takeBuffer(&size);
    EXPECT_EQ(size, 3);
    EXPECT_TRUE(data.isNull());
    std::free(block);
}

}  // namespace
}  // namespace kite
