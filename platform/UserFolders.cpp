// The per-user folders of the XDG base directories, and the session's runtime folder.
#include "platform/UserFolders.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/PrintableText.h"
#include "platform/SaidOnce.h"
#include "platform/StoredFile.h"

namespace platform {

namespace {

struct BaseDirectory {
    const char* variable;
    const char* underHome;  // its default under the home
    const char* what;       // what the game's folder in it is called in lines about it
};
constexpr BaseDirectory kData{"XDG_DATA_HOME", "/.local/share", "data"};
constexpr BaseDirectory kConfig{"XDG_CONFIG_HOME", "/.config", "config"};
constexpr BaseDirectory kCache{"XDG_CACHE_HOME", "/.cache", "cache"};
constexpr char kGameFolder[] = "stargrid";
constexpr char kRuntimeAdvice[] = "; point XDG_RUNTIME_DIR at a folder of your own, mode 0700";

// A home must be absolute, and the root folder is nobody's home: files there would be everyone's.
bool usableHome(const char* path) { return path && path[0] == '/' && std::strspn(path, "/") != std::strlen(path); }

std::string octal(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// The player's folders found fit this process, by path: while a path leads to the same folder with the
// same owner and mode, it is neither made, narrowed nor checked again.
struct FoundFit {
    std::string path;
    dev_t device;
    ino_t inode;
    uid_t owner;
    mode_t mode;
};
std::mutex foundMutex;
std::vector<FoundFit> foundFit;

bool sameAsFound(const FoundFit& fit, const struct stat& info) {
    return fit.device == info.st_dev && fit.inode == info.st_ino && fit.owner == info.st_uid &&
           fit.mode == info.st_mode;
}

void rememberFit(const std::string& path, const struct stat& info) {
    std::lock_guard<std::mutex> lock(foundMutex);
    const FoundFit fit{path, info.st_dev, info.st_ino, info.st_uid, info.st_mode};
    for (FoundFit& known : foundFit) {
        if (known.path == path) {
            known = fit;
            return;
        }
    }
    foundFit.push_back(fit);
}

bool foundBefore(const std::string& path, const struct stat& info) {
    std::lock_guard<std::mutex> lock(foundMutex);
    for (const FoundFit& known : foundFit)
        if (known.path == path) return sameAsFound(known, info);
    return false;
}

// Why the base directory of the game's folder cannot hold it, when it is there but is no folder: the
// variable (or its default) names a file. Empty otherwise, the trouble then said where it is met.
std::string baseThatIsNoFolder(const char* variable) {
    const std::string base = baseFolderPath(variable);
    struct stat info;
    if (base.empty() || ::stat(base.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return "";
    const char* value = std::getenv(variable);
    if (value && *value == '/') return std::string(variable) + " names a file, not a folder: " + printableText(base);
    return std::string(variable) + " is unset, and its default " + printableText(base) + " is a file, not a folder";
}

// The game's folder under the base directory, held open and checked there. Without `missing`, one that
// is not there is made; with it, a missing one (or a missing base directory) only sets it. Every
// other trouble is said once.
HeldFolder openGameFolder(const BaseDirectory& base, bool* missing) {
    const std::string path = gameFolderPath(base.variable);
    if (path.empty()) {
        sayOnce(std::string("UserFolders: no home folder (HOME and the passwd entry name none), and ") + base.variable +
                " is unset");
        return {};
    }
    std::string refusal;
    if (HeldFolder again = HeldFolder::playersFolder(path, refusal, true)) return again;
    if (std::string why = baseThatIsNoFolder(base.variable); !why.empty()) {
        sayOnce("UserFolders: " + why);
        return {};
    }
    struct stat info;
    if (missing && ::lstat(path.c_str(), &info) != 0 && errno == ENOENT) {
        *missing = true;
        return {};
    }
    // Made before it is looked at: a folder someone else made first is refused below, as it is.
    if (!missing && !makeFolders(path)) return {};
    const HeldFolder above = HeldFolder::open(path.substr(0, path.size() - std::strlen(kGameFolder) - 1), refusal);
    HeldFolder folder = above ? above.folder(kGameFolder, !missing, true, refusal) : HeldFolder();
    if (!folder)
        sayOnce(std::string("UserFolders: the ") + base.what + " folder " + printableText(path) +
                " is refused: " + refusal);
    return folder;
}

// Why the runtime folder may not be used, or empty when it may. Nothing is changed: the folder is the
// session's, or in the game's cache folder.
std::string refusalOfRuntime(const HeldFolder& folder) {
    struct stat info;
    if (::fstat(folder.descriptor(), &info) != 0) return std::strerror(errno);
    if (std::string refusal = refusalOfPlayersFolder(info); !refusal.empty()) return refusal;
    // Whoever may rename what is in the folder above could have put another folder in its place.
    struct stat parent;
    const int above = ::openat(folder.descriptor(), "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
    const bool seen = above >= 0 && ::fstat(above, &parent) == 0;
    const int error = errno;
    if (above >= 0) ::close(above);
    if (!seen) return std::string("the folder it is in cannot be looked at: ") + std::strerror(error);
    if (parent.st_uid != ::geteuid() && parent.st_uid != 0)
        return "the folder it is in belongs to user " + std::to_string(parent.st_uid) + ", who can swap it for another";
    if ((parent.st_mode & 022) != 0 && (parent.st_mode & S_ISVTX) == 0)
        return "the folder it is in is open to others without the sticky bit (mode " + octal(parent.st_mode) +
               "), so they can swap it for another";
    return "";
}

}  // namespace

HeldFolder::~HeldFolder() {
    if (fd_ >= 0) ::close(fd_);
}

HeldFolder::HeldFolder(HeldFolder&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) { other.fd_ = -1; }

HeldFolder& HeldFolder::operator=(HeldFolder&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = other.fd_;
        other.fd_ = -1;
        path_ = std::move(other.path_);
    }
    return *this;
}

std::string HeldFolder::reach(const std::string& entry) const {
    return "/proc/self/fd/" + std::to_string(fd_) + (entry.empty() ? "" : "/" + entry);
}

HeldFolder HeldFolder::open(const std::string& path, std::string& refusal) {
    // Only a way in: a folder above the game's needs no more than to be passed through.
    const int fd = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) return HeldFolder(fd, path);
    refusal = errno == ENOTDIR ? "it is not a folder" : std::strerror(errno);
    return {};
}

HeldFolder HeldFolder::folder(const std::string& name, bool make, bool narrow, std::string& refusal) const {
    if (make && ::mkdirat(fd_, name.c_str(), 0700) != 0 && errno != EEXIST) {
        refusal = std::string("it cannot be made: ") + std::strerror(errno);
        return {};
    }
    return checked(fd_, name, pathOf(name), narrow, refusal);
}

HeldFolder HeldFolder::playersFolder(const std::string& path, std::string& refusal, bool onlyFoundBefore) {
    HeldFolder found(::open(path.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC), path);
    struct stat info;
    if (found && ::fstat(found.fd_, &info) == 0 && foundBefore(path, info)) return found;
    if (onlyFoundBefore) return {};
    return checked(AT_FDCWD, path, path, false, refusal);
}

HeldFolder HeldFolder::checked(int folder, const std::string& name, std::string path, bool narrow,
                               std::string& refusal) {
    HeldFolder found(::openat(folder, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC), std::move(path));
    struct stat info;
    if (!found) {
        const int error = errno;
        refusal = refusedLink(folder, name, error);
        const bool link = !refusal.empty();
        if (!link) {
            const bool there = error == ENOTDIR && ::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
            refusal = there ? "it is not a folder" : std::strerror(error);
        }
        errno = link ? ELOOP : error;
        return {};
    }
    if (::fstat(found.fd_, &info) != 0) {
        refusal = std::strerror(errno);
        return {};
    }
    // Only bits are taken (a folder its owner closed further stays so), and only from the player's own.
    if (narrow && info.st_uid == ::geteuid() && (info.st_mode & 077) != 0) {
        if (::chmod(found.reach("").c_str(), info.st_mode & 0700) != 0) {
            refusal = std::string("it is open to others and cannot be narrowed: ") + std::strerror(errno);
            return {};
        }
        info.st_mode &= ~static_cast<mode_t>(077);
    }
    refusal = refusalOfPlayersFolder(info);
    if (!refusal.empty()) {
        errno = EPERM;
        return {};
    }
    rememberFit(found.path_, info);
    return found;
}

std::string refusalOfFolder(const struct stat& folder, unsigned int othersBits, bool rootTrusted) {
    if (folder.st_uid != ::geteuid() && !(rootTrusted && folder.st_uid == 0))
        return "it belongs to user " + std::to_string(folder.st_uid);
    if ((folder.st_mode & othersBits & 077) != 0) return "it is open to others (mode " + octal(folder.st_mode) + ")";
    return "";
}

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); usableHome(home)) return home;
    const std::string entry = passwdHome();
    return usableHome(entry.c_str()) ? entry : "";
}

std::string passwdHome() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_dir)
        return "";
    return found->pw_dir;
}

std::string baseFolderPath(const char* variable) {
    const char* underHome = "";
    for (const BaseDirectory* base : {&kData, &kConfig, &kCache}) {
        if (std::strcmp(base->variable, variable) == 0) underHome = base->underHome;
    }
    if (const char* value = std::getenv(variable); value && *value == '/') return value;
    std::string home = homeFolder();
    if (home.empty()) return home;
    home.erase(home.find_last_not_of('/') + 1);
    return home + underHome;
}

std::string gameFolderPath(const char* variable) {
    std::string base = baseFolderPath(variable);
    if (base.empty()) return base;
    // One slash between the parts, whatever the variable ends with.
    base.erase(base.find_last_not_of('/') + 1);
    return base + "/" + kGameFolder;
}

bool makeFolders(const std::string& folder) {
    if (folder.empty()) return true;
    for (std::string::size_type slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string prefix = folder.substr(0, slash);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
            // The part before this one is there, but is no folder.
            const int error = errno;
            const std::string above = prefix.substr(0, prefix.find_last_of('/'));
            sayOnce("UserFolders: cannot make " + printableText(prefix) + ": " +
                    (error == ENOTDIR ? printableText(above) + " is a file, not a folder" : std::strerror(error)));
            return false;
        }
        if (slash == std::string::npos) return true;
    }
}

std::string documentsFolder() { return openGameFolder(kData, nullptr).path(); }
std::string configFolder() { return openGameFolder(kConfig, nullptr).path(); }
HeldFolder openDocumentsFolder() { return openGameFolder(kData, nullptr); }

std::string cacheFolder(bool make) {
    bool missing = false;
    const HeldFolder folder = openGameFolder(kCache, make ? nullptr : &missing);
    return missing ? gameFolderPath(kCache.variable) : folder.path();
}

HeldFolder openRuntimeFolder() {
    std::string path, refusal;
    HeldFolder folder;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        path = runtime;
        // A link there is followed: the folder is the session's, not the game's.
        if (path[0] != '/') {
            refusal = "it is not an absolute path";
        } else {
            folder = HeldFolder::open(path, refusal);
        }
    } else {
        const HeldFolder cache = openGameFolder(kCache, nullptr);  // what is wrong with it is said for it
        if (!cache) {
            sayOnce(
                "UserFolders: there is no runtime folder: XDG_RUNTIME_DIR is unset, and there is no cache "
                "folder to hold one");
            return {};
        }
        path = cache.pathOf("runtime");
        folder = cache.folder("runtime", true, false, refusal);
    }
    if (folder) refusal = refusalOfRuntime(folder);
    if (refusal.empty()) return folder;
    // The folder is not the game's to change: the player is told where a fit one comes from.
    sayOnce("UserFolders: the runtime folder " + printableText(path) + " is refused: " + refusal + kRuntimeAdvice);
    return {};
}

std::string runtimeFolder() { return openRuntimeFolder().path(); }

}  // namespace platform
