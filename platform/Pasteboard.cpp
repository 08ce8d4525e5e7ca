// Pasteboards as files of typed items under the user's runtime or data folder.
#include "platform/Pasteboard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

#include "platform/AtomicFile.h"
#include "platform/PlistBinary.h"
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

bool fileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

// Holds the pasteboard's lock file locked for as long as it lives.
class LockGuard {
public:
    explicit LockGuard(const std::string& path)
        : fd_(::open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (fd_ < 0) return;
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~LockGuard() {
        if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;
    bool locked() const { return fd_ >= 0; }

private:
    int fd_;
};

std::optional<std::string> fileContents(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::ostringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

PlistValue::Dictionary readItems(const std::string& path, const std::string& name) {
    const std::string text = fileContents(path).value_or(std::string());
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

// The folder, made (0700) when missing. Each folder is looked at once a process, as the game's own
// folders are: one found open to others is narrowed to its owner, and one that cannot be made is
// said once, not by every call that then fails.
std::string madeFolder(const std::string& path) {
    static std::mutex mutex;
    static std::set<std::string> settled;
    const bool made = ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
    const int error = errno;
    std::lock_guard<std::mutex> lock(mutex);
    if (settled.count(path) != 0) return path;
    if (!made) {
        std::fprintf(stderr, "Pasteboard: cannot make the folder %s: %s\n", path.c_str(), std::strerror(error));
    } else if (!narrowMode(path, 0700)) {
        std::fprintf(stderr, "Pasteboard: cannot narrow the folder %s: %s\n", path.c_str(), std::strerror(errno));
    }
    settled.insert(path);
    return path;
}

}  // namespace

std::string Pasteboard::folder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return madeFolder(runtime && *runtime ? std::string(runtime) + "/stargrid-pasteboards"
                                          : "/tmp/stargrid-pasteboards-" + std::to_string(::getuid()));
}

std::string Pasteboard::persistentFolder() { return madeFolder(documentsFolder() + "/pasteboards"); }

std::string Pasteboard::transientPath() const { return folder() + "/" + fileName_; }

std::string Pasteboard::persistentPath() const { return persistentFolder() + "/" + fileName_; }

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
    if (!fileExists(pasteboard.path()) && !writeItems(pasteboard.transientPath(), name, {})) return std::nullopt;
    return pasteboard;
}

bool Pasteboard::isPersistent() const { return fileExists(persistentPath()); }

bool Pasteboard::setPersistent(bool persistent) {
    LockGuard lock(transientPath());
    const std::string to = persistent ? persistentPath() : transientPath();
    const std::string from = persistent ? transientPath() : persistentPath();
    if (!lock.locked()) return false;
    const std::optional<std::string> contents = fileContents(from);
    if (!contents) return fileExists(to);
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
    if (!lock.locked()) {
        std::fprintf(stderr, "Pasteboard: cannot lock \"%s\": %s\n", name_.c_str(), std::strerror(errno));
        return false;
    }
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
    if (!lock.locked()) return std::nullopt;
    std::optional<Data> bytes = data(type);
    if (!bytes || bytes->empty() || (accept && !accept(*bytes))) return bytes;
    PlistValue::Dictionary item{{kDataKind, Data()}};
    if (!writeItems(path(), name_, {{type, PlistValue(std::move(item))}})) return std::nullopt;
    return bytes;
}

}  // namespace platform
