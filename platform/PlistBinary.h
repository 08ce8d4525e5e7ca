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

// The binary form of the value: strings in ASCII when they are, else UTF-16,
// each text written once however often it is used; integers in the fewest
// bytes that read back the same. Nothing (with the reason in *error when
// given) when a string is not valid UTF-8 or when decodePlistBinary with
// these limits would refuse what it wrote, so that what is written reads back.
std::optional<std::vector<std::uint8_t>> encodePlistBinary(const PlistValue& root, std::string* error = nullptr,
                                                           const PlistLimits& limits = PlistLimits());

// The value a "bplist00" property list holds, or nothing (with the reason in
// *error when given) when the bytes are damaged or beyond the limits: offsets
// or references out of range, cycles, counts larger than the bytes, strings
// that are not valid text, a dictionary key given twice. The limits count what
// the list decodes to as the XML reader counts it: limits.maxValues values
// (keys are none), limits.maxDepth levels, and limits.maxBytes bytes of text
// (as UTF-8) and data, keys included; the list itself may be twice
// limits.maxBytes long. An object referenced again is copied again and counted
// again, so a few kilobytes that fan out stop there too. A value the XML reader
// takes with the same limits, encodePlistBinary writes in a form this takes.
// Null, fill, UID and set objects and 128-bit integers are refused, having no
// place in our values. Whatever is read, encodePlistBinary writes back unchanged.
std::optional<PlistValue> decodePlistBinary(const std::uint8_t* bytes, std::size_t size, std::string* error = nullptr,
                                            const PlistLimits& limits = PlistLimits());

// Either form, told apart by the binary form's header. Neither reader throws:
// memory running out fails with its reason like damage does.
std::optional<PlistValue> decodePlist(const std::uint8_t* bytes, std::size_t size, std::string* error = nullptr,
                                      const PlistLimits& limits = PlistLimits());

}  // namespace platform
