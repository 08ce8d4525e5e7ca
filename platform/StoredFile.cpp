// Reading, narrowing and setting aside the files kept for the player.
#include "platform/StoredFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

StoredFileRead readStoredFile(const std::string& path, std::string& bytes, std::size_t limit) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT || errno == ENOTDIR ? StoredFileRead::Missing : StoredFileRead::Failed;
    char buffer[16384];
    ssize_t got;
    // A file without end (a device) stops at the limit too.
    while (bytes.size() <= limit && (got = ::read(fd, buffer, sizeof buffer)) != 0) {
        if (got < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            errno = error;
            return StoredFileRead::Failed;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return StoredFileRead::Read;
}

std::optional<std::string> setDamagedFileAside(const std::string& path) {
    constexpr int kMaxCopies = 100;
    for (int copy = 0; copy < kMaxCopies; ++copy) {
        std::string aside = path + ".damaged" + (copy == 0 ? std::string() : "." + std::to_string(copy));
        // link() refuses an existing name, so an earlier copy is never replaced.
        if (::link(path.c_str(), aside.c_str()) == 0) {
            ::unlink(path.c_str());
            // The copy holds what the file held, which was the owner's only.
            ::chmod(aside.c_str(), 0600);
            return aside;
        }
        if (errno != EEXIST) return std::nullopt;
    }
    return std::nullopt;
}

bool narrowMode(const std::string& path, unsigned int mode) {
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return false;
    const mode_t current = info.st_mode & 07777;
    return (current & ~mode) == 0 || ::chmod(path.c_str(), current & mode) == 0;
}

}  // namespace platform
