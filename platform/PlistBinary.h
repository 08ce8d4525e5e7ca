// Property lists in the binary form ("bplist00"), the form pasteboards carry between programs.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/PlistValue.h"
#include "platform/PlistXml.h"

namespace platform {

// The binary form of the value: strings in ASCII when they are, else UTF-16;
// integers in the fewest bytes that read back the same. Nothing (with the
// reason in *error when given) when a string is not valid UTF-8.
std::optional<std::vector<std::uint8_t>> encodePlistBinary(const PlistValue& root, std::string* error = nullptr);

// The value a "bplist00" property list holds, or nothing (with the reason in
// *error when given) when the bytes are damaged or beyond the limits: offsets
// or references out of range, cycles, counts larger than the bytes, strings
// that are not valid text, a dictionary key given twice. Null, fill, UID and
// set objects and 128-bit integers are refused, having no place in our
// values. Whatever is read, encodePlistBinary writes back unchanged.
std::optional<PlistValue> decodePlistBinary(const std::uint8_t* bytes, std::size_t size, std::string* error = nullptr,
                                            const PlistLimits& limits = PlistLimits());

// Either form, told apart by the binary form's header.
std::optional<PlistValue> decodePlist(const std::uint8_t* bytes, std::size_t size, std::string* error = nullptr,
                                      const PlistLimits& limits = PlistLimits());

}  // namespace platform
