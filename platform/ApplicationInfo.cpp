// What the phone's main bundle would say about the application.
#include "platform/ApplicationInfo.h"

#include <optional>

#include "platform/MainBundle.h"

namespace platform {
namespace {

// The non-empty text under key, or nothing.
std::optional<std::string> infoText(const PlistValue::Dictionary& info, const char* key) {
    const auto found = info.find(key);
    const std::string* text = found == info.end() ? nullptr : found->second.asString();
    if (!text || text->empty()) return std::nullopt;
    return *text;
}

}  // namespace

std::string bundleIdentifier() {
    const std::optional<PlistValue::Dictionary> info = mainBundleInfoDictionary();
    return info ? infoText(*info, "CFBundleIdentifier").value_or("") : std::string();
}

std::string bundleShortVersion() {
    const std::optional<PlistValue::Dictionary> info = mainBundleInfoDictionary();
    if (!info) return std::string();
    if (std::optional<std::string> version = infoText(*info, "CFBundleShortVersionString")) return *version;
    return infoText(*info, "CFBundleVersion").value_or("");
}

}  // namespace platform
