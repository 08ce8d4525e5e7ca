// The driver's shader cache folder, checked for room before the driver loads.
#include "platform/ShaderCache.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/PrintableText.h"
#include "platform/UserFolders.h"

namespace platform {
namespace {

const char* nonEmpty(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

bool isFolder(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The folder the cache's files would be made in: the cache's own when it is there, else the closest
// folder on the way to it that exists (the driver makes the rest).
std::string folderToCheck(const std::string& base) {
    if (isFolder(base + "/mesa_shader_cache")) return base + "/mesa_shader_cache";
    std::string path = base;
    while (!path.empty() && !isFolder(path)) {
        const std::string::size_type slash = path.find_last_of('/');
        if (slash == std::string::npos) return ".";
        path.erase(slash == 0 ? 1 : slash);
        if (path == "/") break;
    }
    return path.empty() ? "." : path;
}

// Why the driver may not take the cache's files from the folder: another user could make them or put
// them there (it is another user's, root's aside, or others may make files in it); empty when not.
std::string whoElseWrites(const std::string& folder) {
    struct stat info;
    if (stat(folder.c_str(), &info) != 0) return std::string("it cannot be looked at: ") + std::strerror(errno);
    // Reading the compiled shaders gives nothing away; root may do anything anyway.
    return refusalOfFolder(info, 022, true);
}

// Why the cache may not be kept in the folder; empty when it may.
std::string whyNoCacheIn(const std::string& folder) {
    if (std::string why = whoElseWrites(folder); !why.empty()) return why;
    if (access(folder.c_str(), W_OK | X_OK) != 0) return std::string("it cannot be written: ") + std::strerror(errno);
    struct statvfs room;
    if (statvfs(folder.c_str(), &room) != 0) return std::string("its room cannot be told: ") + std::strerror(errno);
    const unsigned long long free = static_cast<unsigned long long>(room.f_bavail) * room.f_frsize;
    if (free < kShaderCacheRoom)
        return "it has no room (" + std::to_string(free / 1024) + " KiB free, " +
               std::to_string(kShaderCacheRoom >> 20) + " MiB wanted)";
    if (room.f_files > 0 && room.f_favail == 0) return "it has no room (no file can be made there)";
    return std::string();
}

}  // namespace

std::string shaderCacheFolder() {
    // The order the driver takes them in.
    if (const char* dir = nonEmpty("MESA_SHADER_CACHE_DIR")) return dir;
    if (const char* dir = nonEmpty("MESA_GLSL_CACHE_DIR")) return dir;
    if (const char* dir = nonEmpty("XDG_CACHE_HOME")) return dir;
    const std::string home = passwdHome();
    return home.empty() ? std::string() : home + "/.cache";
}

void prepareShaderCache() {
    static bool prepared = false;
    if (prepared) return;
    prepared = true;
    if (std::getenv("MESA_SHADER_CACHE_DISABLE") || std::getenv("MESA_GLSL_CACHE_DISABLE")) return;
    const std::string base = shaderCacheFolder();
    if (base.empty()) return;
    // The cache's own folder is in the player's: whoever may rename what is in that one could swap it.
    std::string folder = folderToCheck(base);
    std::string why = whyNoCacheIn(folder);
    if (why.empty() && folder != base && isFolder(base)) {
        why = whoElseWrites(base);
        if (!why.empty()) folder = base;
    }
    if (why.empty()) return;
    setenv("MESA_SHADER_CACHE_DISABLE", "true", 1);
    std::fprintf(stderr, "platform: the GL driver's shader cache is off for this run: %s, %s\n",
                 printableText(folder).c_str(), why.c_str());
}

}  // namespace platform
