// The one reader of JSON that comes from outside the program (server replies, URLs, the
// statistics answer, request bodies): bounded in size and nesting, strict, and never throwing,
// so a hostile text is a failure with a reason, never an abort.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include <json/value.h>

namespace platform {

struct JsonLimits {
    std::size_t maxBytes = std::size_t(1) << 20;  // a longer text is refused unread
    int maxDepth = 64;                            // levels of values: the text's own value is level 1, "[[1]]" has 3
};

// The value the text holds, or nothing with the reason in *error (when given). The text is
// one JSON value with nothing but white space around it.
std::optional<Json::Value> readJson(std::string_view text, std::string* error = nullptr,
                                    const JsonLimits& limits = JsonLimits());

}  // namespace platform
