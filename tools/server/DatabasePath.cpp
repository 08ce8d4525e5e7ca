#include "tools/server/DatabasePath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/DatabaseFile.h"
#include "platform/PrintableText.h"
#include "platform/StoredFile.h"

namespace stargrid_server {
namespace {

using platform::printableText;

// The first 16 bytes of every SQLite database, its terminating zero included.
constexpr char kSqliteHeader[] = "SQLite format 3";

// The folder the path names its file in, as written ("." for a bare name).
std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// No file at the path (lstat failed with `error`): why none can be made there, or empty when one can be.
std::string refusalOfMissing(const std::string& path, int error) {
    const std::string folder = folderOf(path);
    struct stat seen {};
    if (::stat(folder.c_str(), &seen) != 0) {
        const int why = errno;
        return "its folder " + printableText(folder) +
               (why == ENOENT ? std::string(" does not exist") : ": " + std::string(std::strerror(why)));
    }
    if (!S_ISDIR(seen.st_mode)) return "its folder " + printableText(folder) + " is not a folder";
    return error == ENOENT ? "" : std::strerror(error);
}

// An existing regular file: empty (SQLite makes its tables in it) or beginning as a database does. Read only,
// so that another program's file named by mistake keeps its mode.
std::string refusalOfContent(const std::string& path) {
    std::string why;
    const int fd = platform::openRegularFile(path, O_RDONLY, platform::LinkAtFile::Refuse, &why);
    if (fd < 0) return why;
    char header[sizeof kSqliteHeader] = {};
    std::size_t have = 0;
    while (have < sizeof header) {
        const ssize_t got = ::read(fd, header + have, sizeof header - have);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) why = std::strerror(errno);
        if (got <= 0) break;
        have += static_cast<std::size_t>(got);
    }
    ::close(fd);
    if (!why.empty() || have == 0) return why;
    const bool database = have == sizeof header && std::memcmp(header, kSqliteHeader, sizeof header) == 0;
    return database ? "" : "file is not a database";
}

// Another user's file is not the server's to narrow or write, and a claim made beside it would keep its
// owner's server off: refused before anything is made.
std::string refusalOfOwner(const struct stat& seen) {
    return seen.st_uid == ::geteuid() ? "" : "it belongs to user " + std::to_string(seen.st_uid);
}


}  // namespace

std::string refusalOfDatabasePath(const std::string& path) {
    struct stat seen {};
    std::string why;
    if (::lstat(path.c_str(), &seen) != 0) {
        why = refusalOfMissing(path, errno);
    } else {
        // Looked at before anything is opened: opening a device may do something.
        why = platform::notRegular(seen.st_mode);
        if (why.empty()) why = refusalOfOwner(seen);
    }
    // A journal beside the database that is no regular file, or another user's, would refuse it once claimed.
    if (why.empty()) why = platform::refusalOfDatabaseJournals(path);
    if (why.empty() && S_ISREG(seen.st_mode)) why = refusalOfContent(path);
    return why.empty() ? "" : printableText(path) + ": " + why;
}

}  // namespace stargrid_server
