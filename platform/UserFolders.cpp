// The per-user folders of the XDG base directories.
#include "platform/UserFolders.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace platform {

namespace {

std::string folderUnder(const char* variable, const char* fallback) {
    std::string base;
    if (const char* value = std::getenv(variable); value && *value == '/') {
        base = value;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home ? home : "/tmp") + fallback;
    }
    const std::string folder = base + "/stargrid";
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    return folder;
}

}  // namespace

std::string documentsFolder() { return folderUnder("XDG_DATA_HOME", "/.local/share"); }
std::string configFolder() { return folderUnder("XDG_CONFIG_HOME", "/.config"); }

}  // namespace platform
