// The per-user folders: the home, the XDG base directories' folders of the game, made on demand,
// the owner's only (0700), and the runtime folder of the player's session, held open while used.
#pragma once
#include <sys/stat.h>

#include <string>
#include <utility>

namespace platform {

// The player's home: HOME when it names an absolute folder other than the root, else the home of
// the user's passwd entry under the same rule; empty when neither does. Never /tmp or the root
// folder, so every part of the system keeps its files in one place whatever HOME says.
std::string homeFolder();
// The home of the user's passwd entry as it stands (what tools that ignore HOME use); empty when none.
std::string passwdHome();

// The XDG base directory `variable` (XDG_DATA_HOME, XDG_CONFIG_HOME or XDG_CACHE_HOME): the variable when
// it holds an absolute path, else its default under the home (~/.local/share, ~/.config, ~/.cache); empty
// without a home. Nothing is looked at or made.
std::string baseFolderPath(const char* variable);

// Where the game's folder under the XDG base directory `variable` (XDG_DATA_HOME, XDG_CONFIG_HOME or
// XDG_CACHE_HOME) is: "$variable/stargrid" when it holds an absolute path, else under the home's default
// for it (~/.local/share, ~/.config, ~/.cache); empty without a home. Nothing is looked at or made.
std::string gameFolderPath(const char* variable);

// $XDG_DATA_HOME/stargrid (default ~/.local/share/stargrid): the phone's Documents. Made (0700) when
// missing. It must be a folder, not a link (links above it are followed), the player's own and closed
// to others: one of the player's own found open loses those bits (never bits its owner took away);
// another user's is never made, narrowed or written in. Otherwise (no home, a base folder that is a
// file, one that cannot be made, one refused) the result is empty, and what is wrong is said once a
// process. Checked once a process: later calls take it as it was found while it stays so.
std::string documentsFolder();
// $XDG_CONFIG_HOME/stargrid (default ~/.config/stargrid), made, checked and narrowed the same way.
std::string configFolder();
// $XDG_CACHE_HOME/stargrid (default ~/.cache/stargrid), checked and narrowed the same way; made only
// when `make` is set (without it, a missing one is named all the same: nothing is in it yet).
std::string cacheFolder(bool make);

// A folder held open: what is done in it lands in the folder that was checked, whatever becomes of
// its path meanwhile (a user who can rename entries of a folder above it could swap it for a link).
class HeldFolder {
public:
    HeldFolder() = default;
    ~HeldFolder();
    HeldFolder(HeldFolder&& other) noexcept;
    HeldFolder& operator=(HeldFolder&& other) noexcept;
    HeldFolder(const HeldFolder&) = delete;
    HeldFolder& operator=(const HeldFolder&) = delete;

    explicit operator bool() const { return fd_ >= 0; }
    int descriptor() const { return fd_; }
    // The folder's path as the player knows it, for the lines that name it (empty when not held).
    const std::string& path() const { return path_; }
    std::string pathOf(const std::string& entry) const { return path_ + "/" + entry; }
    // The entry reached through the descriptor ("/proc/self/fd/N/entry"), for calls that take a path;
    // short enough for a socket's address (108 bytes) however long the folder's own path is.
    std::string reach(const std::string& entry) const;

    // The folder `name` in this one, never through a link: a link, anything but a folder, another user's
    // and one open to others are refused (not held, `refusal` saying why). Made (0700) when missing and
    // `make` is set; one of the player's own found open loses those bits first when `narrow` is set,
    // and is refused as it is when not.
    HeldFolder folder(const std::string& name, bool make, bool narrow, std::string& refusal) const;

    // The folder at the path, links on the way followed; not held (`refusal` saying why) when it cannot
    // be opened or is not a folder. Nothing about its owner is checked.
    static HeldFolder open(const std::string& path, std::string& refusal);

    // The player's folder at the path, by the one rule of the player's folders: the folder itself (a link
    // there is refused, links above it followed), the player's own and closed to others; nothing is made
    // or changed. Not held otherwise, with `refusal` saying why and errno set: the open's (ENOENT, ENOTDIR
    // "it is not a folder"...), ELOOP "it is a link", EPERM for another user's or one open to others.
    // Checked once a process: one found fit at this path before (the game's folders are, once looked at)
    // is taken as it is while the path leads to it with the same owner and mode; with `onlyFoundBefore`,
    // nothing else is taken (and nothing said in `refusal`).
    static HeldFolder playersFolder(const std::string& path, std::string& refusal, bool onlyFoundBefore = false);

private:
    HeldFolder(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    // The entry of `folder` (AT_FDCWD: the path) checked as a player's folder, narrowed first when `narrow`
    // is set; found fit, it is remembered for playersFolder().
    static HeldFolder checked(int folder, const std::string& name, std::string path, bool narrow,
                              std::string& refusal);

    int fd_ = -1;
    std::string path_;
};

// The folder of what lives only while the player's session does (the handover's sockets, the session's
// pasteboards): $XDG_RUNTIME_DIR (a link there is followed: the folder is the session's), or
// "$XDG_CACHE_HOME/stargrid/runtime" (made, 0700) when that is unset, so nothing of the game's lives
// where another user can make it first. It must be a folder, the player's own and closed to others, in
// a folder no other user can rename entries of (the player's or root's, and not open to others without
// the sticky bit). It is never changed: otherwise it is refused, said once a process on standard error
// with the reason and what to do (point XDG_RUNTIME_DIR at a folder of one's own, 0700), and not held.
// Checked on its descriptor, which every use then goes through.
HeldFolder openRuntimeFolder();
// The runtime folder's path, or empty when it is refused.
std::string runtimeFolder();
// The data folder (see documentsFolder) held open; not held when refused.
HeldFolder openDocumentsFolder();

// Who besides the player can get at a folder (as fstat or stat saw it), in the words every line about it
// uses: another user who owns it ("it belongs to user N"; root passes when `rootTrusted`), or others, who
// have any of `othersBits` (077: they may look or write in it; 022: they may make files in it) ("it is
// open to others (mode 0755)"). Empty when nobody can.
std::string refusalOfFolder(const struct stat& folder, unsigned int othersBits, bool rootTrusted);
// Why a folder may not hold the player's data: another user's, root's too, or open to others in any way.
// Empty when it is the player's own and closed to others.
inline std::string refusalOfPlayersFolder(const struct stat& folder) { return refusalOfFolder(folder, 077, false); }

// Makes every missing folder of the path (none for an empty one) the owner's only; false when one
// cannot be made, said on standard error once a process.
bool makeFolders(const std::string& folder);

}  // namespace platform
