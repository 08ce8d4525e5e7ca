// Property lists in the binary form other programs may leave on a pasteboard: read only.
#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/PlistValue.h"
#include "platform/PlistXml.h"

namespace platform {

// The value a "bplist00" property list holds, or nothing (with the reason in
// *error when given) when the bytes are damaged or beyond the limits: offsets
// or references out of range, cycles, counts larger than the bytes, strings
// that are not valid text. Dates read as their seconds since 2001 (a real);
// null, fill and UID objects are refused, having no place in our values.
std::optional<PlistValue> decodePlistBinary(const std::uint8_t* bytes, std::size_t size, std::string* error = nullptr,
                                            const PlistLimits& limits = PlistLimits());

// Either form, told apart by the binary form's header.
std::optional<PlistValue> decodePlist(const std::uint8_t* bytes, std::size_t size, std::string* error = nullptr,
                                      const PlistLimits& limits = PlistLimits());

}  // namespace platform
