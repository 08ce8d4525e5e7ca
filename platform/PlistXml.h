// Property lists in their XML form, the form our pasteboards carry between programs.
#pragma once
#include <cstddef>
#include <optional>
#include <string>

#include "platform/PlistValue.h"

namespace platform {

// Limits on what a reader accepts from another program.
struct PlistLimits {
    std::size_t maxBytes = 32u << 20;  // the text itself
    int maxDepth = 32;                 // nested arrays and dictionaries
    std::size_t maxValues = 65536;     // every value, at every depth
};

std::string encodePlistXml(const PlistValue& root);

// The value the text holds, or nothing (with the reason in *error when given)
// when the text is not a well-formed property list within the limits:
// unknown elements, a key without a value, a number that does not parse or
// does not fit, bytes that are not Base64.
std::optional<PlistValue> decodePlistXml(const char* text, std::size_t size, std::string* error = nullptr,
                                         const PlistLimits& limits = PlistLimits());
std::optional<PlistValue> decodePlistXml(const std::string& text, std::string* error = nullptr,
                                         const PlistLimits& limits = PlistLimits());

}  // namespace platform
