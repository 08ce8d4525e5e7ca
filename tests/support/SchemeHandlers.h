// URL scheme handlers registered for a test the freedesktop way, in XDG folders of the test's own.
#pragma once
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <string>

#include "support/TemporaryFolder.h"

namespace kite {
namespace test {

// GIO reads the XDG variables once per process, so one set of folders serves
// every test of the binary; tests keep apart by registering schemes of their own.
class SchemeHandlers {
public:
    static SchemeHandlers& instance() {
        static SchemeHandlers handlers;
        return handlers;
    }

    // Registers a .desktop entry whose command line is `command` followed by
    // the URL, as the default handler of the scheme (as "gio mime" would).
    void registerHandler(const std::string& scheme, const std::string& command) {
        const std::string name = "stargrid-test-" + scheme + ".desktop";
        folder_.put("data/applications/" + name,
                    "[Desktop Entry]\nType=Application\nName=" + scheme + " handler\nExec=" + command +
                        " %u\nNoDisplay=true\nMimeType=x-scheme-handler/" + scheme + ";\n");
        mimeapps_ += "x-scheme-handler/" + scheme + "=" + name + "\n";
        folder_.put("config/mimeapps.list", "[Default Applications]\n" + mimeapps_);
    }

    const std::string& path() const { return folder_.path(); }

    // GIO notices a registration on its own thread: waits, bounded, until the
    // probe answers as expected.
    template <typename Probe>
    static bool waitUntil(Probe probe, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!probe()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            ::usleep(5000);
        }
        return true;
    }

private:
    SchemeHandlers() : folder_("stargrid-xdg") {
        setenv("XDG_DATA_HOME", (folder_.path() + "/data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (folder_.path() + "/config").c_str(), 1);
        // No handler of the machine's own may answer for a test scheme.
        setenv("XDG_DATA_DIRS", (folder_.path() + "/system-data").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (folder_.path() + "/system-config").c_str(), 1);
        // GIO watches the folders that exist when it first looks, and takes
        // a registration made later into account shortly after.
        folder_.put("data/applications/.keep", "");
        folder_.put("config/.keep", "");
    }

    TemporaryFolder folder_;
    std::string mimeapps_;
};

// A named pipe a launched handler writes what it got into; the test reads it
// with a bounded wait.
class RecordPipe {
public:
    explicit RecordPipe(const std::string& path) : path_(path) {
        ::unlink(path_.c_str());
        if (::mkfifo(path_.c_str(), 0600) == 0) fd_ = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    }
    ~RecordPipe() {
        if (fd_ >= 0) ::close(fd_);
        ::unlink(path_.c_str());
    }
    RecordPipe(const RecordPipe&) = delete;
    RecordPipe& operator=(const RecordPipe&) = delete;

    const std::string& path() const { return path_; }

    // Everything one writer wrote, once it closes its end; nothing after the timeout.
    std::optional<std::string> read(std::chrono::milliseconds timeout) {
        std::string text;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        bool writerSeen = false;
        while (fd_ >= 0) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return std::nullopt;
            pollfd entry{fd_, POLLIN, 0};
            if (::poll(&entry, 1, int(left.count())) <= 0) continue;
            char buffer[4096];
            const ssize_t got = ::read(fd_, buffer, sizeof buffer);
            if (got > 0) {
                writerSeen = true;
                text.append(buffer, std::size_t(got));
            } else if (got == 0 && writerSeen) {
                return text;
            }
        }
        return std::nullopt;
    }

private:
    std::string path_;
    int fd_ = -1;
};

}  // namespace test
}  // namespace kite
