// The stand-in's scheme handler registration.
#include "SchemeRegistration.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sstream>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/PrintableText.h"
#include "platform/StoredFile.h"
#include "platform/UserFolders.h"

namespace standin {
namespace {

constexpr char kEntryName[] = "stargrid-pigeon-standin.desktop";
const char* const kSchemes[] = {"pigeon", "pigeonapi"};
// Far beyond any list of defaults a person keeps; a larger file is not read whole into memory.
constexpr std::size_t kLargestList = 4 << 20;

void say(const std::string& line) { std::fprintf(stderr, "pigeon-standin: %s\n", line.c_str()); }

// A base folder as every part of the game finds it: the variable when absolute, else under the
// player's one home. Empty, said, when there is neither.
std::string xdgFolder(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    if (value && value[0] == '/') return value;
    const std::string home = platform::homeFolder();
    if (home.empty()) say(std::string("no home folder (HOME and the passwd entry name none), and ") + variable +
                          " is unset");
    return home.empty() ? std::string() : home + "/" + fallback;
}

std::string entryPath() {
    const std::string data = xdgFolder("XDG_DATA_HOME", ".local/share");
    return data.empty() ? data : data + "/applications/" + kEntryName;
}
std::string mimeappsPath() {
    const std::string config = xdgFolder("XDG_CONFIG_HOME", ".config");
    return config.empty() ? config : config + "/mimeapps.list";
}

// The file mimeapps.list's lines are kept in: itself, or the file its link names, which is updated
// where it is rather than replaced by a regular file of ours. Empty, said, when a link names nothing.
std::string listFile(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char target[PATH_MAX];
    if (::realpath(path.c_str(), target) == nullptr) {
        say("cannot follow the link " + platform::printableText(path) + ": " + std::strerror(errno) +
            "; it is left as it is");
        return "";
    }
    return target;
}

// The lines of the list, none when there is no file; nothing, said, when it is there but cannot be
// read (a folder, a FIFO, no permission, too large): its defaults are the player's, never replaced
// unread. A FIFO is named instead of waited on.
std::optional<std::vector<std::string>> listLines(const std::string& path) {
    std::string text;
    std::string why;
    switch (platform::readStoredFile(path, text, kLargestList, &why)) {
        case platform::StoredFileRead::Missing: return std::vector<std::string>{};
        case platform::StoredFileRead::Read:
            if (text.size() > kLargestList) why = "it is larger than " + std::to_string(kLargestList >> 20) + " MiB";
            break;
        case platform::StoredFileRead::Failed: break;
    }
    if (!why.empty()) {
        say("cannot read " + platform::printableText(path) + ": " + why + "; it is left as it is");
        return std::nullopt;
    }
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

bool isOurDefault(const std::string& line) {
    for (const char* scheme : kSchemes) {
        if (line.rfind(std::string("x-scheme-handler/") + scheme + "=", 0) == 0) return true;
    }
    return false;
}

// Written to a temporary file of a name of its own beside it, then renamed over it: a reader never
// sees half a file, and installs running at once never take each other's temporary file.
bool replaceFile(const std::string& path, const std::string& text) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    if (!platform::makeFolders(folder)) return false;
    if (platform::writeFileAtomically(path, text)) return true;
    say("cannot write " + platform::printableText(path) + ": " + std::strerror(errno));
    return false;
}

// mimeapps.list without our defaults, then (when `ours` is set) with them at
// the top of [Default Applications].
std::string rewrittenDefaults(const std::vector<std::string>& lines, bool ours) {
    std::ostringstream text;
    bool sectionSeen = false;
    std::string section;
    for (const std::string& line : lines) {
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
    return text.str();
}

// Reads the list before anything is changed, so one that cannot be read leaves everything as it was;
// then `change` runs and the list is written. False when any step fails.
template <typename Change>
bool withDefaults(bool ours, Change change) {
    const std::string list = mimeappsPath();
    const std::string file = list.empty() ? list : listFile(list);
    if (file.empty()) return false;
    const std::optional<std::vector<std::string>> lines = listLines(file);
    if (!lines || !change()) return false;
    return replaceFile(file, rewrittenDefaults(*lines, ours));
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
    return withDefaults(true, [&] {
        const std::string path = entryPath();
        return !path.empty() && replaceFile(path, entry);
    });
}

bool uninstallSchemeHandler() {
    return withDefaults(false, [] {
        const std::string path = entryPath();
        if (path.empty()) return false;
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        return true;
    });
}

}  // namespace standin
