// A small typed key-value store kept as an XML property list in the config folder.
#pragma once
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "platform/PlistValue.h"

namespace platform {

// One store per file name, shared by the process's threads. Every change is
// saved at once (write, sync, rename), so a killed process never leaves a torn
// file. A damaged file (or one past 1 MiB) is set aside in a copy of its own
// ("<name>.plist.damaged", ".damaged.1"...) and the store starts empty; one that
// cannot be read (unreadable, a folder, a FIFO), or a damaged one that cannot
// be set aside, is left as it is for the run, said in one line: its values read
// as missing and every set or remove is false, so it is never replaced unread.
// A change its own loader would refuse (past the default PlistLimits or 1 MiB,
// or a key or text that is not UTF-8) is neither saved nor kept: set is false.
// A file found open to others is narrowed to its owner (0600) when it is read;
// a link is read but its target's mode is left alone.
class UserDefaults {
public:
    // The store "<name>.plist" in the config folder.
    static UserDefaults& named(const std::string& name);

    std::optional<PlistValue> value(const std::string& key);
    // 0 when missing or not an integer.
    std::int64_t integer(const std::string& key);
    bool set(const std::string& key, PlistValue value);
    bool remove(const std::string& key);
    // Forgets what was read, so the next read sees the file (tests change it behind the store's back).
    void reload();

private:
    explicit UserDefaults(std::string path) : path_(std::move(path)) {}
    void loadLocked();
    void setAsideLocked(const std::string& reason);
    bool saveLocked(const std::string& text);

    std::string path_;
    std::mutex mutex_;
    bool loaded_ = false;
    bool kept_ = false;  // there but not taken, nor set aside: never saved over this run
    PlistValue::Dictionary entries_;
};

}  // namespace platform
