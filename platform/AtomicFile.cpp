// Whole-file replacement through a synced temporary file and rename.
#include "platform/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/StoredFile.h"

namespace platform {
namespace {

// Temporary files are named path + this + six random characters.
constexpr char kTemporarySuffix[] = ".tmp.";

AtomicWriteHook& writeHook() {
    static AtomicWriteHook hook;
    return hook;
}

std::string directoryOf(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Makes the rename itself durable; a failure here is not fatal to the
// write, which has already replaced the file.
void syncDirectory(const std::string& directory) {
    int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

namespace {

bool replaceFile(const std::string& path, const void* bytes, std::size_t size, std::optional<mode_t> forcedMode) {
    if (path.empty() || (size > 0 && bytes == nullptr)) {
        errno = EINVAL;
        return false;
    }
    std::string pattern = path + kTemporarySuffix + "XXXXXX";
    std::vector<char> temporary(pattern.begin(), pattern.end());
    temporary.push_back('\0');
    int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return false;
    const std::string temporaryPath(temporary.data());

    // mkstemp gives 0600; unless a mode is asked for, keep the mode of the
    // file being replaced, or the ordinary 0644 for a new one.
    struct stat existing;
    mode_t mode = forcedMode ? *forcedMode : (::stat(path.c_str(), &existing) == 0) ? (existing.st_mode & 07777) : 0644;
    bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, static_cast<const char*>(bytes), size) && ::fsync(fd) == 0;
    int savedErrno = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        savedErrno = errno;
    }
    if (ok && writeHook()) writeHook()(temporaryPath);
    if (ok && ::rename(temporaryPath.c_str(), path.c_str()) != 0) {
        ok = false;
        savedErrno = errno;
    }
    if (!ok) {
        ::unlink(temporaryPath.c_str());
        errno = savedErrno;
        return false;
    }
    syncDirectory(directoryOf(path));
    return true;
}

}  // namespace

bool writeFileAtomically(const std::string& path, const void* bytes, std::size_t size) {
    return replaceFile(path, bytes, size, std::nullopt);
}

bool writeFileAtomically(const std::string& path, const std::string& contents) {
    return replaceFile(path, contents.data(), contents.size(), std::nullopt);
}

bool writeFileAtomically(const std::string& path, const std::string& contents, unsigned int mode) {
    return replaceFile(path, contents.data(), contents.size(), static_cast<mode_t>(mode));
}

void removeLeftoverTemporaries(const std::string& path) {
    const std::string directory = directoryOf(path);
    const std::string::size_type slash = path.rfind('/');
    const std::string prefix = path.substr(slash == std::string::npos ? 0 : slash + 1) + kTemporarySuffix;
    DIR* dir = ::opendir(directory.c_str());
    if (!dir) return;
    while (dirent* entry = ::readdir(dir)) {
        if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) == 0) {
            ::unlink((directory + "/" + entry->d_name).c_str());
        }
    }
    ::closedir(dir);
}

bool writeFileInPlace(const std::string& path, const void* bytes, std::size_t size, std::string* error) {
    // Opened as the player's files are: a FIFO would hold the run until something reads it.
    std::string why;
    const int fd = openRegularFile(path, O_WRONLY | O_CREAT | O_TRUNC, LinkAtFile::Follow, &why, 0666);
    if (fd < 0) {
        if (error) *error = why;
        return false;
    }
    bool written = writeAll(fd, static_cast<const char*>(bytes), size);
    if (::close(fd) != 0) written = false;
    if (!written && error) *error = std::strerror(errno);
    return written;
}

bool writeAll(int fd, const void* bytes, std::size_t size) {
    const char* next = static_cast<const char*>(bytes);
    while (size > 0) {
        ssize_t written = ::write(fd, next, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        next += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

void setAtomicWriteHookForTesting(AtomicWriteHook hook) { writeHook() = std::move(hook); }

}  // namespace platform
