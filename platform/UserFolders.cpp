// The per-user folders of the XDG base directories.
#include "platform/UserFolders.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

#include "platform/StoredFile.h"

namespace platform {

namespace {

// A line about the player's folders is said once a process: the folders are asked for at every
// store's use, and a folder that cannot be made stays so for the run.
void sayOnce(const std::string& line) {
    static std::mutex mutex;
    static std::set<std::string> said;
    std::lock_guard<std::mutex> lock(mutex);
    if (said.insert(line).second) std::fprintf(stderr, "%s\n", line.c_str());
}

// A home must be absolute, and the root folder is nobody's home: files there would be everyone's.
bool usableHome(const char* path) { return path && path[0] == '/' && std::strspn(path, "/") != std::strlen(path); }

std::string baseFolder(const char* variable, const char* fallback) {
    if (const char* value = std::getenv(variable); value && *value == '/') return value;
    const std::string home = homeFolder();
    return home.empty() ? std::string() : home + fallback;
}

// Every missing folder of the path is made the owner's only, as the base
// directories' rules ask; the game's own folder is narrowed to that too, should
// an older version have left it open to others. Narrowing only takes bits away (a
// folder its owner closed further stays so) and never acts through a link.
std::string folderUnder(const char* variable, const char* fallback) {
    const std::string base = baseFolder(variable, fallback);
    if (base.empty()) {
        // Nothing is made anywhere else: every file of the game is then out of reach, and says so.
        sayOnce(std::string("UserFolders: no home folder (HOME and the passwd entry name none), and ") + variable +
                " is unset");
        return "/nonexistent/stargrid";
    }
    const std::string folder = base + "/stargrid";
    if (!makeFolders(folder)) return folder;
    if (!narrowMode(folder, 0700)) sayOnce("UserFolders: cannot narrow " + folder + ": " + std::strerror(errno));
    return folder;
}

// Why the folder is not the player's own session folder, or empty when it is (narrowed if it was open).
std::string refusalOfRuntime(const std::string& folder) {
    struct stat info;
    if (::lstat(folder.c_str(), &info) != 0) return std::strerror(errno);
    if (S_ISLNK(info.st_mode)) return "it is a link";
    if (!S_ISDIR(info.st_mode)) return "it is not a folder";
    if (info.st_uid != ::geteuid()) return "it belongs to user " + std::to_string(info.st_uid);
    if ((info.st_mode & 077) != 0 && ::chmod(folder.c_str(), info.st_mode & 0700) != 0)
        return std::string("it is open to others and cannot be narrowed: ") + std::strerror(errno);
    return "";
}

}  // namespace

std::string refusalOfPlayersFolder(const struct stat& folder) {
    if (folder.st_uid != ::geteuid()) return "it belongs to user " + std::to_string(folder.st_uid);
    if ((folder.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(folder.st_mode & 07777));
        return std::string("it is open to others (mode ") + mode + ")";
    }
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

bool makeFolders(const std::string& folder) {
    if (folder.empty()) return true;
    for (std::string::size_type slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string prefix = folder.substr(0, slash);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
            sayOnce("UserFolders: cannot make " + prefix + ": " + std::strerror(errno));
            return false;
        }
        if (slash == std::string::npos) return true;
    }
}

std::string documentsFolder() { return folderUnder("XDG_DATA_HOME", "/.local/share"); }
std::string configFolder() { return folderUnder("XDG_CONFIG_HOME", "/.config"); }

std::string runtimeFolder() {
    std::string folder;
    std::string refusal;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        folder = runtime;
        if (folder[0] != '/') refusal = "it is not an absolute path";
    } else {
        const std::string cache = baseFolder("XDG_CACHE_HOME", "/.cache");
        if (cache.empty()) {
            refusal = "XDG_RUNTIME_DIR is unset and there is no home folder";
        } else {
            folder = cache + "/stargrid/runtime";
            // Made before it is looked at: a folder someone else made first is refused below.
            if (::mkdir(folder.c_str(), 0700) != 0 && errno == ENOENT) makeFolders(folder);
        }
    }
    if (refusal.empty()) refusal = refusalOfRuntime(folder);
    if (refusal.empty()) return folder;
    sayOnce("UserFolders: the runtime folder " + folder + " is refused: " + refusal);
    return "";
}

}  // namespace platform
