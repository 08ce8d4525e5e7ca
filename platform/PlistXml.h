// Property lists in their XML form, the form our pasteboards carry between programs.
#pragma once
#include <cstddef>
#include <optional>
#include <string>

#include "platform/PlistValue.h"

namespace platform {

// Limits on what a reader accepts from another program, the same in either form.
struct PlistLimits {
    // The text of an XML list, and the text and data (keys included) a list of
    // either form holds. A binary list may be twice as long: text that mixes
    // ASCII with other characters is stored whole in UTF-16.
    std::size_t maxBytes = 32u << 20;
    int maxDepth = 32;              // nested arrays and dictionaries
    std::size_t maxValues = 65536;  // every value, at every depth; a key is no value
};

// The longest binary list the limits let a reader take.
std::size_t maxBinaryBytes(const PlistLimits& limits);

// Whether a reader with these limits would take the value as far as its
// values, depth and text and data go, every string and key being UTF-8 (which
// both readers ask), and else why not. The writers check it, so that what they
// write reads back.
bool withinPlistLimits(const PlistValue& value, const PlistLimits& limits, std::string* reason = nullptr);

// The reason both readers give for a list holding more text and data than allowed.
std::string tooManyBytesReason(const PlistLimits& limits);

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
