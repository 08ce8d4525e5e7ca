// The files a program keeps for its player: read whole, narrowed to their owner, set aside when damaged.
#pragma once
#include <cstddef>
#include <limits>
#include <optional>
#include <string>

namespace platform {

enum class StoredFileRead { Read, Missing, Failed };

// Every byte of the file into `bytes`; past `limit` it stops reading, so a caller holding more than
// its limit knows the file is too large without having read it all. Missing when
// there is no such file; Failed (with errno set) when it is there but cannot be read (EISDIR: it
// is a folder): its values are out of reach, not gone, so a caller must not save over it.
StoredFileRead readStoredFile(const std::string& path, std::string& bytes,
                              std::size_t limit = std::numeric_limits<std::size_t>::max());

// Moves a file that cannot be taken to "<path>.damaged" (".damaged.1", ".damaged.2"... when that
// exists), so a person can look at it and the next save does not replace it; an earlier copy is
// never replaced. The copy is the owner's only (0600), whatever mode the file had. The name it
// now has, or nothing (with errno set) when it could not be moved.
std::optional<std::string> setDamagedFileAside(const std::string& path);

// Takes every permission bit beyond `mode` from a file or folder found with more, as an older
// version may have left it open to others. False (with errno set) when they cannot be taken.
bool narrowMode(const std::string& path, unsigned int mode);

}  // namespace platform
