// One value of a property list: text, number, truth value, date, bytes, array or dictionary.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace platform {

class PlistValue {
public:
    using Data = std::vector<std::uint8_t>;
    using Array = std::vector<PlistValue>;
    using Dictionary = std::map<std::string, PlistValue>;
    enum class Type { String, Integer, Real, Boolean, Date, Data, Array, Dictionary };

    PlistValue() = default;
    PlistValue(std::string text) : text_(std::move(text)) {}
    PlistValue(const char* text) : text_(text) {}
    PlistValue(Data bytes) : type_(Type::Data), data_(std::move(bytes)) {}
    PlistValue(Array items) : type_(Type::Array), array_(std::move(items)) {}
    PlistValue(Dictionary entries) : type_(Type::Dictionary), dictionary_(std::move(entries)) {}
    static PlistValue integer(std::int64_t number);
    static PlistValue real(double number);
    // A real stored in four bytes; it reads back as a float, not a double.
    static PlistValue singleReal(float number);
    static PlistValue boolean(bool truth);
    // A moment as seconds since 2001-01-01 00:00:00 UTC, the epoch both forms write.
    static PlistValue date(double secondsSince2001);
    static constexpr double kSecondsFrom1970To2001 = 978307200.0;

    Type type() const { return type_; }

    // Each answers null when the value is of another type, so that a value
    // from outside is type-checked where it is used.
    const std::string* asString() const { return type_ == Type::String ? &text_ : nullptr; }
    const std::int64_t* asInteger() const { return type_ == Type::Integer ? &integer_ : nullptr; }
    const double* asReal() const { return type_ == Type::Real ? &real_ : nullptr; }
    bool isSingleReal() const { return type_ == Type::Real && single_; }
    const bool* asBoolean() const { return type_ == Type::Boolean ? &boolean_ : nullptr; }
    const double* asDate() const { return type_ == Type::Date ? &real_ : nullptr; }
    const Data* asData() const { return type_ == Type::Data ? &data_ : nullptr; }
    const Array* asArray() const { return type_ == Type::Array ? &array_ : nullptr; }
    const Dictionary* asDictionary() const { return type_ == Type::Dictionary ? &dictionary_ : nullptr; }

    bool operator==(const PlistValue& other) const;
    bool operator!=(const PlistValue& other) const { return !(*this == other); }

private:
    // Only the member of the value's type is used; the others stay empty.
    Type type_ = Type::String;
    std::string text_;
    std::int64_t integer_ = 0;
    double real_ = 0;      // a real, or a date's seconds
    bool single_ = false;  // a real of single precision
    bool boolean_ = false;
    Data data_;
    Array array_;
    Dictionary dictionary_;
};

}  // namespace platform
