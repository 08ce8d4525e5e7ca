// A small typed key-value store kept as an XML property list.
#include "platform/UserDefaults.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "platform/AtomicFile.h"
#include "platform/PlistXml.h"
#include "platform/StoredFile.h"
#include "platform/UserFolders.h"

namespace platform {
namespace {

// The store's text, or nothing (with a log line) when loading it would refuse
// it: such a file reads as an empty store, losing every other value with it.
std::optional<std::string> readableText(const PlistValue::Dictionary& entries, const std::string& path) {
    const PlistLimits limits;
    const PlistValue root(entries);
    std::string reason;
    if (withinPlistLimits(root, limits, &reason)) {
        std::string text = encodePlistXml(root);
        if (text.size() <= limits.maxBytes) return text;
        reason = "larger than allowed";
    }
    std::fprintf(stderr, "UserDefaults: cannot save %s: %s\n", path.c_str(), reason.c_str());
    return std::nullopt;
}

}  // namespace

UserDefaults& UserDefaults::named(const std::string& name) {
    static std::mutex storesMutex;
    static std::map<std::string, std::unique_ptr<UserDefaults>> stores;
    std::lock_guard<std::mutex> lock(storesMutex);
    const std::string path = configFolder() + "/" + name + ".plist";
    std::unique_ptr<UserDefaults>& store = stores[path];
    if (!store) store.reset(new UserDefaults(path));
    return *store;
}

void UserDefaults::loadLocked() {
    if (loaded_) return;
    loaded_ = true;
    entries_.clear();
    std::string text;
    if (readStoredFile(path_, text) != StoredFileRead::Read) return;
    // Saves leave it the owner's only, but a run that only reads makes none.
    if (!narrowMode(path_, 0600)) {
        std::fprintf(stderr, "UserDefaults: cannot narrow %s: %s\n", path_.c_str(), std::strerror(errno));
    }
    std::string error;
    const std::optional<PlistValue> root = decodePlistXml(text, &error);
    if (!root || !root->asDictionary()) {
        std::fprintf(stderr, "UserDefaults: %s is not a dictionary property list (%s)\n", path_.c_str(), error.c_str());
        return;
    }
    entries_ = *root->asDictionary();
}

bool UserDefaults::saveLocked(const std::string& text) {
    removeLeftoverTemporaries(path_);
    // The module's values include a device identifier: the owner's only.
    return writeFileAtomically(path_, text, 0600);
}

std::optional<PlistValue> UserDefaults::value(const std::string& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    loadLocked();
    const auto found = entries_.find(key);
    if (found == entries_.end()) return std::nullopt;
    return found->second;
}

std::int64_t UserDefaults::integer(const std::string& key) {
    const std::optional<PlistValue> stored = value(key);
    const std::int64_t* number = stored ? stored->asInteger() : nullptr;
    return number ? *number : 0;
}

bool UserDefaults::set(const std::string& key, PlistValue value) {
    std::lock_guard<std::mutex> lock(mutex_);
    loadLocked();
    const auto [entry, added] = entries_.try_emplace(key);
    std::swap(entry->second, value);
    if (const std::optional<std::string> text = readableText(entries_, path_)) return saveLocked(*text);
    // Not saved: the store keeps what its file holds.
    if (added) {
        entries_.erase(entry);
    } else {
        entry->second = std::move(value);
    }
    return false;
}

bool UserDefaults::remove(const std::string& key) {
    std::lock_guard<std::mutex> lock(mutex_);
    loadLocked();
    if (entries_.erase(key) == 0) return true;
    const std::optional<std::string> text = readableText(entries_, path_);
    return text && saveLocked(*text);
}

void UserDefaults::reload() {
    std::lock_guard<std::mutex> lock(mutex_);
    loaded_ = false;
}

}  // namespace platform
