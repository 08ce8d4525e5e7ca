// The reference-counted string object.
#include "kite/foundation/String.h"

#include "kite/foundation/Create.h"
#include "kite/foundation/StringUtils.h"
#include "kite/foundation/Value.h"

namespace kite {

__String* __String::create(const std::string& text) { return createAutoreleased<__String>(text); }

__String* __String::createWithFormat(const char* format, ...) {
    __String* result = create(std::string());
    if (result == nullptr) return nullptr;
    va_list args;
    va_start(args, format);
    result->initWithFormatAndValist(format, args);
    va_end(args);
    return result;
}

bool __String::init(const std::string& text) {
    text_ = text;
    return true;
}

bool __String::initWithFormatAndValist(const char* format, va_list args) {
    if (format == nullptr) return false;
    text_ = StringUtils::formatV(format, args);
    return true;
}

bool __String::isEqual(const Ref* object) {
    const auto* other = dynamic_cast<const __String*>(object);
    return other != nullptr && other->text_ == text_;
}

void __String::acceptVisitor(DataVisitor& visitor) { visitor.visit(this); }

__String* __String::clone() const { return create(text_); }

int __String::intValue() const { return Value(text_).asInt(); }

float __String::floatValue() const { return static_cast<float>(kite::atof(text_.c_str())); }

double __String::doubleValue() const { return kite::atof(text_.c_str()); }

bool __String::boolValue() const { return text_ != "0" && text_ != "false"; }

}  // namespace kite
