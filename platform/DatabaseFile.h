// The SQLite databases kept for the player (the statistics module's, the local game server's): their
// file made ready before SQLite opens it, and how SQLite is to open it. No SQLite type here: each caller
// owns its connection.
#pragma once
#include <optional>
#include <string>
#include <vector>

namespace platform {

// The journals SQLite keeps beside a database, by the suffix of their names.
inline constexpr const char* kDatabaseJournalSuffixes[] = {"-journal", "-wal", "-shm"};

struct DatabaseOpening {
    // The name to give SQLite: the folders above the file resolved, so that its no-follow flag refuses
    // a link at the file itself only.
    std::string path;
    // SQLite's VFS by name: empty for its default, "unix-dotfile" where the file takes no record locks.
    std::string vfs;
    // Run first, in order: they set the journal (a write-ahead log, or the rollback journal where there
    // are no record locks, which a write-ahead log's shared memory needs).
    std::vector<std::string> journalStatements;
    // Where the file takes no record locks (NFS without its lock service), the line that says what is
    // done instead; empty elsewhere.
    std::string withoutRecordLocks;
    // There too, the dot-lock SQLite keeps beside the file (a folder), which a killed process leaves
    // behind; empty elsewhere.
    std::string dotLock;
};

// Why the journals beside the database at `path` make it unusable (one that is no regular file, or another
// user's), looked at only, never through a link; empty when none does.
std::string refusalOfDatabaseJournals(const std::string& path);

// Makes the database at `path` ready: a regular file of its own (made when missing, never through a
// link at its name; links above it are followed), its owner's only (0600), as are the journals SQLite
// keeps beside it, which must be regular files too (SQLite gives a journal it makes the database's
// mode); the file and its journals are this user's (another user's is refused, never narrowed). Whether
// the file takes record locks is asked here, on a descriptor of its own, before SQLite has it open:
// closing any descriptor of a file drops this process's record locks on it. Nothing, with `reason`
// saying why ("it is a link", "a folder", "FILE-wal: it is a link", "it belongs to user N", the system's
// text...), when it cannot be used; a file it cannot be used for is not made.
//
// With `onlyThisProcess` (no other process opens the database: its folder is claimed by this one, or by the
// launcher that started it for this; or the local server's own claim on the file found the server that had
// it open before gone), a dot-lock left beside a file that takes no record locks is a killed
// run's, and is removed the first time the file is made ready in this process; left there it would keep the
// database locked for good.
std::optional<DatabaseOpening> prepareDatabaseFile(const std::string& path, std::string* reason,
                                                   bool onlyThisProcess = false);

}  // namespace platform
