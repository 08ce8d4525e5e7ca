#include "kite/foundation/String.h"

#include <gtest/gtest.h>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/StringUtils.h"

namespace kite {
namespace {

class StringObject : public ::testing::Test {
protected:
    void TearDown() override { PoolManager::getInstance()->getCurrentPool()->clear(); }
};

class Other : public Ref {};

TEST_F(StringObject, CreateCopiesTheTextIntoAnAutoreleasedObject) {
    __String* s = __String::create("hello");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->getString(), "hello");
    EXPECT_TRUE(PoolManager::getInstance()->getCurrentPool()->contains(s));
}

TEST_F(StringObject, CreateWithFormatFormats) {
    __String* s = __String::createWithFormat("%s/GameRanked?devicetype=%d", "http://h", 0);
    ASSERT_NE(s, nullptr);
    EXPECT_STREQ(s->getCString(), "http://h/GameRanked?devicetype=0");
    EXPECT_TRUE(PoolManager::getInstance()->getCurrentPool()->contains(s));
}

TEST_F(StringObject, LongFormattedTextIsCut) {
    std::string longText(150000, 'q');
    __String* s = __String::createWithFormat("%s", longText.c_str());
    EXPECT_EQ(s->length(), StringUtils::kFormatBufferSize - 1);
}

TEST_F(StringObject, EqualityComparesTextsOfStringObjectsOnly) {
    __String* a = __String::create("same");
    __String* b = __String::create("same");
    __String* c = __String::create("other");
    Other* o = new Other();
    EXPECT_TRUE(a->isEqual(b));
    EXPECT_FALSE(a->isEqual(c));
    EXPECT_FALSE(a->isEqual(o));
    EXPECT_FALSE(a->isEqual(nullptr));
    o->release();
}

TEST_F(StringObject, CloneIsANewAutoreleasedCopy) {
    __String* a = __String::create("copy me");
    __String* b = a->clone();
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_TRUE(a->isEqual(b));
    EXPECT_TRUE(PoolManager::getInstance()->getCurrentPool()->contains(b));
    Clonable* asClonable = a;
    Clonable* viaInterface = asClonable->clone();
    EXPECT_TRUE(a->isEqual(dynamic_cast<__String*>(viaInterface)));
}

TEST_F(StringObject, VisitorSeesTheStringObject) {
    struct Recorder : DataVisitor {
        const __String* seen = nullptr;
        void visit(const __String* value) override { seen = value; }
    } recorder;
    __String* s = __String::create("v");
    s->acceptVisitor(recorder);
    EXPECT_EQ(recorder.seen, s);
}

TEST_F(StringObject, NumberReadings) {
    EXPECT_EQ(__String::create("12abc")->intValue(), 12);
    EXPECT_FLOAT_EQ(__String::create("2.5")->floatValue(), 2.5f);
    EXPECT_FALSE(__String::create("false")->boolValue());
    EXPECT_TRUE(__String::create("yes")->boolValue());
}

}  // namespace
}  // namespace kite
