// The files a program keeps for its player: read whole, narrowed to their owner, set aside when damaged.
#pragma once
#include <cstddef>
#include <limits>
#include <optional>
#include <string>

namespace platform {

enum class StoredFileRead { Read, Missing, Failed };

// Whether a link at the file itself (the last part of its path) is followed or refused. Links above it
// are followed either way: homes reached through links are common.
enum class LinkAtFile { Follow, Refuse };

// What a file of this mode (st_mode, as lstat or fstat saw it) is when it is not a regular file, in the
// words below ("it is a link" for a link); empty for a regular file.
std::string notRegular(unsigned int mode);

// Why an open that refuses a link at the path itself (O_NOFOLLOW) failed with `error`: "it is a link"
// when a link is there (such an open fails with ELOOP on one, an O_PATH | O_DIRECTORY one with ENOTDIR);
// empty otherwise. The path is looked up in `folder` as openat() does (AT_FDCWD: as open() does).
std::string refusedLink(int folder, const std::string& path, int error);

// Opens a file kept for the player, as every reader and writer of such files does: without blocking, so
// a FIFO is never waited on, and only when it is a regular file. The descriptor (close-on-exec, blocking
// again), or -1 with errno set and `reason`, when given, saying why in words: ENOENT or ENOTDIR when it
// is not there; ELOOP "it is a link" (Refuse only); EISDIR "a folder"; EINVAL "not a regular file (a
// FIFO)", "... (a socket)", "... (a device)"; else the system's text. `flags` are open()'s access and
// creation flags (O_RDONLY, O_RDWR | O_CREAT, O_WRONLY | O_APPEND...); `mode` is for a file it makes.
int openRegularFile(const std::string& path, int flags, LinkAtFile links, std::string* reason = nullptr,
                    unsigned int mode = 0600);
// The same for a path taken from a folder held open (openat(): a relative path is looked up in it).
int openRegularFile(int folder, const std::string& path, int flags, LinkAtFile links, std::string* reason = nullptr,
                    unsigned int mode = 0600);

// As openRegularFile, a character device taken too: for a file the user names for the program to write
// to, which may be /dev/null or /dev/full. A FIFO, a socket, a disk or a folder is still refused, never
// waited on.
int openRegularFileOrDevice(const std::string& path, int flags, LinkAtFile links, std::string* reason = nullptr,
                            unsigned int mode = 0600);

// Every byte of the file into `bytes`; past `limit` it stops reading, so a caller holding more than
// its limit knows the file is too large without having read it all. Missing when there is no such
// file; Failed when it is there but cannot be read: its values are out of reach, not gone, so a
// caller must not save over it. Only a regular file (or a link to one, unless `links` refuses it) is
// read: it is opened as openRegularFile opens it, so a FIFO, a socket, a device or a folder is Failed
// at once, never waited on. On Failed, errno is set (EISDIR for a folder, ELOOP for a refused link,
// EINVAL for the other things that are not regular files) and `reason`, when given, says why in words:
// "a folder", "it is a link", "not a regular file (a FIFO)", or the system's text of an I/O error.
StoredFileRead readStoredFile(const std::string& path, std::string& bytes,
                              std::size_t limit = std::numeric_limits<std::size_t>::max(),
                              std::string* reason = nullptr, LinkAtFile links = LinkAtFile::Follow);

// The path with every link above its last part resolved (the folder it is in, as realpath() names it);
// the last part is kept as it is, link or not. For libraries that refuse a link anywhere on a path
// (SQLite's no-follow flag) where only the file itself is to be refused. The path unchanged when its
// folder cannot be resolved: opening it then fails with the reason.
std::string pathWithFolderResolved(const std::string& path);

// Moves a file that cannot be taken to "<path>.damaged" (".damaged.1", ".damaged.2"... when that
// exists), so a person can look at it and the next save does not replace it; an earlier copy is
// never replaced. Where the file system has no hard links (FAT, exFAT, some FUSE folders) it is
// renamed by a rename that refuses to replace. The copy is the owner's only (0600), whatever mode
// the file had (a link is moved as it is, its target left alone). The name it now has, or nothing
// (with errno set: EEXIST once 100 copies are there) when it could not be moved: the caller then
// keeps the file as it is and saves nothing over it.
std::optional<std::string> setDamagedFileAside(const std::string& path);

// Takes every permission bit beyond `mode` from a regular file or folder found with more, as an
// older version may have left it open to others. Only bits are taken, never given. A link is left
// alone (its target is not the program's to change), as is anything that is neither a regular file
// nor a folder: true. False (with errno set) when the bits cannot be taken.
bool narrowMode(const std::string& path, unsigned int mode);

// Test hook: hard links fail with `linkError` (and, when `noReplaceRenameError` is given, renames
// that refuse to replace fail with it), as on a file system without them. 0 gives them back.
void refuseHardLinksForTesting(int linkError, int noReplaceRenameError = 0);

}  // namespace platform
