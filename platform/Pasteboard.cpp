// Pasteboards as files of typed items under the user's runtime or data folder.
#include "platform/Pasteboard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <thread>

#include "platform/AtomicFile.h"
#include "platform/PlistBinary.h"
#include "platform/PlistXml.h"
#include "platform/StoredFile.h"
#include "platform/UserFolders.h"

namespace platform {
namespace {

// How an item is kept in the file: {type: {kind: value}}.
constexpr char kDataKind[] = "data";
constexpr char kStringKind[] = "string";
constexpr char kPropertyListKind[] = "propertyList";

// A name becomes a file name of safe characters only; the prefix keeps a
// named pasteboard called "general" apart from the general one.
std::string fileNameFor(const std::string& name) {
    std::string file = "named.";
    for (unsigned char c : name) {
        if (std::isalnum(c) || c == '_' || c == '-' || c == '.') {
            file += char(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            file += escaped;
        }
    }
    return file;
}

// Said once a process, not by every call that meets the same file or folder again.
void sayOnce(const std::string& line) {
    static std::mutex mutex;
    static std::set<std::string> said;
    std::lock_guard<std::mutex> lock(mutex);
    if (said.insert(line).second) std::fprintf(stderr, "Pasteboard: %s\n", line.c_str());
}

bool fileExists(const std::string& path) {
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

// How long a change waits for another program's hold on a pasteboard before it fails.
constexpr std::chrono::milliseconds kLockWait{500};

// Holds the pasteboard's lock file locked for as long as it lives. The lock is waited for a short
// while only: a program that keeps it (or a lock file that is not one) fails the call with a
// reason, never holds the game.
class LockGuard {
public:
    explicit LockGuard(const std::string& path) {
        if (!path.empty()) take(path + ".lock");  // no folder: said once where it was refused
    }
    ~LockGuard() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;
    bool locked() const { return fd_ >= 0; }
    // Why it is not locked; empty when there is no folder, which was said already.
    const std::string& reason() const { return reason_; }

private:
    void take(const std::string& lock) {
        fd_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        struct stat info {};
        if (fd_ < 0) {
            reason_ = lock + ": " + (errno == ELOOP ? "it is a link" : std::strerror(errno));
            return;
        }
        if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) return fail(lock + " is not a regular file");
        const auto deadline = std::chrono::steady_clock::now() + kLockWait;
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR) continue;
            if (errno != EWOULDBLOCK) return fail(lock + ": " + std::strerror(errno));
            if (std::chrono::steady_clock::now() >= deadline) return fail(lock + " is locked by another program");
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    void fail(const std::string& reason) {
        ::close(fd_);
        fd_ = -1;
        reason_ = reason;
    }

    int fd_ = -1;
    std::string reason_;
};

// False, said in one line, when the lock is not held.
bool lockedFor(const LockGuard& lock, const std::string& name) {
    if (lock.locked()) return true;
    if (!lock.reason().empty())
        std::fprintf(stderr, "Pasteboard: cannot lock \"%s\": %s\n", name.c_str(), lock.reason().c_str());
    return false;
}

// A pasteboard file is no larger than the property-list readers take.
std::size_t largestFile() { return maxBinaryBytes(PlistLimits()); }

// Every byte of a pasteboard's file, or nothing: missing (or no folder), or said in one line why.
std::optional<std::string> fileContents(const std::string& path, const std::string& name) {
    std::string bytes, reason;
    switch (readStoredFile(path, bytes, largestFile(), &reason)) {
        case StoredFileRead::Missing: return std::nullopt;
        case StoredFileRead::Failed:
            sayOnce("cannot read \"" + name + "\" (" + path + "): " + reason);
            return std::nullopt;
        case StoredFileRead::Read: break;
    }
    if (bytes.size() <= largestFile()) return bytes;
    sayOnce("\"" + name + "\" (" + path + ") is larger than " + std::to_string(largestFile()) +
            " bytes; it is not read");
    return std::nullopt;
}

PlistValue::Dictionary readItems(const std::string& path, const std::string& name) {
    const std::string text = fileContents(path, name).value_or(std::string());
    if (text.empty()) return {};
    std::string error;
    std::optional<PlistValue> items =
        decodePlist(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), &error);
    if (!items || !items->asDictionary()) {
        std::fprintf(stderr, "Pasteboard: \"%s\" is damaged (%s); it reads as empty\n", name.c_str(),
                     items ? "not a dictionary" : error.c_str());
        return {};
    }
    return *items->asDictionary();
}

bool writeItems(const std::string& path, const std::string& name, const PlistValue::Dictionary& items) {
    std::string error;
    const std::optional<std::vector<std::uint8_t>> bytes = encodePlistBinary(PlistValue(items), &error);
    if (!bytes) {
        std::fprintf(stderr, "Pasteboard: cannot write \"%s\": %s\n", name.c_str(), error.c_str());
        return false;
    }
    if (writeFileAtomically(path, std::string(bytes->begin(), bytes->end()), 0600)) return true;
    std::fprintf(stderr, "Pasteboard: cannot write \"%s\": %s\n", name.c_str(), std::strerror(errno));
    return false;
}

// Why the folder, made (0700) when missing, is not the player's own, or empty when it is: a
// folder, not a link, the player's, closed to others (one of the player's that is open is narrowed,
// only taking bits away). Nobody else can then plant, move or lock the pasteboards in it.
std::string refusalOf(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return std::string("cannot make it: ") + std::strerror(errno);
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0) return std::strerror(errno);
    if (S_ISLNK(info.st_mode)) return "it is a link";
    if (!S_ISDIR(info.st_mode)) return "it is not a folder";
    if (info.st_uid != ::geteuid()) return "it belongs to user " + std::to_string(info.st_uid);
    if ((info.st_mode & 077) != 0 && !narrowMode(path, 0700))
        return std::string("it is open to others and cannot be narrowed: ") + std::strerror(errno);
    return "";
}

// The folder when it is the player's own, else empty.
std::string checkedFolder(const std::string& path) {
    const std::string refusal = refusalOf(path);
    if (refusal.empty()) return path;
    sayOnce("the folder " + path + " is refused: " + refusal + "; pasteboard calls fail");
    return "";
}

}  // namespace

std::string Pasteboard::folder() {
    const std::string runtime = runtimeFolder();
    if (runtime.empty()) {
        sayOnce("the session's pasteboards have no folder, as the runtime folder is refused; pasteboard calls fail");
        return "";
    }
    return checkedFolder(runtime + "/stargrid-pasteboards");
}

std::string Pasteboard::persistentFolder() { return checkedFolder(documentsFolder() + "/pasteboards"); }

std::string Pasteboard::transientPath() const {
    const std::string folder = Pasteboard::folder();
    return folder.empty() ? folder : folder + "/" + fileName_;
}

std::string Pasteboard::persistentPath() const {
    const std::string folder = persistentFolder();
    return folder.empty() ? folder : folder + "/" + fileName_;
}

std::string Pasteboard::path() const {
    std::string persistent = persistentPath();
    return fileExists(persistent) ? persistent : transientPath();
}

Pasteboard Pasteboard::general() { return Pasteboard("general", "general"); }

std::optional<Pasteboard> Pasteboard::named(const std::string& name, bool create) {
    Pasteboard pasteboard(name, fileNameFor(name));
    if (fileExists(pasteboard.path())) return pasteboard;
    if (!create) return std::nullopt;
    // The lock lives beside the file of the session, wherever the file itself is.
    LockGuard lock(pasteboard.transientPath());
    if (!lockedFor(lock, name)) return std::nullopt;
    if (!fileExists(pasteboard.path()) && !writeItems(pasteboard.transientPath(), name, {})) return std::nullopt;
    return pasteboard;
}

bool Pasteboard::isPersistent() const { return fileExists(persistentPath()); }

bool Pasteboard::setPersistent(bool persistent) {
    LockGuard lock(transientPath());
    const std::string to = persistent ? persistentPath() : transientPath();
    const std::string from = persistent ? transientPath() : persistentPath();
    if (!lockedFor(lock, name_) || to.empty()) return false;
    if (!fileExists(from)) return fileExists(to);
    const std::optional<std::string> contents = fileContents(from, name_);
    if (!contents) return false;
    // A persistent file is the one readers see: a copy of the session's beside it is stale.
    if (!(persistent && fileExists(to)) && !writeFileAtomically(to, *contents, 0600)) {
        std::fprintf(stderr, "Pasteboard: cannot move \"%s\": %s\n", name_.c_str(), std::strerror(errno));
        return false;
    }
    ::unlink(from.c_str());
    return true;
}

std::optional<Pasteboard::Item> Pasteboard::item(const std::string& type) const {
    PlistValue::Dictionary items = readItems(path(), name_);
    const auto found = items.find(type);
    if (found == items.end()) return std::nullopt;
    const PlistValue::Dictionary* kinds = found->second.asDictionary();
    if (!kinds || kinds->size() != 1) {
        std::fprintf(stderr, "Pasteboard: the \"%s\" item of \"%s\" is damaged\n", type.c_str(), name_.c_str());
        return std::nullopt;
    }
    return Item{kinds->begin()->first, kinds->begin()->second};
}

std::optional<Pasteboard::Data> Pasteboard::data(const std::string& type) const {
    const std::optional<Item> found = item(type);
    if (!found) return std::nullopt;
    const auto& [kind, value] = *found;
    if (kind == kDataKind && value.asData()) return *value.asData();
    if (kind == kStringKind && value.asString()) return Data(value.asString()->begin(), value.asString()->end());
    if (kind == kPropertyListKind) {
        std::string error;
        std::optional<Data> bytes = encodePlistBinary(value, &error);
        if (bytes) return bytes;
        std::fprintf(stderr, "Pasteboard: the \"%s\" item of \"%s\" cannot be written out: %s\n", type.c_str(),
                     name_.c_str(), error.c_str());
        return std::nullopt;
    }
    std::fprintf(stderr, "Pasteboard: the \"%s\" item of \"%s\" is of no known kind\n", type.c_str(), name_.c_str());
    return std::nullopt;
}

std::optional<std::string> Pasteboard::string(const std::string& type) const {
    const std::optional<Data> bytes = data(type);
    if (!bytes) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

std::optional<PlistValue> Pasteboard::propertyList(const std::string& type) const {
    const std::optional<Item> found = item(type);
    if (!found) return std::nullopt;
    if (found->kind == kPropertyListKind) return found->value;
    const std::optional<Data> bytes = data(type);
    if (!bytes || bytes->empty()) return std::nullopt;
    std::string error;
    std::optional<PlistValue> value = decodePlist(bytes->data(), bytes->size(), &error);
    if (!value) {
        std::fprintf(stderr, "Pasteboard: the \"%s\" item of \"%s\" is not a property list (%s)\n", type.c_str(),
                     name_.c_str(), error.c_str());
    }
    return value;
}

bool Pasteboard::replaceItems(const std::string& type, const char* kind, PlistValue value) {
    LockGuard lock(transientPath());
    if (!lockedFor(lock, name_)) return false;
    PlistValue::Dictionary item{{kind, std::move(value)}};
    return writeItems(path(), name_, {{type, PlistValue(std::move(item))}});
}

bool Pasteboard::setData(const std::string& type, const Data& bytes) { return replaceItems(type, kDataKind, bytes); }

bool Pasteboard::setString(const std::string& type, const std::string& text) {
    return replaceItems(type, kStringKind, text);
}

bool Pasteboard::setPropertyList(const std::string& type, const PlistValue& value) {
    return replaceItems(type, kPropertyListKind, value);
}

std::optional<Pasteboard::Data> Pasteboard::takeData(const std::string& type,
                                                     const std::function<bool(const Data&)>& accept) {
    LockGuard lock(transientPath());
    if (!lockedFor(lock, name_)) return std::nullopt;
    std::optional<Data> bytes = data(type);
    if (!bytes || bytes->empty() || (accept && !accept(*bytes))) return bytes;
    PlistValue::Dictionary item{{kDataKind, Data()}};
    if (!writeItems(path(), name_, {{type, PlistValue(std::move(item))}})) return std::nullopt;
    return bytes;
}

}  // namespace platform
