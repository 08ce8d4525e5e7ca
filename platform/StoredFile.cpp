// Reading, narrowing and setting aside the files kept for the player.
#include "platform/StoredFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace platform {
namespace {

std::atomic<int> refusedLinkError{0};
std::atomic<int> refusedNoReplaceError{0};

StoredFileRead failed(int error, const std::string& why, std::string* reason) {
    if (reason) *reason = why;
    errno = error;
    return StoredFileRead::Failed;
}

int hardLink(const char* from, const char* to) {
    if (const int error = refusedLinkError.load()) {
        errno = error;
        return -1;
    }
    return ::link(from, to);
}

// Moves `from` to `to` unless `to` is there: by a rename that refuses to replace, or, where the file
// system does not have that, by a rename made only after `to` was seen missing.
int renameWithoutReplacing(const char* from, const char* to) {
    int result;
    if (const int error = refusedNoReplaceError.load()) {
        errno = error;
        result = -1;
    } else {
        result = ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
    }
    if (result == 0 || (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)) return result;
    struct stat existing;
    if (::lstat(to, &existing) == 0) {
        errno = EEXIST;
        return -1;
    }
    if (errno != ENOENT) return -1;
    return ::rename(from, to);
}

// Hard links are missing (or used up) on this file system: FAT, exFAT, some FUSE folders.
bool withoutHardLinks(int error) { return error == EPERM || error == EOPNOTSUPP || error == EXDEV || error == EMLINK; }

// Changes the bits of a regular file or folder, never of what a link points to.
int changeModeHere(const char* path, mode_t mode) { return ::fchmodat(AT_FDCWD, path, mode, AT_SYMLINK_NOFOLLOW); }

}  // namespace

std::string notRegular(unsigned int mode) {
    if (S_ISREG(mode)) return "";
    if (S_ISLNK(mode)) return "it is a link";
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "not a regular file (a FIFO)";
    if (S_ISSOCK(mode)) return "not a regular file (a socket)";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "not a regular file (a device)";
    return "not a regular file";
}

std::string refusedLink(int folder, const std::string& path, int error) {
    struct stat info;
    if ((error != ELOOP && error != ENOTDIR) || ::fstatat(folder, path.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISLNK(info.st_mode))
        return "";
    return notRegular(info.st_mode);
}

namespace {

// The one open of openRegularFile and openRegularFileOrDevice: without blocking, then looked at.
int openFileOfKind(int folder, const std::string& path, int flags, LinkAtFile links, std::string* reason,
                   unsigned int mode, bool devices) {
    auto refuse = [reason](int error, const std::string& why) {
        if (reason) *reason = why;
        errno = error;
        return -1;
    };
    auto taken = [devices](mode_t kind) { return S_ISREG(kind) || (devices && S_ISCHR(kind)); };
    // Without blocking: opening a FIFO would otherwise wait for a peer that never comes.
    const int nofollow = links == LinkAtFile::Refuse ? O_NOFOLLOW : 0;
    const int fd = ::openat(folder, path.c_str(), flags | nofollow | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
    struct stat info;
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) return refuse(error, std::strerror(error));
        if (std::string link = nofollow ? refusedLink(folder, path, error) : ""; !link.empty())
            return refuse(ELOOP, link);
        if (error == EISDIR) return refuse(EISDIR, "a folder");
        // A socket (or a device without a driver) cannot even be opened.
        if (error == ENXIO && ::fstatat(folder, path.c_str(), &info, 0) == 0 && !taken(info.st_mode))
            return refuse(EINVAL, notRegular(info.st_mode));
        return refuse(error, std::strerror(error));
    }
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return refuse(error, std::strerror(error));
    }
    if (!taken(info.st_mode)) {
        ::close(fd);
        return refuse(S_ISDIR(info.st_mode) ? EISDIR : EINVAL, notRegular(info.st_mode));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

}  // namespace

int openRegularFile(const std::string& path, int flags, LinkAtFile links, std::string* reason, unsigned int mode) {
    return openFileOfKind(AT_FDCWD, path, flags, links, reason, mode, false);
}

int openRegularFile(int folder, const std::string& path, int flags, LinkAtFile links, std::string* reason,
                    unsigned int mode) {
    return openFileOfKind(folder, path, flags, links, reason, mode, false);
}

int openRegularFileOrDevice(const std::string& path, int flags, LinkAtFile links, std::string* reason,
                            unsigned int mode) {
    return openFileOfKind(AT_FDCWD, path, flags, links, reason, mode, true);
}

StoredFileRead readStoredFile(const std::string& path, std::string& bytes, std::size_t limit, std::string* reason,
                              LinkAtFile links) {
    std::string why;
    const int fd = openRegularFile(path, O_RDONLY, links, &why);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) return StoredFileRead::Missing;
        return failed(errno, why, reason);
    }
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        return failed(error, std::strerror(error), reason);
    }
    // One byte past the limit is enough to know the file is too large; a file that grows while it
    // is read stops there too. Room for what the file holds is taken once.
    const std::size_t most = limit < std::numeric_limits<std::size_t>::max() ? limit + 1 : limit;
    if (info.st_size > 0) bytes.reserve(bytes.size() + std::min(static_cast<std::size_t>(info.st_size), most));
    char buffer[16384];
    ssize_t got;
    while (bytes.size() < most && (got = ::read(fd, buffer, std::min(sizeof buffer, most - bytes.size()))) != 0) {
        if (got < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            return failed(error, std::strerror(error), reason);
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return StoredFileRead::Read;
}

std::string pathWithFolderResolved(const std::string& path) {
    const std::string::size_type slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    char* resolved = ::realpath(folder.c_str(), nullptr);
    if (!resolved || name.empty()) {
        std::free(resolved);
        return path;
    }
    std::string result = resolved;
    std::free(resolved);
    return (result == "/" ? result : result + "/") + name;
}

std::optional<std::string> setDamagedFileAside(const std::string& path) {
    constexpr int kMaxCopies = 100;
    bool hardLinks = true;
    for (int copy = 0; copy < kMaxCopies; ++copy) {
        std::string aside = path + ".damaged" + (copy == 0 ? std::string() : "." + std::to_string(copy));
        // link() refuses an existing name, so an earlier copy is never replaced; without hard links
        // the rename refuses it as well.
        int moved = -1;
        if (hardLinks) {
            moved = hardLink(path.c_str(), aside.c_str());
            if (moved == 0) {
                ::unlink(path.c_str());
            } else if (withoutHardLinks(errno)) {
                hardLinks = false;
            }
        }
        if (!hardLinks) moved = renameWithoutReplacing(path.c_str(), aside.c_str());
        if (moved == 0) {
            // The copy holds what the file held, which was the owner's only. A file system without
            // modes (FAT) keeps what it has.
            changeModeHere(aside.c_str(), 0600);
            return aside;
        }
        if (errno != EEXIST) return std::nullopt;
    }
    errno = EEXIST;
    return std::nullopt;
}

bool narrowMode(const std::string& path, unsigned int mode) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0) return false;
    if (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) return true;
    const mode_t current = info.st_mode & 07777;
    return (current & ~mode) == 0 || changeModeHere(path.c_str(), current & mode) == 0;
}

void refuseHardLinksForTesting(int linkError, int noReplaceRenameError) {
    refusedLinkError = linkError;
    refusedNoReplaceError = noReplaceRenameError;
}

}  // namespace platform
