// The value variant and its containers: the in-memory form of property lists and tables.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace kite {

class Value;

using ValueVector = std::vector<Value>;
using ValueMap = std::unordered_map<std::string, Value>;
using ValueMapIntKey = std::unordered_map<int, Value>;

extern const ValueVector ValueVectorNull;
extern const ValueMap ValueMapNull;
extern const ValueMapIntKey ValueMapIntKeyNull;

class Value {
public:
    enum class Type : std::uint32_t {
        NONE = 0,
        BYTE,
        INTEGER,
        FLOAT,
        DOUBLE,
        BOOLEAN,
        STRING,
        VECTOR,
        MAP,
        INT_KEY_MAP,
    };

    static const Value Null;

    constexpr Value() noexcept : field_{}, type_(Type::NONE) {}
    explicit Value(unsigned char v);
    explicit Value(int v);
    explicit Value(float v);
    explicit Value(double v);
    explicit Value(bool v);
    explicit Value(const char* v);  // null gives the empty string
    explicit Value(const std::string& v);
    explicit Value(std::string&& v);
    explicit Value(const ValueVector& v);
    explicit Value(ValueVector&& v);
    explicit Value(const ValueMap& v);  // also takes over the map's maximum load factor
    explicit Value(ValueMap&& v);
    explicit Value(const ValueMapIntKey& v);
    explicit Value(ValueMapIntKey&& v);
    Value(const Value& other);
    Value(Value&& other) noexcept;
    ~Value();

    Value& operator=(const Value& other);
    Value& operator=(Value&& other) noexcept;
    Value& operator=(unsigned char v);
    Value& operator=(int v);
    Value& operator=(float v);
    Value& operator=(double v);
    Value& operator=(bool v);
    Value& operator=(const char* v);
    Value& operator=(const std::string& v);
    Value& operator=(std::string&& v);
    Value& operator=(const ValueVector& v);
    Value& operator=(ValueVector&& v);
    Value& operator=(const ValueMap& v);
    Value& operator=(ValueMap&& v);
    Value& operator=(const ValueMapIntKey& v);
    Value& operator=(ValueMapIntKey&& v);

    // Same tag and equal payload (containers compared element by element).
    bool operator==(const Value& other) const;
    bool operator!=(const Value& other) const { return !(*this == other); }

    // Conversions never fail; kinds without a meaning give 0, false or "".
    unsigned char asByte() const;
    int asInt() const;
    float asFloat() const;
    double asDouble() const;
    bool asBool() const;
    std::string asString() const;

    // The contained container. On a value of another kind the read-only form answers
    // the shared empty container and the writable form a scratch empty one whose
    // contents are not kept; neither touches this value.
    ValueVector& asValueVector();
    const ValueVector& asValueVector() const;
    ValueMap& asValueMap();
    const ValueMap& asValueMap() const;
    ValueMapIntKey& asIntKeyMap();
    const ValueMapIntKey& asIntKeyMap() const;

    bool isNull() const { return type_ == Type::NONE; }
    Type getType() const { return type_; }

    // A readable dump, one line per scalar, nested containers indented by tabs.
    std::string getDescription() const;

    // Frees an owned string or container and leaves the value NONE.
    void clear();
    // Switches to the given tag with an empty payload; the same tag keeps the payload.
    void reset(Type type);

private:
    void describe(std::string& out, int depth) const;

    // doubleVal first: zero-initialising the union clears all eight bytes.
    union Field {
        double doubleVal;
        unsigned char byteVal;
        int intVal;
        float floatVal;
        bool boolVal;
        std::string* strVal;
        ValueVector* vectorVal;
        ValueMap* mapVal;
        ValueMapIntKey* intKeyMapVal;
    };

    Field field_;
    Type type_;
};

}  // namespace kite
