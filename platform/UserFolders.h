// The per-user folders: the home, the XDG base directories' folders of the game, made on demand,
// the owner's only (0700), and the runtime folder of the player's session.
#pragma once
#include <sys/stat.h>

#include <string>

namespace platform {

// The player's home: HOME when it names an absolute folder other than the root, else the home of
// the user's passwd entry under the same rule; empty when neither does. Never /tmp or the root
// folder, so every part of the system keeps its files in one place whatever HOME says.
std::string homeFolder();
// The home of the user's passwd entry as it stands (what tools that ignore HOME use); empty when none.
std::string passwdHome();

// $XDG_DATA_HOME/stargrid (default ~/.local/share/stargrid): the phone's Documents. Made when
// missing; one found open to others loses those bits (never bits its owner took away, never
// through a link). What goes wrong is said once a process.
std::string documentsFolder();
// $XDG_CONFIG_HOME/stargrid (default ~/.config/stargrid), made and narrowed the same way.
std::string configFolder();

// The folder of what lives only while the player's session does (the handover socket, the
// session's pasteboards): $XDG_RUNTIME_DIR, or "$XDG_CACHE_HOME/stargrid/runtime" (made, 0700) when
// that is unset, so nothing of the game's lives where another user can make it first. It must be a
// folder, not a link, the player's own and closed to others (one of the player's own that is open
// is narrowed); otherwise it is refused, said once a process on standard error with the reason,
// and the result is empty.
std::string runtimeFolder();

// Why a folder (as fstat or lstat saw it) may not hold the player's data: another user's ("it belongs to
// user N"), or open to others ("it is open to others (mode 0755)"). Empty when it is the player's own and
// closed to others.
std::string refusalOfPlayersFolder(const struct stat& folder);

// Makes every missing folder of the path (none for an empty one) the owner's only; false when one
// cannot be made, said on standard error once a process.
bool makeFolders(const std::string& folder);

}  // namespace platform
