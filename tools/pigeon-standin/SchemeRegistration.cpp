// The stand-in's scheme handler registration.
#include "SchemeRegistration.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace standin {
namespace {

constexpr char kEntryName[] = "stargrid-pigeon-standin.desktop";
const char* const kSchemes[] = {"pigeon", "pigeonapi"};

std::string xdgFolder(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    if (value && value[0] == '/') return value;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/" + fallback;
}

std::string entryPath() { return xdgFolder("XDG_DATA_HOME", ".local/share") + "/applications/" + kEntryName; }
std::string mimeappsPath() { return xdgFolder("XDG_CONFIG_HOME", ".config") + "/mimeapps.list"; }

std::vector<std::string> lines(const std::string& path) {
    std::vector<std::string> result;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) result.push_back(line);
    return result;
}

bool isOurDefault(const std::string& line) {
    for (const char* scheme : kSchemes) {
        if (line.rfind(std::string("x-scheme-handler/") + scheme + "=", 0) == 0) return true;
    }
    return false;
}

// Writes through a temporary file and a rename, so that a reader never sees half a file.
bool replaceFile(const std::string& path, const std::string& text) {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
    const std::string temporary = path + ".new";
    {
        std::ofstream file(temporary, std::ios::trunc);
        file << text;
        if (!file.flush()) return false;
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) std::fprintf(stderr, "pigeon-standin: cannot write %s: %s\n", path.c_str(), error.message().c_str());
    return !error;
}

// mimeapps.list without our defaults, then (when `ours` is set) with them at
// the top of [Default Applications].
bool rewriteDefaults(bool ours) {
    std::ostringstream text;
    bool sectionSeen = false;
    std::string section;
    for (const std::string& line : lines(mimeappsPath())) {
        if (!line.empty() && line[0] == '[') section = line;
        if (section == "[Default Applications]" && isOurDefault(line)) continue;
        text << line << "\n";
        if (line == "[Default Applications]" && ours && !sectionSeen) {
            sectionSeen = true;
            for (const char* scheme : kSchemes) text << "x-scheme-handler/" << scheme << "=" << kEntryName << "\n";
        }
    }
    if (ours && !sectionSeen) {
        text << "[Default Applications]\n";
        for (const char* scheme : kSchemes) text << "x-scheme-handler/" << scheme << "=" << kEntryName << "\n";
    }
    return replaceFile(mimeappsPath(), text.str());
}

// Desktop entries quote arguments with double quotes, escaping \ " ` $.
std::string quotedForExec(const std::string& argument) {
    std::string quoted = "\"";
    for (char c : argument) {
        if (c == '\\' || c == '"' || c == '`' || c == '$') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

bool installSchemeHandler(const std::string& executable) {
    const std::string entry =
        "[Desktop Entry]\nType=Application\nName=Pigeon (stand-in)\nExec=" + quotedForExec(executable) +
        " %u\nNoDisplay=true\nMimeType=x-scheme-handler/pigeon;x-scheme-handler/pigeonapi;\n";
    return replaceFile(entryPath(), entry) && rewriteDefaults(true);
}

bool uninstallSchemeHandler() {
    std::error_code ignored;
    std::filesystem::remove(entryPath(), ignored);
    return rewriteDefaults(false);
}

}  // namespace standin
