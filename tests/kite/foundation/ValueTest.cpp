#include "kite/foundation/Value.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "kite/foundation/DecimalCommaLocale.h"

namespace kite {
namespace {

TEST(Value, DefaultIsNone) {
    Value v;
    EXPECT_TRUE(v.isNull());
    EXPECT_EQ(v.getType(), Value::Type::NONE);
    EXPECT_EQ(v.asInt(), 0);
    EXPECT_FALSE(v.asBool());
    EXPECT_EQ(v.asString(), "");
    EXPECT_TRUE(Value::Null.isNull());
}

TEST(Value, ConstructorsSetTheirTags) {
    EXPECT_EQ(Value(static_cast<unsigned char>(65)).getType(), Value::Type::BYTE);
    EXPECT_EQ(Value(1).getType(), Value::Type::INTEGER);
    EXPECT_EQ(Value(1.0f).getType(), Value::Type::FLOAT);
    EXPECT_EQ(Value(1.0).getType(), Value::Type::DOUBLE);
    EXPECT_EQ(Value(true).getType(), Value::Type::BOOLEAN);
    EXPECT_EQ(Value("a").getType(), Value::Type::STRING);
    EXPECT_EQ(Value(std::string("a")).getType(), Value::Type::STRING);
    EXPECT_EQ(Value(ValueVector{}).getType(), Value::Type::VECTOR);
    EXPECT_EQ(Value(ValueMap{}).getType(), Value::Type::MAP);
    EXPECT_EQ(Value(ValueMapIntKey{}).getType(), Value::Type::INT_KEY_MAP);
}

TEST(Value, NullCharacterPointerGivesTheEmptyString) {
    Value v(static_cast<const char*>(nullptr));
    EXPECT_EQ(v.getType(), Value::Type::STRING);
    EXPECT_EQ(v.asString(), "");
}

TEST(Value, ByteConversions) {
    Value v(static_cast<unsigned char>('A'));
    EXPECT_EQ(v.asInt(), 65);
    EXPECT_FLOAT_EQ(v.asFloat(), 65.0f);
    EXPECT_DOUBLE_EQ(v.asDouble(), 65.0);
    EXPECT_TRUE(v.asBool());
    EXPECT_EQ(v.asString(), "A");
    EXPECT_FALSE(Value(static_cast<unsigned char>(0)).asBool());
}

TEST(Value, IntegerConversions) {
    Value v(-42);
    EXPECT_EQ(v.asInt(), -42);
    EXPECT_FLOAT_EQ(Value(7).asFloat(), 7.0f);
    EXPECT_DOUBLE_EQ(v.asDouble(), -42.0);
    EXPECT_TRUE(v.asBool());
    EXPECT_FALSE(Value(0).asBool());
    EXPECT_EQ(v.asString(), "-42");
}

TEST(Value, FloatConversions) {
    EXPECT_EQ(Value(-2.7f).asInt(), -2);
    EXPECT_EQ(Value(2.7f).asInt(), 2);
    EXPECT_DOUBLE_EQ(Value(1.5f).asDouble(), 1.5);
    EXPECT_TRUE(Value(0.1f).asBool());
    EXPECT_FALSE(Value(0.0f).asBool());
    EXPECT_EQ(Value(1.5f).asString(), "1.5000000");
    EXPECT_EQ(Value(-0.25f).asString(), "-0.2500000");
}

TEST(Value, DoubleConversions) {
    EXPECT_EQ(Value(-2.7).asInt(), -2);
    EXPECT_FLOAT_EQ(Value(2.5).asFloat(), 2.5f);
    EXPECT_FALSE(Value(0.0).asBool());
    EXPECT_EQ(Value(2.0).asString(), "2.0000000000000000");
}

TEST(Value, NumbersOutsideTheIntRangeAreClamped) {
    EXPECT_EQ(Value(1e20).asInt(), std::numeric_limits<int>::max());
    EXPECT_EQ(Value(-1e20f).asInt(), std::numeric_limits<int>::min());
    EXPECT_EQ(Value(std::nan("")).asInt(), 0);
    EXPECT_EQ(Value("99999999999").asInt(), std::numeric_limits<int>::max());
}

TEST(Value, BooleanConversions) {
    EXPECT_EQ(Value(true).asInt(), 1);
    EXPECT_EQ(Value(false).asInt(), 0);
    EXPECT_FLOAT_EQ(Value(true).asFloat(), 1.0f);
    EXPECT_DOUBLE_EQ(Value(false).asDouble(), 0.0);
    EXPECT_EQ(Value(true).asString(), "true");
    EXPECT_EQ(Value(false).asString(), "false");
}

TEST(Value, StringConversions) {
    EXPECT_EQ(Value("12abc").asInt(), 12);
    EXPECT_EQ(Value("abc").asInt(), 0);
    EXPECT_FLOAT_EQ(Value("2.5").asFloat(), 2.5f);
    EXPECT_DOUBLE_EQ(Value("3.14159265358979").asDouble(), 3.1415926);
    EXPECT_EQ(Value("text").asString(), "text");
}

TEST(Value, StringIsFalseOnlyForZeroAndFalse) {
    EXPECT_FALSE(Value("0").asBool());
    EXPECT_FALSE(Value("false").asBool());
    EXPECT_TRUE(Value("").asBool());
    EXPECT_TRUE(Value("False").asBool());
    EXPECT_TRUE(Value("00").asBool());
}

TEST(Value, ContainersConvertToNothing) {
    Value v(ValueVector{Value(1)});
    EXPECT_EQ(v.asInt(), 0);
    EXPECT_FALSE(v.asBool());
    EXPECT_EQ(v.asString(), "");
    EXPECT_EQ(Value(ValueMap{{"a", Value(1)}}).asDouble(), 0.0);
}

TEST(Value, NumberTextsIgnoreTheProcessLocale) {
    testing::DecimalCommaLocale comma;
    if (!comma.active()) GTEST_SKIP() << "no locale with a decimal comma available";
    EXPECT_EQ(Value(1.5f).asString(), "1.5000000");
    EXPECT_EQ(Value(2.0).asString(), "2.0000000000000000");
    EXPECT_DOUBLE_EQ(Value("2.25").asDouble(), 2.25);
}

TEST(Value, CopyIsDeep) {
    ValueVector inner{Value(1), Value("x")};
    Value original(ValueMap{{"list", Value(inner)}});
    Value copy(original);
    copy.asValueMap()["list"].asValueVector().push_back(Value(2));
    EXPECT_EQ(original.asValueMap().at("list").asValueVector().size(), 2u);
    EXPECT_EQ(copy.asValueMap().at("list").asValueVector().size(), 3u);
}

TEST(Value, MapCopyKeepsTheMaximumLoadFactor) {
    ValueMap map;
    map.max_load_factor(0.5f);
    map["a"] = Value(1);
    Value v(map);
    EXPECT_FLOAT_EQ(v.asValueMap().max_load_factor(), 0.5f);
    Value other;
    other = v;
    EXPECT_FLOAT_EQ(other.asValueMap().max_load_factor(), 0.5f);
    Value reset;
    reset.reset(Value::Type::MAP);
    EXPECT_FLOAT_EQ(reset.asValueMap().max_load_factor(), 1.0f);
}

TEST(Value, MovedFromValueIsNone) {
    Value source("text");
    Value target(std::move(source));
    EXPECT_TRUE(source.isNull());  // NOLINT: the moved-from state is specified
    EXPECT_EQ(target.asString(), "text");
    Value assigned;
    assigned = std::move(target);
    EXPECT_TRUE(target.isNull());  // NOLINT
    EXPECT_EQ(assigned.asString(), "text");
}

TEST(Value, SelfAssignmentChangesNothing) {
    Value v(ValueVector{Value(1), Value(2)});
    Value& alias = v;
    v = alias;
    EXPECT_EQ(v.asValueVector().size(), 2u);
    v = std::move(alias);
    EXPECT_EQ(v.asValueVector().size(), 2u);
}

TEST(Value, AssigningAnElementOfItselfIsSafe) {
    Value v(ValueVector{Value("first"), Value(ValueMap{{"k", Value(3)}})});
    v = v.asValueVector()[0];
    EXPECT_EQ(v.asString(), "first");

    Value w(ValueVector{Value(ValueMap{{"k", Value(3)}})});
    w = w.asValueVector()[0];
    EXPECT_EQ(w.asValueMap().at("k").asInt(), 3);

    Value x(ValueVector{Value(5)});
    x = std::move(x.asValueVector()[0]);
    EXPECT_EQ(x.asInt(), 5);
}

TEST(Value, ResetToTheSameTagKeepsThePayload) {
    Value v("kept");
    v.reset(Value::Type::STRING);
    EXPECT_EQ(v.asString(), "kept");
    v.reset(Value::Type::VECTOR);
    EXPECT_TRUE(v.asValueVector().empty());
    v.clear();
    EXPECT_TRUE(v.isNull());
}

TEST(Value, WrongKindContainerAccessAnswersAnEmptyContainer) {
    const Value text("not a container");
    EXPECT_TRUE(text.asValueVector().empty());
    EXPECT_EQ(&text.asValueVector(), &ValueVectorNull);
    EXPECT_EQ(&text.asValueMap(), &ValueMapNull);
    EXPECT_EQ(&text.asIntKeyMap(), &ValueMapIntKeyNull);

    Value number(3);
    number.asValueVector().push_back(Value(1));
    number.asValueMap()["k"] = Value(1);
    EXPECT_EQ(number.asInt(), 3);
    EXPECT_TRUE(number.asValueVector().empty());
    EXPECT_TRUE(number.asValueMap().empty());
    EXPECT_TRUE(number.asIntKeyMap().empty());
    EXPECT_TRUE(ValueVectorNull.empty());
}

TEST(Value, EqualityComparesTagAndPayload) {
    EXPECT_EQ(Value(1), Value(1));
    EXPECT_NE(Value(1), Value(1.0f));
    EXPECT_EQ(Value(ValueVector{Value("a")}), Value(ValueVector{Value("a")}));
    EXPECT_NE(Value(ValueMap{{"a", Value(1)}}), Value(ValueMap{{"a", Value(2)}}));
}

TEST(Value, DescriptionOfAVector) {
    Value v(ValueVector{Value(1), Value("a")});
    EXPECT_EQ(v.getDescription(), "\n[\n\t0: 1\n\t1: a\n]\n");
}

TEST(Value, DescriptionOfNestedContainers) {
    Value v(ValueVector{Value(ValueMap{{"k", Value(true)}}), Value(ValueVector{})});
    EXPECT_EQ(v.getDescription(), "\n[\n\t0: \n\t{\n\t\tk: true\n\t}\n\t1: \n\t[\n\t]\n]\n");
    Value keyed(ValueMapIntKey{{7, Value(ValueMapIntKey{{8, Value("x")}})}});
    EXPECT_EQ(keyed.getDescription(), "\n{\n\t7: \n\t{\n\t\t8: x\n\t}\n}\n");
}

TEST(Value, DescriptionOfAScalar) {
    EXPECT_EQ(Value(5).getDescription(), "\n5\n");
    EXPECT_EQ(Value().getDescription(), "\n\n");
}

TEST(Value, MissingKeyInsertsANullValue) {
    ValueMap map;
    EXPECT_TRUE(map["missing"].isNull());
    EXPECT_EQ(map.size(), 1u);
}

}  // namespace
}  // namespace kite
