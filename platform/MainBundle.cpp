// The application's bundle.
#include "platform/MainBundle.h"

#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/PlistXml.h"
#include "platform/PrintableText.h"

namespace platform {
namespace {

std::string executableDirectory() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return ".";
    const std::string executable(path, std::size_t(length));
    const std::string::size_type slash = executable.rfind('/');
    return slash == std::string::npos ? "." : executable.substr(0, slash);
}

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

std::string mainBundlePath() {
    const char* resources = std::getenv("STARGRID_RESOURCES");
    if (resources && resources[0]) return withoutTrailingSlash(resources);
    return executableDirectory() + "/Resources";
}

std::optional<PlistValue::Dictionary> mainBundleInfoDictionary() {
    const std::string path = mainBundlePath() + "/Info.plist";
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    std::ostringstream text;
    text << file.rdbuf();
    std::string error;
    std::optional<PlistValue> info = decodePlistXml(text.str(), &error);
    if (!info || !info->asDictionary()) {
        std::fprintf(stderr, "MainBundle: \"%s\" holds no dictionary %s\n", printableText(path).c_str(), error.c_str());
        return std::nullopt;
    }
    return *info->asDictionary();
}

}  // namespace platform
