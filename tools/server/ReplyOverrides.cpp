#include "tools/server/ReplyOverrides.h"

#include <algorithm>

namespace stargrid_server {

bool ReplyOverride::applyKind(const std::string& kind) {
    if (kind == "malformed") {
        body = "{\"code\":\"0000\",\"bodymessage\":";
    } else if (kind == "wrongtype") {
        body = "{\"code\":0,\"bodymessage\":[1,2]}";
    } else if (kind == "deep") {
        // Well-formed, but nested far deeper than any reply of the game.
        body = "{\"code\":\"0000\",\"bodymessage\":" + std::string(1100, '[') + std::string(1100, ']') + "}";
    } else if (kind == "empty") {
        body = "";
    } else if (kind == "error") {
        status = 500;
        body = "Internal Server Error";
    } else if (kind == "drop") {
        drop = true;
    } else if (kind == "slow") {
        if (delayMs == 0) delayMs = 3000;
    } else {
        return false;
    }
    return true;
}

std::string ReplyOverride::describe() const {
    std::string text = "override";
    if (drop) text += " drop";
    if (delayMs > 0) text += " delay=" + std::to_string(delayMs) + "ms";
    if (status != 200) text += " status=" + std::to_string(status);
    if (code) text += " code=" + *code;
    if (body) text += " body(" + std::to_string(body->size()) + " bytes)";
    return text;
}

void ReplyOverrides::push(ReplyOverride override) {
    override.delayMs = std::clamp(override.delayMs, 0, kLongestDelayMs);
    std::lock_guard<std::mutex> lock(mutex_);
    waiting_.push_back(std::move(override));
}

std::optional<ReplyOverride> ReplyOverrides::take(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = std::find_if(waiting_.begin(), waiting_.end(), [&](const ReplyOverride& candidate) {
        return candidate.path.empty() || candidate.path == path;
    });
    if (found == waiting_.end()) return std::nullopt;
    ReplyOverride taken = std::move(*found);
    waiting_.erase(found);
    return taken;
}

void ReplyOverrides::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    waiting_.clear();
}

}  // namespace stargrid_server
