// The per-user folders of the XDG base directories.
#include "platform/UserFolders.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

// Every missing folder of the path is made the owner's only, as the base
// directories' rules ask; the game's own folder is narrowed to that too, should
// an older version have left it open to others.
std::string folderUnder(const char* variable, const char* fallback) {
    std::string base;
    if (const char* value = std::getenv(variable); value && *value == '/') {
        base = value;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home ? home : "/tmp") + fallback;
    }
    const std::string folder = base + "/stargrid";
    if (!makeFolders(folder)) return folder;
    if (::chmod(folder.c_str(), 0700) != 0) {
        std::fprintf(stderr, "UserFolders: cannot narrow %s: %s\n", folder.c_str(), std::strerror(errno));
    }
    return folder;
}

}  // namespace

bool makeFolders(const std::string& folder) {
    if (folder.empty()) return true;
    for (std::string::size_type slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const std::string prefix = folder.substr(0, slash);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
            std::fprintf(stderr, "UserFolders: cannot make %s: %s\n", prefix.c_str(), std::strerror(errno));
            return false;
        }
        if (slash == std::string::npos) return true;
    }
}

std::string documentsFolder() { return folderUnder("XDG_DATA_HOME", "/.local/share"); }
std::string configFolder() { return folderUnder("XDG_CONFIG_HOME", "/.config"); }

}  // namespace platform
