// Pasteboards as files of typed items under the user's runtime folder.
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
#include <sstream>

#include "platform/AtomicFile.h"
#include "platform/PlistBinary.h"
#include "platform/PlistXml.h"

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

PlistValue::Dictionary readItems(const std::string& path, const std::string& name) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return {};
    std::ostringstream contents;
    contents << file.rdbuf();
    const std::string text = contents.str();
    if (text.empty()) return {};
    std::string error;
    std::optional<PlistValue> items = decodePlistXml(text, &error);
    if (!items || !items->asDictionary()) {
        std::fprintf(stderr, "Pasteboard: \"%s\" is damaged (%s); it reads as empty\n", name.c_str(),
                     items ? "not a dictionary" : error.c_str());
        return {};
    }
    return *items->asDictionary();
}

bool writeItems(const std::string& path, const PlistValue::Dictionary& items) {
    return writeFileAtomically(path, encodePlistXml(PlistValue(items)));
}

}  // namespace

std::string Pasteboard::folder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string path = runtime && *runtime ? std::string(runtime) + "/stargrid-pasteboards"
                                           : "/tmp/stargrid-pasteboards-" + std::to_string(::getuid());
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "Pasteboard: cannot make the folder %s: %s\n", path.c_str(), std::strerror(errno));
    }
    return path;
}

Pasteboard Pasteboard::general() { return Pasteboard("general", folder() + "/general"); }

std::optional<Pasteboard> Pasteboard::named(const std::string& name, bool create) {
    Pasteboard pasteboard(name, folder() + "/" + fileNameFor(name));
    if (fileExists(pasteboard.path_)) return pasteboard;
    if (!create) return std::nullopt;
    LockGuard lock(pasteboard.path_);
    if (!fileExists(pasteboard.path_) && !writeItems(pasteboard.path_, {})) {
        std::fprintf(stderr, "Pasteboard: cannot make \"%s\": %s\n", name.c_str(), std::strerror(errno));
        return std::nullopt;
    }
    return pasteboard;
}

std::optional<Pasteboard::Item> Pasteboard::item(const std::string& type) const {
    PlistValue::Dictionary items = readItems(path_, name_);
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
        const std::string xml = encodePlistXml(value);
        return Data(xml.begin(), xml.end());
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
    return decodePlist(bytes->data(), bytes->size());
}

bool Pasteboard::replaceItems(const std::string& type, const char* kind, PlistValue value) {
    LockGuard lock(path_);
    PlistValue::Dictionary item{{kind, std::move(value)}};
    if (lock.locked() && writeItems(path_, {{type, PlistValue(std::move(item))}})) return true;
    std::fprintf(stderr, "Pasteboard: cannot write \"%s\": %s\n", name_.c_str(), std::strerror(errno));
    return false;
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
    LockGuard lock(path_);
    if (!lock.locked()) return std::nullopt;
    std::optional<Data> bytes = data(type);
    if (!bytes || bytes->empty() || (accept && !accept(*bytes))) return bytes;
    PlistValue::Dictionary item{{kDataKind, Data()}};
    if (!writeItems(path_, {{type, PlistValue(std::move(item))}})) {
        std::fprintf(stderr, "Pasteboard: cannot wipe \"%s\": %s\n", name_.c_str(), std::strerror(errno));
        return std::nullopt;
    }
    return bytes;
}

}  // namespace platform
