// Keyed archives of plain records: each field under its archive key in a
// property-list dictionary, the form in which a record is stored or handed over.
#pragma once
#include <cstdint>
#include <string>

#include "platform/PlistValue.h"

namespace pigeon {
namespace archive {

using Archive = platform::PlistValue::Dictionary;

// An empty string stands for no object and is not written.
void encodeObject(Archive& archive, const char* key, const std::string& value);
void encodeBool(Archive& archive, const char* key, bool value);
// 32-bit fields are written as their signed 32-bit pattern, 64-bit ones as their signed 64-bit one.
void encodeInt32(Archive& archive, const char* key, std::uint32_t value);
void encodeInteger(Archive& archive, const char* key, std::uint64_t value);

// Each sets the field from its key; a missing key leaves it as it is, and a
// value of another kind or beyond the field's width is skipped with a
// "<record>: ..." log line.
void decodeObject(const Archive& archive, const char* key, std::string& field, const char* record);
void decodeBool(const Archive& archive, const char* key, bool& field, const char* record);
void decodeUnsigned32(const Archive& archive, const char* key, std::uint32_t& field, const char* record);
void decodeUnsigned64(const Archive& archive, const char* key, std::uint64_t& field, const char* record);

}  // namespace archive
}  // namespace pigeon
