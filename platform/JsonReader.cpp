#include "platform/JsonReader.h"

#include <json/reader.h>

#include <exception>
#include <memory>

namespace platform {
namespace {

// jsoncpp's message ("* Line 1, Column 6\n  Missing ...\n") as one log-friendly line.
std::string oneLine(const std::string& message) {
    std::string line;
    for (char c : message.compare(0, 2, "* ") == 0 ? message.substr(2) : message) {
        if (c == '\n') c = ' ';
        if (c == ' ' && (line.empty() || line.back() == ' ')) continue;
        line += c;
    }
    if (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

}  // namespace

std::optional<Json::Value> readJson(std::string_view text, std::string* error, const JsonLimits& limits) {
    std::string reason;
    if (text.size() > limits.maxBytes) {
        reason = "longer than " + std::to_string(limits.maxBytes) + " bytes";
    } else {
        Json::CharReaderBuilder builder;
        builder["allowComments"] = false;
        builder["collectComments"] = false;
        builder["failIfExtra"] = true;
        builder["allowTrailingCommas"] = false;
        // The reader throws past this depth instead of failing: the one exception it raises.
        builder["stackLimit"] = limits.maxDepth;
        const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
        Json::Value value;
        try {
            if (reader->parse(text.data(), text.data() + text.size(), &value, &reason)) return value;
            reason = oneLine(reason);
        } catch (const std::exception&) {
            reason = "nested deeper than " + std::to_string(limits.maxDepth) + " levels";
        }
    }
    if (error) *error = reason;
    return std::nullopt;
}

}  // namespace platform
