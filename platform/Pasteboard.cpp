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
#include <thread>

#include "platform/AtomicFile.h"
#include "platform/PlistBinary.h"
#include "platform/PlistXml.h"
#include "platform/PrintableText.h"
#include "platform/SaidOnce.h"
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

// One of a pasteboard's two files, in its folder held open: every use of it goes through the folder
// that was checked. Not there when the folder was refused.
struct Place {
    HeldFolder folder;
    std::string file;

    std::string reach(const std::string& suffix = "") const { return folder.reach(file + suffix); }
    // As the player knows it, for lines about it.
    std::string named(const std::string& suffix = "") const { return folder.pathOf(file + suffix); }
    bool exists() const {
        struct stat info;
        return folder && ::fstatat(folder.descriptor(), file.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
    }
};

// How long a change waits for another program's hold on a pasteboard before it fails.
constexpr std::chrono::milliseconds kLockWait{500};

// Holds the pasteboard's lock file locked for as long as it lives. The lock is waited for a short
// while only: a program that keeps it (or a lock file that is not one) fails the call with a
// reason, never holds the game.
class LockGuard {
public:
    explicit LockGuard(const Place& session) {
        if (session.folder) take(session);  // no folder: said once where it was refused
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
    void take(const Place& session) {
        const std::string lock = session.named(".lock");
        std::string why;
        fd_ = openRegularFile(session.folder.descriptor(), session.file + ".lock", O_RDWR | O_CREAT, LinkAtFile::Refuse,
                              &why, 0600);
        if (fd_ < 0) {
            reason_ = printableText(lock) + ": " + why;
            return;
        }
        const auto deadline = std::chrono::steady_clock::now() + kLockWait;
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EINTR) continue;
            if (errno != EWOULDBLOCK) return fail(printableText(lock) + ": " + std::strerror(errno));
            if (std::chrono::steady_clock::now() >= deadline)
                return fail(printableText(lock) + " is locked by another program");
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
        std::fprintf(stderr, "Pasteboard: cannot lock \"%s\": %s\n", printableText(name).c_str(),
                     lock.reason().c_str());
    return false;
}

// A pasteboard file is no larger than the property-list readers take.
std::size_t largestFile() { return maxBinaryBytes(PlistLimits()); }

// Every byte of a pasteboard's file, or nothing: missing (or no folder), or said in one line why.
std::optional<std::string> fileContents(const Place& place, const std::string& name) {
    if (!place.folder) return std::nullopt;
    std::string bytes, reason;
    // The file is the game's own: a link in its place is not read through.
    switch (readStoredFile(place.reach(), bytes, largestFile(), &reason, LinkAtFile::Refuse)) {
        case StoredFileRead::Missing: return std::nullopt;
        case StoredFileRead::Failed:
            sayOnce("Pasteboard: cannot read \"" + printableText(name) + "\" (" + printableText(place.named()) +
                    "): " + reason);
            return std::nullopt;
        case StoredFileRead::Read: break;
    }
    if (bytes.size() <= largestFile()) return bytes;
    sayOnce("Pasteboard: \"" + printableText(name) + "\" (" + printableText(place.named()) + ") is larger than " +
            std::to_string(largestFile()) + " bytes; it is not read");
    return std::nullopt;
}

PlistValue::Dictionary readItems(const Place& place, const std::string& name) {
    const std::string text = fileContents(place, name).value_or(std::string());
    if (text.empty()) return {};
    std::string error;
    std::optional<PlistValue> items =
        decodePlist(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), &error);
    if (!items || !items->asDictionary()) {
        std::fprintf(stderr, "Pasteboard: \"%s\" is damaged (%s); it reads as empty\n", printableText(name).c_str(),
                     items ? "not a dictionary" : error.c_str());
        return {};
    }
    return *items->asDictionary();
}

// Replaces the file through its folder's descriptor: a link in its place is replaced, not written through.
bool writeItems(const Place& place, const std::string& name, const PlistValue::Dictionary& items) {
    std::string error;
    const std::optional<std::vector<std::uint8_t>> bytes = encodePlistBinary(PlistValue(items), &error);
    if (!bytes) {
        std::fprintf(stderr, "Pasteboard: cannot write \"%s\": %s\n", printableText(name).c_str(), error.c_str());
        return false;
    }
    if (place.folder && writeFileAtomically(place.reach(), std::string(bytes->begin(), bytes->end()), 0600))
        return true;
    std::fprintf(stderr, "Pasteboard: cannot write \"%s\": %s\n", printableText(name).c_str(), std::strerror(errno));
    return false;
}

// The game's own pasteboard folder `name` in the folder, made (0700) when missing and narrowed when found
// open; not held when there is no folder to hold it (`without` says so) or it is not the player's own,
// said once.
HeldFolder pasteboardFolder(const HeldFolder& in, const char* name, const char* without) {
    if (!in) {
        sayOnce(std::string("Pasteboard: ") + without + "; pasteboard calls fail");
        return {};
    }
    std::string refusal;
    HeldFolder folder = in.folder(name, true, true, refusal);
    if (!folder)
        sayOnce("Pasteboard: the folder " + printableText(in.pathOf(name)) + " is refused: " + refusal +
                "; pasteboard calls fail");
    return folder;
}

HeldFolder sessionFolder() {
    return pasteboardFolder(openRuntimeFolder(), "stargrid-pasteboards",
                            "the session's pasteboards have no folder, as the runtime folder is refused");
}

HeldFolder persistentFolderHeld() {
    return pasteboardFolder(openDocumentsFolder(), "pasteboards",
                            "the persistent pasteboards have no folder, as there is no data folder");
}

}  // namespace

// A pasteboard's files for one call: whatever the call does lands in the folders checked at its start.
struct Pasteboard::Files {
    Place session;
    Place persistent;
    // The file the pasteboard lives in now: the persistent one when there is one.
    const Place& current() const { return persistent.exists() ? persistent : session; }
};

std::string Pasteboard::folder() { return sessionFolder().path(); }

std::string Pasteboard::persistentFolder() { return persistentFolderHeld().path(); }

Pasteboard::Files Pasteboard::files() const {
    return Files{Place{sessionFolder(), fileName_}, Place{persistentFolderHeld(), fileName_}};
}

Pasteboard Pasteboard::general() { return Pasteboard("general", "general"); }

std::optional<Pasteboard> Pasteboard::named(const std::string& name, bool create) {
    Pasteboard pasteboard(name, fileNameFor(name));
    const Files files = pasteboard.files();
    if (files.current().exists()) return pasteboard;
    if (!create) return std::nullopt;
    // The lock lives beside the file of the session, wherever the file itself is.
    LockGuard lock(files.session);
    if (!lockedFor(lock, name)) return std::nullopt;
    if (!files.current().exists() && !writeItems(files.session, name, {})) return std::nullopt;
    return pasteboard;
}

bool Pasteboard::isPersistent() const { return Place{persistentFolderHeld(), fileName_}.exists(); }

bool Pasteboard::setPersistent(bool persistent) {
    const Files files = this->files();
    LockGuard lock(files.session);
    const Place& to = persistent ? files.persistent : files.session;
    const Place& from = persistent ? files.session : files.persistent;
    if (!lockedFor(lock, name_) || !to.folder) return false;
    if (!from.exists()) return to.exists();
    const std::optional<std::string> contents = fileContents(from, name_);
    if (!contents) return false;
    // A persistent file is the one readers see: a copy of the session's beside it is stale.
    if (!(persistent && to.exists()) && !writeFileAtomically(to.reach(), *contents, 0600)) {
        std::fprintf(stderr, "Pasteboard: cannot move \"%s\": %s\n", printableText(name_).c_str(),
                     std::strerror(errno));
        return false;
    }
    ::unlinkat(from.folder.descriptor(), from.file.c_str(), 0);
    return true;
}

std::optional<Pasteboard::Item> Pasteboard::item(const Files& files, const std::string& type) const {
    PlistValue::Dictionary items = readItems(files.current(), name_);
    const auto found = items.find(type);
    if (found == items.end()) return std::nullopt;
    const PlistValue::Dictionary* kinds = found->second.asDictionary();
    if (!kinds || kinds->size() != 1) {
        std::fprintf(stderr, "Pasteboard: the \"%s\" item of \"%s\" is damaged\n", printableText(type).c_str(),
                     printableText(name_).c_str());
        return std::nullopt;
    }
    return Item{kinds->begin()->first, kinds->begin()->second};
}

std::optional<Pasteboard::Data> Pasteboard::data(const std::string& type) const {
    const std::optional<Item> found = item(files(), type);
    return found ? dataOf(*found, type) : std::nullopt;
}

std::optional<Pasteboard::Data> Pasteboard::dataOf(const Item& found, const std::string& type) const {
    const auto& [kind, value] = found;
    if (kind == kDataKind && value.asData()) return *value.asData();
    if (kind == kStringKind && value.asString()) return Data(value.asString()->begin(), value.asString()->end());
    if (kind == kPropertyListKind) {
        std::string error;
        std::optional<Data> bytes = encodePlistBinary(value, &error);
        if (bytes) return bytes;
        std::fprintf(stderr, "Pasteboard: the \"%s\" item of \"%s\" cannot be written out: %s\n",
                     printableText(type).c_str(), printableText(name_).c_str(), error.c_str());
        return std::nullopt;
    }
    std::fprintf(stderr, "Pasteboard: the \"%s\" item of \"%s\" is of no known kind\n", printableText(type).c_str(),
                 printableText(name_).c_str());
    return std::nullopt;
}

std::optional<std::string> Pasteboard::string(const std::string& type) const {
    const std::optional<Data> bytes = data(type);
    if (!bytes) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

std::optional<PlistValue> Pasteboard::propertyList(const std::string& type) const {
    const std::optional<Item> found = item(files(), type);
    if (!found) return std::nullopt;
    if (found->kind == kPropertyListKind) return found->value;
    const std::optional<Data> bytes = dataOf(*found, type);
    if (!bytes || bytes->empty()) return std::nullopt;
    std::string error;
    std::optional<PlistValue> value = decodePlist(bytes->data(), bytes->size(), &error);
    if (!value) {
        std::fprintf(stderr, "Pasteboard: the \"%s\" item of \"%s\" is not a property list (%s)\n",
                     printableText(type).c_str(), printableText(name_).c_str(), error.c_str());
    }
    return value;
}

bool Pasteboard::replaceItems(const std::string& type, const char* kind, PlistValue value) {
    const Files files = this->files();
    LockGuard lock(files.session);
    if (!lockedFor(lock, name_)) return false;
    PlistValue::Dictionary item{{kind, std::move(value)}};
    return writeItems(files.current(), name_, {{type, PlistValue(std::move(item))}});
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
    const Files files = this->files();
    LockGuard lock(files.session);
    if (!lockedFor(lock, name_)) return std::nullopt;
    const std::optional<Item> found = item(files, type);
    std::optional<Data> bytes = found ? dataOf(*found, type) : std::nullopt;
    if (!bytes || bytes->empty() || (accept && !accept(*bytes))) return bytes;
    PlistValue::Dictionary item{{kDataKind, Data()}};
    if (!writeItems(files.current(), name_, {{type, PlistValue(std::move(item))}})) return std::nullopt;
    return bytes;
}

}  // namespace platform
