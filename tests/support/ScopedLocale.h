// Switches one locale category of the process (as a library calling setlocale would) for the scope.
// A locale that is not installed is compiled into a scratch folder LOCPATH points at.
#pragma once
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <string>

namespace kite {
namespace test {

class ScopedLocale {
public:
    // For example (LC_NUMERIC, "de_DE", "UTF-8"): a decimal comma; (LC_CTYPE, "tr_TR", "UTF-8"): an 'I'
    // that std::tolower leaves as it is.
    ScopedLocale(int category, const std::string& language, const std::string& charset) : category_(category) {
        const char* previous = std::setlocale(category, nullptr);
        saved_ = previous ? previous : "C";
        const std::string name = language + "." + charset;
        if (std::setlocale(category, name.c_str()) != nullptr) {
            active_ = true;
            return;
        }
        char folder[] = "/tmp/kite-locale-XXXXXX";
        if (mkdtemp(folder) == nullptr) return;
        folder_ = folder;
        const std::string command =
            "localedef -i " + language + " -f " + charset + " " + folder_ + "/" + name + " >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) return;
        const char* oldPath = std::getenv("LOCPATH");
        hadLocPath_ = oldPath != nullptr;
        if (oldPath) oldLocPath_ = oldPath;
        setenv("LOCPATH", folder_.c_str(), 1);
        active_ = std::setlocale(category, name.c_str()) != nullptr;
    }

    ~ScopedLocale() {
        std::setlocale(category_, saved_.c_str());
        if (folder_.empty()) return;
        if (hadLocPath_) {
            setenv("LOCPATH", oldLocPath_.c_str(), 1);
        } else {
            unsetenv("LOCPATH");
        }
        const std::string command = "rm -rf " + folder_;
        (void)std::system(command.c_str());
    }

    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

    bool active() const { return active_; }

private:
    int category_;
    std::string saved_;
    std::string folder_;
    std::string oldLocPath_;
    bool hadLocPath_ = false;
    bool active_ = false;
};

// The player's locale where numbers are written with a decimal comma.
class DecimalComma : public ScopedLocale {
public:
    DecimalComma() : ScopedLocale(LC_NUMERIC, "de_DE", "UTF-8") {}
};

// The player's locale where std::tolower('I') is not 'i'.
class TurkishCase : public ScopedLocale {
public:
    TurkishCase() : ScopedLocale(LC_CTYPE, "tr_TR", "UTF-8") {}
};

}  // namespace test
}  // namespace kite
