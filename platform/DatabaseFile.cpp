// Making the player's SQLite databases ready for SQLite.
#include "platform/DatabaseFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

#include "platform/PrintableText.h"
#include "platform/StoredFile.h"

namespace platform {
namespace {

// Why record locks cannot be taken on the file, or empty when they can. SQLite's default VFS locks with
// them; NFS without its lock service answers each with ENOLCK. A lock another process holds shows that
// they can.
std::string whyNoRecordLocks(int fd) {
    struct flock probe {};
    probe.l_type = F_RDLCK;
    probe.l_whence = SEEK_SET;
    probe.l_len = 1;
    if (::fcntl(fd, F_SETLK, &probe) == 0) {
        probe.l_type = F_UNLCK;
        ::fcntl(fd, F_SETLK, &probe);
        return "";
    }
    return errno == EAGAIN || errno == EACCES || errno == EINTR ? "" : std::strerror(errno);
}

// The files this process has made ready, by device and inode, with whether they take record locks. SQLite
// may hold one of them open (a second connection, or one the caller kept), so it is not opened again:
// closing that descriptor would drop the locks SQLite holds on it.
std::mutex preparedMutex;
std::map<std::pair<dev_t, ino_t>, std::string> prepared;  // the reason there are no record locks, or ""

// Why the file cannot be taken as the database, or empty when it is ready; `noLocks` says why it takes
// no record locks, or is empty when it does; `first` is set when this process had not made it ready yet.
std::string claimDatabase(const std::string& path, std::string& noLocks, bool& first) {
    struct stat seen {};
    if (::lstat(path.c_str(), &seen) == 0 && S_ISREG(seen.st_mode)) {
        std::lock_guard<std::mutex> lock(preparedMutex);
        if (const auto found = prepared.find({seen.st_dev, seen.st_ino}); found != prepared.end()) {
            noLocks = found->second;
            return narrowMode(path, 0600) ? "" : std::strerror(errno);
        }
    }
    first = true;
    std::string why;
    const int fd = openRegularFile(path, O_RDWR | O_CREAT, LinkAtFile::Refuse, &why, 0600);
    if (fd < 0) return why;
    if (::fstat(fd, &seen) != 0) {
        why = std::strerror(errno);
    } else if (seen.st_uid != ::geteuid()) {
        // Another user's file is theirs: neither narrowed nor written.
        why = "it belongs to user " + std::to_string(seen.st_uid);
    } else if ((seen.st_mode & 0777) != 0600 && ::fchmod(fd, 0600) != 0) {
        why = std::strerror(errno);
    } else {
        noLocks = whyNoRecordLocks(fd);
    }
    ::close(fd);
    if (why.empty()) {
        std::lock_guard<std::mutex> lock(preparedMutex);
        prepared[{seen.st_dev, seen.st_ino}] = noLocks;
    }
    return why;
}

// Why a journal beside the database makes it unusable (not a regular file, another user's), or empty.
// Journals are looked at, never opened, for the reason above; with `narrow`, one found open to others is
// narrowed, never through a link.
std::string refusalOfJournals(const std::string& path, bool narrow) {
    for (const char* suffix : kDatabaseJournalSuffixes) {
        const std::string journal = path + suffix;
        struct stat seen {};
        if (::lstat(journal.c_str(), &seen) != 0) {
            if (errno == ENOENT) continue;
            return printableText(journal) + ": " + std::strerror(errno);
        }
        if (!S_ISREG(seen.st_mode)) return printableText(journal) + ": " + notRegular(seen.st_mode);
        if (seen.st_uid != ::geteuid())
            return printableText(journal) + ": it belongs to user " + std::to_string(seen.st_uid);
        if (narrow && !narrowMode(journal, 0600)) return printableText(journal) + ": " + std::strerror(errno);
    }
    return "";
}

}  // namespace

std::string refusalOfDatabaseJournals(const std::string& path) { return refusalOfJournals(path, false); }

std::optional<DatabaseOpening> prepareDatabaseFile(const std::string& path, std::string* reason,
                                                   bool onlyThisProcess) {
    std::string noLocks;
    bool first = false;
    // Journals that are no files of their own are refused before the database is made: no empty one is
    // left behind.
    std::string why = refusalOfJournals(path, false);
    if (why.empty()) why = claimDatabase(path, noLocks, first);
    if (why.empty()) why = refusalOfJournals(path, true);
    if (!why.empty()) {
        if (reason) *reason = why;
        return std::nullopt;
    }
    DatabaseOpening opening;
    opening.path = pathWithFolderResolved(path);
    if (noLocks.empty()) {
        opening.journalStatements = {"PRAGMA journal_mode=WAL"};
        return opening;
    }
    // A dot-lock needs no record lock. A file left in WAL mode is read once alone (exclusive locking keeps
    // the log's index in memory) and turned to the rollback journal.
    opening.vfs = "unix-dotfile";
    opening.dotLock = path + ".lock";
    // SQLite's dot-lock is a folder beside the file; only an empty one is removed.
    if (onlyThisProcess && first) ::rmdir(opening.dotLock.c_str());
    opening.journalStatements = {"PRAGMA locking_mode=EXCLUSIVE", "PRAGMA journal_mode=DELETE",
                                 "PRAGMA locking_mode=NORMAL"};
    opening.withoutRecordLocks = printableText(path) + " takes no record locks (" + noLocks +
                                 "), as on NFS without its lock service: it is locked with a dot-lock file instead, "
                                 "and kept with a rollback journal";
    return opening;
}

}  // namespace platform
