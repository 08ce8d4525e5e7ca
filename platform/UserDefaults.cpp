// A small typed key-value store kept as an XML property list.
#include "platform/UserDefaults.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "platform/AtomicFile.h"
#include "platform/PlistXml.h"
#include "platform/PrintableText.h"
#include "platform/StoredFile.h"
#include "platform/UserFolders.h"

namespace platform {
namespace {

// A store is small (a few identifiers and flags): one past this is damaged, not read whole.
constexpr std::size_t kMaxFileBytes = 1u << 20;

// The store's text, or nothing (with a log line) when loading it would refuse
// it: such a file would be set aside at the next start, losing every other value with it.
std::optional<std::string> readableText(const PlistValue::Dictionary& entries, const std::string& path) {
    const PlistLimits limits;
    const PlistValue root(entries);
    std::string reason;
    if (withinPlistLimits(root, limits, &reason)) {
        std::string text = encodePlistXml(root);
        if (text.size() <= kMaxFileBytes) return text;
        reason = "larger than 1 MiB";
    }
    std::fprintf(stderr, "UserDefaults: cannot save %s: %s\n", printableText(path).c_str(), reason.c_str());
    return std::nullopt;
}

}  // namespace

UserDefaults& UserDefaults::named(const std::string& name) {
    static std::mutex storesMutex;
    static std::map<std::string, std::unique_ptr<UserDefaults>> stores;
    std::lock_guard<std::mutex> lock(storesMutex);
    // Without a config folder (refused, said where it was) every store is on no file.
    const std::string folder = configFolder();
    const std::string path = folder.empty() ? folder : folder + "/" + name + ".plist";
    std::unique_ptr<UserDefaults>& store = stores[path];
    if (!store) store.reset(new UserDefaults(path));
    return *store;
}

void UserDefaults::loadLocked() {
    if (loaded_) return;
    loaded_ = true;
    kept_ = false;
    entries_.clear();
    if (path_.empty()) {  // no file: nothing read, nothing saved
        kept_ = true;
        return;
    }
    std::string text, reason;
    switch (readStoredFile(path_, text, kMaxFileBytes, &reason)) {
        case StoredFileRead::Missing: return;
        case StoredFileRead::Failed:
            // Its values are out of reach, not gone: a save would replace them, so none is made this run.
            kept_ = true;
            std::fprintf(stderr, "UserDefaults: cannot read %s: %s; it is left as it is and nothing is saved to it\n",
                         printableText(path_).c_str(), reason.c_str());
            return;
        case StoredFileRead::Read: break;
    }
    if (text.size() > kMaxFileBytes) return setAsideLocked("larger than 1 MiB");
    // Saves leave it the owner's only, but a run that only reads makes none.
    if (!narrowMode(path_, 0600)) {
        std::fprintf(stderr, "UserDefaults: cannot narrow %s: %s\n", printableText(path_).c_str(),
                     std::strerror(errno));
    }
    std::string error;
    const std::optional<PlistValue> root = decodePlistXml(text, &error);
    if (!root || !root->asDictionary()) return setAsideLocked(root ? "not a dictionary" : error);
    entries_ = *root->asDictionary();
}

// Kept aside, never saved over: it may hold the device's identifier and the player's choices.
void UserDefaults::setAsideLocked(const std::string& reason) {
    if (const std::optional<std::string> aside = setDamagedFileAside(path_)) {
        std::fprintf(stderr, "UserDefaults: %s is damaged (%s); set aside as %s\n", printableText(path_).c_str(),
                     reason.c_str(), printableText(*aside).c_str());
        return;
    }
    kept_ = true;
    std::fprintf(stderr,
                 "UserDefaults: %s is damaged (%s) and cannot be set aside (%s); it is left as it is and nothing is "
                 "saved to it\n",
                 printableText(path_).c_str(), reason.c_str(), std::strerror(errno));
}

bool UserDefaults::saveLocked(const std::string& text) {
    if (kept_) return false;
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
    if (kept_) return false;
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
    if (kept_) return false;
    if (entries_.erase(key) == 0) return true;
    const std::optional<std::string> text = readableText(entries_, path_);
    return text && saveLocked(*text);
}

void UserDefaults::reload() {
    std::lock_guard<std::mutex> lock(mutex_);
    loaded_ = false;
}

}  // namespace platform
