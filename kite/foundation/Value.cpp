// The value variant: construction, assignment, conversions and description.
#include "kite/foundation/Value.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "kite/foundation/StringUtils.h"
#include "platform/AsciiText.h"

namespace kite {

const ValueVector ValueVectorNull;
const ValueMap ValueMapNull;
const ValueMapIntKey ValueMapIntKeyNull;
const Value Value::Null;

namespace {

// Truncation toward zero, clamped to the int range; NaN gives 0.
int truncateToInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return INT_MAX;
    if (v <= -2147483648.0) return INT_MIN;
    return static_cast<int>(v);
}

// atoi without its undefined overflow: out-of-range texts are clamped.
int textToInt(const std::string& text) {
    errno = 0;
    long v = std::strtol(text.c_str(), nullptr, 10);
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int>(v);
}

template <class Map>
Map* copyMap(const Map& source) {
    auto* map = new Map();
    map->max_load_factor(source.max_load_factor());
    *map = source;
    return map;
}

void appendTabs(std::string& out, int count) { out.append(static_cast<std::size_t>(count), '\t'); }

}  // namespace

Value::Value(unsigned char v) : Value() { *this = v; }
Value::Value(int v) : Value() { *this = v; }
Value::Value(float v) : Value() { *this = v; }
Value::Value(double v) : Value() { *this = v; }
Value::Value(bool v) : Value() { *this = v; }
Value::Value(const char* v) : Value() { *this = v; }
Value::Value(const std::string& v) : Value() { *this = v; }
Value::Value(std::string&& v) : Value() { *this = std::move(v); }
Value::Value(const ValueVector& v) : Value() { *this = v; }
Value::Value(ValueVector&& v) : Value() { *this = std::move(v); }
Value::Value(const ValueMap& v) : Value() { *this = v; }
Value::Value(ValueMap&& v) : Value() { *this = std::move(v); }
Value::Value(const ValueMapIntKey& v) : Value() { *this = v; }
Value::Value(ValueMapIntKey&& v) : Value() { *this = std::move(v); }
Value::Value(const Value& other) : Value() { *this = other; }
Value::Value(Value&& other) noexcept : Value() { *this = std::move(other); }

Value::~Value() { clear(); }

Value& Value::operator=(const Value& other) {
    if (this == &other) return *this;
    switch (other.type_) {
        case Type::STRING:
        case Type::VECTOR:
        case Type::MAP:
        case Type::INT_KEY_MAP: {
            // Copied aside first: the source may live inside this value's own container.
            Value copy;
            copy.reset(other.type_);
            if (other.type_ == Type::STRING) {
                *copy.field_.strVal = *other.field_.strVal;
            } else if (other.type_ == Type::VECTOR) {
                *copy.field_.vectorVal = *other.field_.vectorVal;
            } else if (other.type_ == Type::MAP) {
                copy.field_.mapVal->max_load_factor(other.field_.mapVal->max_load_factor());
                *copy.field_.mapVal = *other.field_.mapVal;
            } else {
                copy.field_.intKeyMapVal->max_load_factor(other.field_.intKeyMapVal->max_load_factor());
                *copy.field_.intKeyMapVal = *other.field_.intKeyMapVal;
            }
            *this = std::move(copy);
            break;
        }
        default: {
            // Scalars: the payload is plain bytes, read before this value is cleared.
            Field field = other.field_;
            Type type = other.type_;
            clear();
            field_ = field;
            type_ = type;
            break;
        }
    }
    return *this;
}

Value& Value::operator=(Value&& other) noexcept {
    if (this == &other) return *this;
    // Detach the source before clearing: it may live inside this value's own container.
    Field field = other.field_;
    Type type = other.type_;
    other.field_.doubleVal = 0.0;
    other.type_ = Type::NONE;
    clear();
    field_ = field;
    type_ = type;
    return *this;
}

Value& Value::operator=(unsigned char v) {
    clear();
    field_.byteVal = v;
    type_ = Type::BYTE;
    return *this;
}

Value& Value::operator=(int v) {
    clear();
    field_.intVal = v;
    type_ = Type::INTEGER;
    return *this;
}

Value& Value::operator=(float v) {
    clear();
    field_.floatVal = v;
    type_ = Type::FLOAT;
    return *this;
}

Value& Value::operator=(double v) {
    clear();
    field_.doubleVal = v;
    type_ = Type::DOUBLE;
    return *this;
}

Value& Value::operator=(bool v) {
    clear();
    field_.boolVal = v;
    type_ = Type::BOOLEAN;
    return *this;
}

Value& Value::operator=(const char* v) { return *this = std::string(v ? v : ""); }

Value& Value::operator=(const std::string& v) {
    std::string copy(v);  // v may live inside this value
    reset(Type::STRING);
    *field_.strVal = std::move(copy);
    return *this;
}

Value& Value::operator=(std::string&& v) {
    std::string taken(std::move(v));
    reset(Type::STRING);
    *field_.strVal = std::move(taken);
    return *this;
}

Value& Value::operator=(const ValueVector& v) {
    if (type_ == Type::VECTOR && field_.vectorVal == &v) return *this;
    ValueVector copy(v);  // v may live inside this value
    reset(Type::VECTOR);
    *field_.vectorVal = std::move(copy);
    return *this;
}

Value& Value::operator=(ValueVector&& v) {
    if (type_ == Type::VECTOR && field_.vectorVal == &v) return *this;
    ValueVector taken(std::move(v));
    reset(Type::VECTOR);
    *field_.vectorVal = std::move(taken);
    return *this;
}

Value& Value::operator=(const ValueMap& v) {
    if (type_ == Type::MAP && field_.mapVal == &v) return *this;
    ValueMap* copy = copyMap(v);
    clear();
    field_.mapVal = copy;
    type_ = Type::MAP;
    return *this;
}

Value& Value::operator=(ValueMap&& v) {
    if (type_ == Type::MAP && field_.mapVal == &v) return *this;
    auto* taken = new ValueMap(std::move(v));
    clear();
    field_.mapVal = taken;
    type_ = Type::MAP;
    return *this;
}

Value& Value::operator=(const ValueMapIntKey& v) {
    if (type_ == Type::INT_KEY_MAP && field_.intKeyMapVal == &v) return *this;
    ValueMapIntKey* copy = copyMap(v);
    clear();
    field_.intKeyMapVal = copy;
    type_ = Type::INT_KEY_MAP;
    return *this;
}

Value& Value::operator=(ValueMapIntKey&& v) {
    if (type_ == Type::INT_KEY_MAP && field_.intKeyMapVal == &v) return *this;
    auto* taken = new ValueMapIntKey(std::move(v));
    clear();
    field_.intKeyMapVal = taken;
    type_ = Type::INT_KEY_MAP;
    return *this;
}

bool Value::operator==(const Value& other) const {
    if (this == &other) return true;
    if (type_ != other.type_) return false;
    switch (type_) {
        case Type::NONE: return true;
        case Type::BYTE: return field_.byteVal == other.field_.byteVal;
        case Type::INTEGER: return field_.intVal == other.field_.intVal;
        case Type::FLOAT: return field_.floatVal == other.field_.floatVal;
        case Type::DOUBLE: return field_.doubleVal == other.field_.doubleVal;
        case Type::BOOLEAN: return field_.boolVal == other.field_.boolVal;
        case Type::STRING: return *field_.strVal == *other.field_.strVal;
        case Type::VECTOR: return *field_.vectorVal == *other.field_.vectorVal;
        case Type::MAP: return *field_.mapVal == *other.field_.mapVal;
        case Type::INT_KEY_MAP: return *field_.intKeyMapVal == *other.field_.intKeyMapVal;
    }
    return false;
}

unsigned char Value::asByte() const {
    switch (type_) {
        case Type::BYTE: return field_.byteVal;
        case Type::INTEGER: return static_cast<unsigned char>(field_.intVal);
        case Type::FLOAT:
        case Type::DOUBLE: return static_cast<unsigned char>(asInt());
        case Type::BOOLEAN: return field_.boolVal ? 1 : 0;
        case Type::STRING: return static_cast<unsigned char>(textToInt(*field_.strVal));
        default: return 0;
    }
}

int Value::asInt() const {
    switch (type_) {
        case Type::BYTE: return field_.byteVal;
        case Type::INTEGER: return field_.intVal;
        case Type::FLOAT: return truncateToInt(field_.floatVal);
        case Type::DOUBLE: return truncateToInt(field_.doubleVal);
        case Type::BOOLEAN: return field_.boolVal ? 1 : 0;
        case Type::STRING: return textToInt(*field_.strVal);
        default: return 0;
    }
}

float Value::asFloat() const {
    switch (type_) {
        case Type::BYTE: return field_.byteVal;
        case Type::INTEGER: return static_cast<float>(field_.intVal);
        case Type::FLOAT: return field_.floatVal;
        case Type::DOUBLE: return static_cast<float>(field_.doubleVal);
        case Type::BOOLEAN: return field_.boolVal ? 1.0f : 0.0f;
        case Type::STRING: return static_cast<float>(kite::atof(field_.strVal->c_str()));
        default: return 0.0f;
    }
}

double Value::asDouble() const {
    switch (type_) {
        case Type::BYTE: return field_.byteVal;
        case Type::INTEGER: return field_.intVal;
        case Type::FLOAT: return field_.floatVal;
        case Type::DOUBLE: return field_.doubleVal;
        case Type::BOOLEAN: return field_.boolVal ? 1.0 : 0.0;
        case Type::STRING: return kite::atof(field_.strVal->c_str());
        default: return 0.0;
    }
}

bool Value::asBool() const {
    switch (type_) {
        case Type::BYTE: return field_.byteVal != 0;
        case Type::INTEGER: return field_.intVal != 0;
        case Type::FLOAT: return field_.floatVal != 0.0f;
        case Type::DOUBLE: return field_.doubleVal != 0.0;
        case Type::BOOLEAN: return field_.boolVal;
        case Type::STRING: return *field_.strVal != "0" && *field_.strVal != "false";
        default: return false;
    }
}

std::string Value::asString() const {
    switch (type_) {
        case Type::BYTE: return std::string(1, static_cast<char>(field_.byteVal));
        case Type::INTEGER: return std::to_string(field_.intVal);
        case Type::FLOAT: return platform::fixedPointText(field_.floatVal, 7);
        case Type::DOUBLE: return platform::fixedPointText(field_.doubleVal, 16);
        case Type::BOOLEAN: return field_.boolVal ? "true" : "false";
        case Type::STRING: return *field_.strVal;
        default: return std::string();
    }
}

ValueVector& Value::asValueVector() {
    if (type_ == Type::VECTOR) return *field_.vectorVal;
    thread_local ValueVector scratch;
    scratch.clear();
    return scratch;
}

const ValueVector& Value::asValueVector() const { return type_ == Type::VECTOR ? *field_.vectorVal : ValueVectorNull; }

ValueMap& Value::asValueMap() {
    if (type_ == Type::MAP) return *field_.mapVal;
    thread_local ValueMap scratch;
    scratch.clear();
    return scratch;
}

const ValueMap& Value::asValueMap() const { return type_ == Type::MAP ? *field_.mapVal : ValueMapNull; }

ValueMapIntKey& Value::asIntKeyMap() {
    if (type_ == Type::INT_KEY_MAP) return *field_.intKeyMapVal;
    thread_local ValueMapIntKey scratch;
    scratch.clear();
    return scratch;
}

const ValueMapIntKey& Value::asIntKeyMap() const {
    return type_ == Type::INT_KEY_MAP ? *field_.intKeyMapVal : ValueMapIntKeyNull;
}

std::string Value::getDescription() const {
    std::string out = "\n";
    describe(out, 0);
    return out;
}

void Value::describe(std::string& out, int depth) const {
    switch (type_) {
        case Type::VECTOR: {
            if (depth >= 1) out += '\n';
            appendTabs(out, depth);
            out += "[\n";
            int index = 0;
            for (const Value& element : *field_.vectorVal) {
                appendTabs(out, depth + 1);
                out += std::to_string(index++);
                out += ": ";
                element.describe(out, depth + 1);
            }
            appendTabs(out, depth);
            out += "]\n";
            break;
        }
        case Type::MAP:
            if (depth >= 1) out += '\n';
            appendTabs(out, depth);
            out += "{\n";
            for (const auto& entry : *field_.mapVal) {
                appendTabs(out, depth + 1);
                out += entry.first;
                out += ": ";
                entry.second.describe(out, depth + 1);
            }
            appendTabs(out, depth);
            out += "}\n";
            break;
        case Type::INT_KEY_MAP:
            if (depth >= 1) out += '\n';
            appendTabs(out, depth);
            out += "{\n";
            for (const auto& entry : *field_.intKeyMapVal) {
                appendTabs(out, depth + 1);
                out += std::to_string(entry.first);
                out += ": ";
                entry.second.describe(out, depth + 1);
            }
            appendTabs(out, depth);
            out += "}\n";
            break;
        default:
            out += asString();
            out += '\n';
            break;
    }
}

void Value::clear() {
    switch (type_) {
        case Type::STRING: delete field_.strVal; break;
        case Type::VECTOR: delete field_.vectorVal; break;
        case Type::MAP: delete field_.mapVal; break;
        case Type::INT_KEY_MAP: delete field_.intKeyMapVal; break;
        default: break;
    }
    field_.doubleVal = 0.0;
    type_ = Type::NONE;
}

void Value::reset(Type type) {
    if (type == type_) return;
    clear();
    switch (type) {
        case Type::STRING: field_.strVal = new std::string(); break;
        case Type::VECTOR: field_.vectorVal = new ValueVector(); break;
        case Type::MAP:
            field_.mapVal = new ValueMap();
            field_.mapVal->max_load_factor(1.0f);
            break;
        case Type::INT_KEY_MAP:
            field_.intKeyMapVal = new ValueMapIntKey();
            field_.intKeyMapVal->max_load_factor(1.0f);
            break;
        default: break;
    }
    type_ = type;
}

}  // namespace kite
