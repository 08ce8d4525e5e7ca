// Switches LC_NUMERIC to a locale whose decimal separator is a comma, for the scope.
#pragma once
#include <clocale>
#include <cstdlib>
#include <string>

#include <unistd.h>

namespace kite {
namespace testing {

class DecimalCommaLocale {
public:
    DecimalCommaLocale() {
        const char* previous = std::setlocale(LC_NUMERIC, nullptr);
        saved_ = previous ? previous : "C";
        if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr) {
            active_ = true;
            return;
        }
        // Not installed: compile it into a scratch folder that LOCPATH points at.
        char folder[] = "/tmp/kite-locale-XXXXXX";
        if (mkdtemp(folder) == nullptr) return;
        folder_ = folder;
        std::string command = "localedef -i de_DE -f UTF-8 " + folder_ + "/de_DE.UTF-8 >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0) return;
        const char* oldPath = std::getenv("LOCPATH");
        hadLocPath_ = oldPath != nullptr;
        if (oldPath) oldLocPath_ = oldPath;
        setenv("LOCPATH", folder_.c_str(), 1);
        active_ = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    }

    ~DecimalCommaLocale() {
        std::setlocale(LC_NUMERIC, saved_.c_str());
        if (!folder_.empty()) {
            if (hadLocPath_) {
                setenv("LOCPATH", oldLocPath_.c_str(), 1);
            } else {
                unsetenv("LOCPATH");
            }
            std::string command = "rm -rf " + folder_;
            (void)std::system(command.c_str());
        }
    }

    DecimalCommaLocale(const DecimalCommaLocale&) = delete;
    DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;

    bool active() const { return active_; }

private:
    std::string saved_;
    std::string folder_;
    std::string oldLocPath_;
    bool hadLocPath_ = false;
    bool active_ = false;
};

}  // namespace testing
}  // namespace kite
