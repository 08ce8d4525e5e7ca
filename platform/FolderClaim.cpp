#include "platform/FolderClaim.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/ClaimLink.h"
#include "platform/StoredFile.h"
#include "platform/UserFolders.h"

namespace platform {
namespace {

// How often a claim held elsewhere is tried again while a patience lasts.
constexpr std::chrono::milliseconds kRetry{20};
// The file locked where a folder cannot be (NFS emulates flock() with record locks).
constexpr const char* kLockFileName = "claim.lock";

// Descriptors the claims of this process hold: never adopted a second time.
std::mutex heldMutex;
std::vector<int> held;

bool heldHere(int fd) {
    std::lock_guard<std::mutex> lock(heldMutex);
    return std::find(held.begin(), held.end(), fd) != held.end();
}

bool sameFile(const struct stat& one, const struct stat& other) {
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

bool onFile(int fd, const struct stat& file) {
    struct stat info;
    return ::fstat(fd, &info) == 0 && sameFile(info, file);
}

// A claim of this process holds the file (a claim link: two claims of one process are two games).
bool heldHereOn(const struct stat& file) {
    std::lock_guard<std::mutex> lock(heldMutex);
    return std::any_of(held.begin(), held.end(), [&file](int fd) { return onFile(fd, file); });
}

std::string identityText(const struct stat& info) {
    // FNV-1a over the device and the inode: short enough for a socket's name, the same by any path.
    std::uint64_t hash = 14695981039346656037ull;
    for (const std::uint64_t value :
         {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)}) {
        for (int byte = 0; byte < 8; ++byte) {
            hash ^= (value >> (8 * byte)) & 0xff;
            hash *= 1099511628211ull;
        }
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

// Descriptors this process inherited on the folder, its lock file or its claim link (none of its own
// claims', nor `fresh`), each kept from the programs this process starts: a launcher's claim must not
// outlive the game in them.
std::vector<int> inheritedOn(int folder, int fresh) {
    std::vector<struct stat> files(3);
    if (::fstat(folder, &files[0]) != 0) return {};
    if (::fstatat(folder, kClaimLinkName, &files[1], AT_SYMLINK_NOFOLLOW) != 0) files[1] = files[0];
    if (::fstatat(folder, kLockFileName, &files[2], AT_SYMLINK_NOFOLLOW) != 0) files[2] = files[0];
    std::vector<int> found;
    DIR* descriptors = opendir("/proc/self/fd");
    if (!descriptors) return found;
    while (const dirent* entry = readdir(descriptors)) {
        char* end = nullptr;
        const long number = std::strtol(entry->d_name, &end, 10);
        const int fd = static_cast<int>(number);
        if (end == entry->d_name || *end != '\0' || fd == dirfd(descriptors) || fd == fresh || heldHere(fd)) continue;
        struct stat other;
        if (::fstat(fd, &other) != 0) continue;
        if (std::none_of(files.begin(), files.end(), [&other](const struct stat& file) { return sameFile(other, file); }))
            continue;
        const int flags = fcntl(fd, F_GETFD);
        if (flags >= 0) fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
        found.push_back(fd);
    }
    closedir(descriptors);
    return found;
}

enum class Outcome { Taken, Duplicate, Held, OtherHost, Failed };

struct Attempt {
    Outcome outcome = Outcome::Failed;
    int fd = -1;          // what holds the claim: a locked descriptor, or the claim link's
    int linkFolder = -1;  // for a link: the folder's descriptor
    std::string identity;
    std::string error;
    std::string host;  // OtherHost
    std::string link;  // OtherHost
};

// The folder itself, never through a link at it, and only the player's own, closed to others: a game
// must not say "already running" for a folder another user holds. Looked at by the one rule of the
// player's folders, which took the game's own as found when they were made. -1 with the attempt's error.
int openFolder(const std::string& folder, Attempt& attempt) {
    std::string refusal;
    const HeldFolder held = HeldFolder::playersFolder(folder, refusal);
    if (!held) {
        const bool refused = errno == ELOOP || errno == EPERM;
        attempt.error = (refused ? "cannot claim " : "cannot open ") + folder + ": " + refusal;
        return -1;
    }
    // The held descriptor only reaches the folder; a lock needs one opened for reading.
    const int fd = ::openat(held.descriptor(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int error = errno;
    struct stat info;
    // One of the player's own that is there but out of reach names itself too: a game on it can be asked.
    if (::fstat(held.descriptor(), &info) == 0) attempt.identity = identityText(info);
    if (fd < 0) attempt.error = "cannot open " + folder + ": " + std::strerror(error);
    return fd;
}

// Locks the descriptor exclusively without waiting. 0 when the attempt is decided: Taken (by it or by
// an inherited descriptor of the same file, since flock locks belong to the open file and relock) or
// Held; otherwise the error, which says this file system cannot lock it.
int lockOn(int fd, const std::vector<int>& inherited, Attempt& attempt) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
        attempt.outcome = Outcome::Taken;
        attempt.fd = fd;
        return 0;
    }
    if (errno != EWOULDBLOCK) return errno;
    struct stat file {};
    const bool known = ::fstat(fd, &file) == 0;
    for (const int candidate : inherited) {
        if (known && onFile(candidate, file) && ::flock(candidate, LOCK_EX | LOCK_NB) == 0) {
            attempt.outcome = Outcome::Taken;
            attempt.fd = candidate;
            return 0;
        }
    }
    attempt.outcome = Outcome::Held;
    return 0;
}

// Whoever a claim link names besides this process holds the folder, however this process locked it.
void heldByLink(int folder, const std::string& path, Attempt& attempt) {
    const ClaimLinkHolder holder = claimLinkHolder(folder);
    if (holder.who == ClaimLinkHolder::Who::LiveHere) attempt.outcome = Outcome::Held;
    if (holder.who == ClaimLinkHolder::Who::OtherHost) {
        attempt.outcome = Outcome::OtherHost;
        attempt.host = holder.host;
        attempt.link = path + "/" + kClaimLinkName;
    }
}

// The claim link, where no lock can be taken at all. `failures` says why none could.
void linkOn(int folder, const std::string& path, const std::vector<int>& inherited, const std::string& failures,
            Attempt& attempt) {
    using Who = ClaimLinkHolder::Who;
    const std::string link = path + "/" + kClaimLinkName;
    // A link that goes between a look and the next try is looked at again.
    for (int round = 0; round < 3; ++round) {
        bool made = makeClaimLink(folder);
        if (!made && errno != EEXIST) {
            attempt.error = failures + "; cannot make " + link + ": " + std::strerror(errno);
            return;
        }
        if (!made) {
            const ClaimLinkHolder holder = claimLinkHolder(folder);
            if (holder.who == Who::Nobody) continue;
            if (holder.who == Who::Unreadable) {
                attempt.error = "cannot use " + link + ": " + holder.reason;
                return;
            }
            if (holder.who == Who::OtherHost) {
                heldByLink(folder, path, attempt);
                return;
            }
            const bool handedDown = std::any_of(inherited.begin(), inherited.end(),
                                                [&holder](int fd) { return onFile(fd, holder.link); });
            const bool nobodys =
                holder.who == Who::DeadHere || (holder.who == Who::ThisProcess && !heldHereOn(holder.link));
            if (!handedDown && !nobodys) {
                attempt.outcome = Outcome::Held;
                return;
            }
            // The launcher's claim, or nobody's: it names this process from now on.
            if (!pointClaimLinkHere(folder)) {
                attempt.error = failures + "; cannot point " + link + " here: " + std::strerror(errno);
                return;
            }
            // Another launch that took it over at the same moment named itself last: it holds it.
            if (claimLinkHolder(folder).who != Who::ThisProcess) {
                attempt.outcome = Outcome::Held;
                return;
            }
        }
        attempt.fd = openClaimLink(folder);
        if (attempt.fd < 0) {
            attempt.error = failures + "; cannot open " + link + ": " + std::strerror(errno);
            dropClaimLink(folder);
            return;
        }
        attempt.outcome = Outcome::Taken;
        attempt.linkFolder = folder;
        return;
    }
    attempt.error = failures + "; " + link + " comes and goes";
}

// b, c and d in turn: the folder's lock, the lock file's, the claim link.
void claimOn(int folder, const std::string& path, const std::vector<int>& inherited, Attempt& attempt) {
    int error = lockOn(folder, inherited, attempt);
    if (error == 0) {
        if (attempt.outcome == Outcome::Taken) heldByLink(folder, path, attempt);
        return;
    }
    std::string failures = "cannot lock " + path + ": " + std::strerror(error);
    const std::string lockFile = path + "/" + kLockFileName;
    std::string reason;
    const int file = openRegularFile(folder, kLockFileName, O_RDWR | O_CREAT, LinkAtFile::Refuse, &reason, 0600);
    if (file < 0) {
        attempt.error = failures + "; cannot open " + lockFile + ": " + reason;
        return;
    }
    error = lockOn(file, inherited, attempt);
    if (error == 0 && attempt.outcome == Outcome::Taken) heldByLink(folder, path, attempt);
    if (attempt.outcome != Outcome::Taken || attempt.fd != file) ::close(file);
    if (error == 0) return;
    failures += "; cannot lock " + lockFile + ": " + std::strerror(error);
    if (error != ENOLCK) {
        attempt.error = failures;
        return;
    }
    linkOn(folder, path, inherited, failures, attempt);
}

Attempt claimFolder(const std::string& path, const std::vector<std::string>& claimed) {
    Attempt attempt;
    const int folder = openFolder(path, attempt);
    if (folder < 0) return attempt;
    if (std::find(claimed.begin(), claimed.end(), attempt.identity) != claimed.end()) {
        ::close(folder);
        attempt.outcome = Outcome::Duplicate;
        return attempt;
    }
    claimOn(folder, path, inheritedOn(folder, folder), attempt);
    // A lock taken only to find a claim link naming another holder goes with the folder's descriptor
    // (or was closed with the lock file's; an inherited one stays the launcher's).
    if (attempt.outcome != Outcome::Taken) attempt.fd = -1;
    if (attempt.fd != folder && attempt.linkFolder != folder) ::close(folder);
    return attempt;
}

}  // namespace

std::vector<std::string> FolderClaim::playersFolders() {
    // Made and checked here, once (the claim takes them as found), what is wrong with them said once;
    // claimed by their paths all the same, so the claim names the folder it cannot take and why.
    documentsFolder();
    configFolder();
    return {gameFolderPath("XDG_DATA_HOME"), gameFolderPath("XDG_CONFIG_HOME")};
}

FolderClaim::Result FolderClaim::takeOnce(const std::vector<std::string>& folders) {
    std::unique_ptr<FolderClaim> claim(new FolderClaim());
    Result result;
    std::vector<std::string> heldElsewhere;
    std::vector<std::string> failed;
    for (const std::string& folder : folders) {
        Attempt attempt = claimFolder(folder, claim->identities_);
        switch (attempt.outcome) {
            case Outcome::Duplicate: break;
            case Outcome::Taken: {
                claim->holds_.push_back({attempt.fd, attempt.linkFolder});
                claim->identities_.push_back(attempt.identity);
                std::lock_guard<std::mutex> lock(heldMutex);
                held.push_back(attempt.fd);
                if (attempt.linkFolder >= 0) held.push_back(attempt.linkFolder);
                break;
            }
            case Outcome::Held: heldElsewhere.push_back(attempt.identity); break;
            case Outcome::OtherHost:
                if (result.host.empty()) {
                    result.host = attempt.host;
                    result.link = attempt.link;
                }
                break;
            case Outcome::Failed:
                if (result.error.empty()) result.error = attempt.error;
                if (!attempt.identity.empty()) failed.push_back(attempt.identity);
                break;
        }
    }
    // A game here outranks one on another host, which outranks a folder that cannot be claimed: this
    // launch is then the game's second one.
    if (!heldElsewhere.empty()) {
        result.state = State::HeldElsewhere;
        result.error.clear();
        result.host.clear();
        result.link.clear();
        result.others = std::move(heldElsewhere);
    } else if (!result.host.empty()) {
        result.state = State::HeldOnAnotherHost;
        result.error.clear();
    } else if (!result.error.empty()) {
        result.others = std::move(failed);
    } else {
        result.state = State::Taken;
        result.claim = std::move(claim);
    }
    return result;
}

FolderClaim::Result FolderClaim::take(const std::vector<std::string>& folders, std::chrono::milliseconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        Result result = takeOnce(folders);
        const auto now = std::chrono::steady_clock::now();
        if (result.state != State::HeldElsewhere || now >= deadline) return result;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kRetry, deadline - now));
    }
}

std::string FolderClaim::identityOf(const std::string& folder) {
    struct stat info;
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return "";
    return identityText(info);
}

bool FolderClaim::handDown(const std::vector<int>& numbers) const {
    if (holds_.empty()) return true;
    if (numbers.size() < holds_.size()) {
        errno = EINVAL;
        return false;
    }
    // Copies above every number first, so that putting one claim's in place never closes another's.
    const int above = *std::max_element(numbers.begin(), numbers.end()) + 1;
    std::vector<int> copies;
    for (const Hold& hold : holds_) copies.push_back(fcntl(hold.fd, F_DUPFD_CLOEXEC, above));
    bool placed = std::find(copies.begin(), copies.end(), -1) == copies.end();
    for (std::size_t i = 0; placed && i < copies.size(); ++i) placed = dup2(copies[i], numbers[i]) >= 0;
    const int error = errno;
    for (const int copy : copies)
        if (copy >= 0) close(copy);
    errno = error;
    return placed;
}

FolderClaim::~FolderClaim() {
    std::lock_guard<std::mutex> lock(heldMutex);
    for (const Hold& hold : holds_) {
        for (const int fd : {hold.fd, hold.folder}) held.erase(std::remove(held.begin(), held.end(), fd), held.end());
        if (hold.folder >= 0) {
            dropClaimLink(hold.folder);
            close(hold.folder);
        }
        close(hold.fd);
    }
}

}  // namespace platform
