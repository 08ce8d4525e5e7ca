// One value of a property list.
#include "platform/PlistValue.h"

namespace platform {

PlistValue PlistValue::integer(std::int64_t number) {
    PlistValue value;
    value.type_ = Type::Integer;
    value.integer_ = number;
    return value;
}

PlistValue PlistValue::real(double number) {
    PlistValue value;
    value.type_ = Type::Real;
    value.real_ = number;
    return value;
}

PlistValue PlistValue::singleReal(float number) {
    PlistValue value = real(number);
    value.single_ = true;
    return value;
}

PlistValue PlistValue::boolean(bool truth) {
    PlistValue value;
    value.type_ = Type::Boolean;
    value.boolean_ = truth;
    return value;
}

PlistValue PlistValue::date(double secondsSince2001) {
    PlistValue value;
    value.type_ = Type::Date;
    value.real_ = secondsSince2001;
    return value;
}

bool PlistValue::operator==(const PlistValue& other) const {
    if (type_ != other.type_) return false;
    switch (type_) {
        case Type::String: return text_ == other.text_;
        case Type::Integer: return integer_ == other.integer_;
        case Type::Real:
        case Type::Date: return real_ == other.real_;
        case Type::Boolean: return boolean_ == other.boolean_;
        case Type::Data: return data_ == other.data_;
        case Type::Array: return array_ == other.array_;
        case Type::Dictionary: return dictionary_ == other.dictionary_;
    }
    return false;
}

}  // namespace platform
