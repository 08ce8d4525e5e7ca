// Keyed archives of plain records.
#include "sdk/pigeon/ArchiveCoding.h"

#include <cstdio>
#include <limits>

namespace pigeon {
namespace archive {
namespace {

const platform::PlistValue* find(const Archive& archive, const char* key) {
    const auto found = archive.find(key);
    return found == archive.end() ? nullptr : &found->second;
}

void skip(const char* record, const char* key, const char* problem) {
    std::fprintf(stderr, "%s: \"%s\" %s; it is left out\n", record, key, problem);
}

}  // namespace

void encodeObject(Archive& archive, const char* key, const std::string& value) {
    if (!value.empty()) archive[key] = value;
}

void encodeBool(Archive& archive, const char* key, bool value) { archive[key] = platform::PlistValue::boolean(value); }

void encodeInt32(Archive& archive, const char* key, std::uint32_t value) {
    archive[key] = platform::PlistValue::integer(static_cast<std::int32_t>(value));
}

void encodeInteger(Archive& archive, const char* key, std::uint64_t value) {
    archive[key] = platform::PlistValue::integer(static_cast<std::int64_t>(value));
}

void decodeObject(const Archive& archive, const char* key, std::string& field, const char* record) {
    const platform::PlistValue* value = find(archive, key);
    if (!value) return;
    if (const std::string* text = value->asString()) {
        field = *text;
    } else {
        skip(record, key, "is not a string");
    }
}

void decodeBool(const Archive& archive, const char* key, bool& field, const char* record) {
    const platform::PlistValue* value = find(archive, key);
    if (!value) return;
    if (const bool* truth = value->asBoolean()) {
        field = *truth;
    } else {
        skip(record, key, "is not a truth value");
    }
}

void decodeUnsigned32(const Archive& archive, const char* key, std::uint32_t& field, const char* record) {
    const platform::PlistValue* value = find(archive, key);
    if (!value) return;
    const std::int64_t* number = value->asInteger();
    // Either reading of 32 bits: the signed one this side writes, or an unsigned one.
    if (number && *number >= std::numeric_limits<std::int32_t>::min() &&
        *number <= std::numeric_limits<std::uint32_t>::max()) {
        field = static_cast<std::uint32_t>(*number);
    } else {
        skip(record, key, number ? "does not fit 32 bits" : "is not an integer");
    }
}

void decodeUnsigned64(const Archive& archive, const char* key, std::uint64_t& field, const char* record) {
    const platform::PlistValue* value = find(archive, key);
    if (!value) return;
    if (const std::int64_t* number = value->asInteger()) {
        field = static_cast<std::uint64_t>(*number);
    } else {
        skip(record, key, "is not an integer");
    }
}

}  // namespace archive
}  // namespace pigeon
