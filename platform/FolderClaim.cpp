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
#include <optional>
#include <thread>

#include "platform/ClaimLink.h"
#include "platform/StoredFile.h"
#include "platform/UrlHandoverSocket.h"
#include "platform/UserFolders.h"

namespace platform {
namespace {

// How often a claim held elsewhere is tried again while a patience lasts.
constexpr std::chrono::milliseconds kRetry{20};
// How long a launcher's lock, let go of to be taken on a descriptor of this process's own, is tried for: a
// launch that took it meanwhile finds the link naming a game or the launcher, and lets go.
constexpr std::chrono::seconds kLockHandover{3};
constexpr std::chrono::milliseconds kLockRetry{10};
// The file locked where a folder cannot be (NFS emulates flock() with record locks).
constexpr const char* kLockFileName = "claim.lock";

using State = FolderClaim::State;

// Descriptors the claims of this process hold: never taken for a launcher's a second time.
std::mutex heldMutex;
std::vector<int> held;

bool heldHere(int fd) {
    std::lock_guard<std::mutex> lock(heldMutex);
    return std::find(held.begin(), held.end(), fd) != held.end();
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
// outlive the game in them. The one place /proc's descriptors are looked at.
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

struct Attempt {
    State outcome = State::Failed;
    bool duplicate = false;  // a folder claimed already by another path
    int fd = -1;             // what holds the claim: a locked descriptor, or the claim link's
    HeldClaimLink link;      // the claim link held with it
    std::string identity;
    std::string error;
    FolderClaim::Holder holder;  // HeldElsewhere, HeldOutOfSight, Failed
    std::vector<std::string> notes;
    bool tookOverLeftover = false;
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

// Locks the descriptor, trying again until the patience is over.
bool lockWithin(int fd, std::chrono::steady_clock::duration patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(kLockRetry);
    }
    return true;
}

// Locks the descriptor exclusively without waiting: 0 with the lock here, or the error that says this file system
// cannot lock it. A lock an inherited descriptor of the same file holds (flock locks belong to the open file, and
// relock) is the launcher's, handed down: it is let go there and taken on this descriptor, so that this process
// alone holds it, not whatever else inherited the launcher's (a stray `sleep` of its shell, or a second game it
// started). Another game of the launcher's may take it in that moment, and lets go once it finds the link naming
// the launcher (the table): so it is waited for a while before it counts as held elsewhere.
int lockOn(int fd, const std::vector<int>& inherited, LockHere& lock) {
    lock = LockHere::Taken;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
    if (errno != EWOULDBLOCK) return errno;
    lock = LockHere::Elsewhere;
    struct stat file {};
    if (::fstat(fd, &file) != 0) return 0;
    for (const int candidate : inherited) {
        if (!onFile(candidate, file) || ::flock(candidate, LOCK_EX | LOCK_NB) != 0) continue;
        ::flock(candidate, LOCK_UN);
        if (lockWithin(fd, kLockHandover)) lock = LockHere::HandedDown;
        break;
    }
    return 0;
}

// Locks the folder, else its lock file: the lock here (its descriptor in the attempt once taken), Unavailable
// where this file system takes none (`failures` says why); nothing when that fails the attempt.
std::optional<LockHere> lockFolder(int folder, const std::string& path, const std::vector<int>& inherited,
                                   Attempt& attempt, std::string& failures) {
    LockHere lock;
    int error = lockOn(folder, inherited, lock);
    const auto held = [&attempt, &lock](int fd) {
        if (lock != LockHere::Elsewhere) attempt.fd = fd;
        return lock;
    };
    if (error == 0) return held(folder);
    failures = "cannot lock " + path + ": " + std::strerror(error);
    const std::string lockFile = path + "/" + kLockFileName;
    std::string reason;
    const int file = openRegularFile(folder, kLockFileName, O_RDWR | O_CREAT, LinkAtFile::Refuse, &reason, 0600);
    if (file < 0) {
        attempt.error = failures + "; cannot open " + lockFile + ": " + reason;
        return std::nullopt;
    }
    error = lockOn(file, inherited, lock);
    if (error == 0 && lock != LockHere::Elsewhere) return held(file);
    ::close(file);
    if (error == 0) return lock;
    failures += "; cannot lock " + lockFile + ": " + std::strerror(error);
    if (error == ENOLCK) return LockHere::Unavailable;
    attempt.error = failures;
    return std::nullopt;
}

FolderClaim::Holder holderNamed(const JudgedLink& judged, const std::string& path) {
    FolderClaim::Holder holder;
    holder.names = judged.names;
    holder.folder = path;
    holder.link = path + "/" + kClaimLinkName;
    holder.named = judged.named;
    holder.seen = judged.seen;
    return holder;
}

// A lock first (the folder's, else its lock file's), then the claim link by the table: beside the lock, or alone
// where no lock can be taken (`failures` says why none could), or judged only, to name whoever holds the lock.
// Beside a lock, a link that cannot be made refuses nothing (a folder the player made 0500).
void claimOn(int folder, const std::string& path, const std::vector<int>& inherited, Attempt& attempt) {
    std::string failures;
    const std::optional<LockHere> lock = lockFolder(folder, path, inherited, attempt, failures);
    if (!lock) return;
    const bool locked = *lock == LockHere::Taken || *lock == LockHere::HandedDown;
    if (locked) attempt.outcome = State::Taken;
    if (*lock == LockHere::Elsewhere) attempt.outcome = State::HeldElsewhere;
    attempt.holder = {};
    attempt.holder.folder = path;
    attempt.holder.lockFile = !failures.empty();
    std::string why;
    const std::optional<ProcessIdentity> self = thisProcessIdentity(&why);
    if (!self) {
        if (*lock == LockHere::Unavailable)
            attempt.error = failures + "; cannot make " + path + "/" + kClaimLinkName + ": " + why;
        return;
    }
    // The launcher's link is handed down by an inherited descriptor on it, or beside the inherited lock.
    auto handedDown = [&inherited](const struct stat& link) {
        return std::any_of(inherited.begin(), inherited.end(), [&link](int fd) { return onFile(fd, link); });
    };
    auto gameListens = [&attempt] { return FolderClaim::gameListens(attempt.identity); };
    const Claimant claimant{*self, *lock, handedDown, heldHereOn, gameListens};
    if (*lock == LockHere::Elsewhere) {
        const JudgedLink judged = judgeClaimLink(folder, claimant);
        if (judged.step(*lock) == ClaimStep::Hold) attempt.holder = holderNamed(judged, path);
        return;
    }
    ClaimLinkTaking taking = takeClaimLink(folder, path, claimant);
    attempt.notes.insert(attempt.notes.end(), taking.notes.begin(), taking.notes.end());
    attempt.tookOverLeftover = taking.tookOverLeftover;
    if (taking.taken()) {
        // Alone, the link holds the folder: its descriptor is what a launcher hands down.
        attempt.link = taking.held;
        if (!locked) attempt.fd = taking.held.fd;
        attempt.outcome = State::Taken;
        return;
    }
    if (taking.step == ClaimStep::Hold || taking.step == ClaimStep::HoldOutOfSight) {
        attempt.outcome = taking.step == ClaimStep::Hold ? State::HeldElsewhere : State::HeldOutOfSight;
        attempt.holder = holderNamed(taking.judged, path);
        attempt.holder.listens = taking.listens;
        return;
    }
    if (locked) return;  // the lock claims it alone
    attempt.outcome = State::Failed;
    attempt.holder = holderNamed(taking.judged, path);
    attempt.error = taking.judged.names == LinkNames::Junk ? taking.error : failures + "; " + taking.error;
}

Attempt claimFolder(const std::string& path, const std::vector<std::string>& claimed) {
    Attempt attempt;
    const int folder = openFolder(path, attempt);
    if (folder < 0) return attempt;
    if (std::find(claimed.begin(), claimed.end(), attempt.identity) != claimed.end()) {
        ::close(folder);
        attempt.duplicate = true;
        return attempt;
    }
    const std::vector<int> inherited = inheritedOn(folder, folder);
    claimOn(folder, path, inherited, attempt);
    // A lock taken only to find a claim link naming another holder goes with its descriptor.
    if (attempt.outcome != State::Taken && attempt.fd >= 0 && attempt.fd != folder) ::close(attempt.fd);
    if (attempt.outcome != State::Taken) attempt.fd = -1;
    if (attempt.fd != folder && attempt.link.folder != folder) ::close(folder);
    return attempt;
}

// Whether a link's target names the process `named` names, in any form the game wrote.
bool namesProcess(const std::string& target, const ProcessIdentity& named) {
    const std::optional<ProcessIdentity> other = claimLinkIdentity(target);
    return other ? other->pid == named.pid && other->start == named.start && other->ns == named.ns &&
                       other->boot == named.boot && other->host == named.host
                 : target == named.host + ":" + std::to_string(named.pid);
}

// The target of the folder's claim link, and the link's own; nothing when there is none to read.
std::optional<std::string> claimLinkAt(int folder, struct stat* link = nullptr) {
    char target[512];
    const ssize_t size = ::readlinkat(folder, kClaimLinkName, target, sizeof target);
    if (size <= 0 || static_cast<std::size_t>(size) >= sizeof target) return std::nullopt;
    if (link && ::fstatat(folder, kClaimLinkName, link, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
    return std::string(target, static_cast<std::size_t>(size));
}

// The claim links of the folders that name the process `named` names: what a player removes at once where it cannot
// be checked from here. Only looked at, never taken.
std::vector<std::string> linksNaming(const std::vector<std::string>& folders, const ProcessIdentity& named) {
    std::vector<std::string> links;
    std::vector<std::string> identities;  // two paths to one folder are one folder
    for (const std::string& folder : folders) {
        std::string refusal;
        const HeldFolder held = HeldFolder::playersFolder(folder, refusal);
        struct stat info;
        if (!held || ::fstat(held.descriptor(), &info) != 0) continue;
        const std::string identity = identityText(info);
        if (std::find(identities.begin(), identities.end(), identity) != identities.end()) continue;
        identities.push_back(identity);
        const std::optional<std::string> target = claimLinkAt(held.descriptor());
        if (target && namesProcess(*target, named)) links.push_back(folder + "/" + kClaimLinkName);
    }
    return links;
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
    std::vector<std::string> outOfSight;
    std::vector<std::string> failed;
    std::optional<Holder> unseen;
    // Once a folder is held (in sight or not), the later ones are left alone: two launches that each took one
    // folder's claim link would each find the other's on the next and both give up.
    for (const std::string& folder : folders) {
        if (!heldElsewhere.empty() || unseen) break;
        Attempt attempt = claimFolder(folder, claim->identities_);
        result.notes.insert(result.notes.end(), attempt.notes.begin(), attempt.notes.end());
        if (attempt.duplicate) continue;
        switch (attempt.outcome) {
            case State::Taken: {
                // The folder's descriptor stays open for the link when the lock is not on it.
                const int linkFolder = attempt.link.folder == attempt.fd ? -1 : attempt.link.folder;
                claim->holds_.push_back({attempt.fd, linkFolder, attempt.link});
                claim->identities_.push_back(attempt.identity);
                result.tookOverLeftover = result.tookOverLeftover || attempt.tookOverLeftover;
                std::lock_guard<std::mutex> lock(heldMutex);
                held.push_back(attempt.fd);
                if (linkFolder >= 0) held.push_back(linkFolder);
                if (attempt.link.fd >= 0 && attempt.link.fd != attempt.fd) held.push_back(attempt.link.fd);
                break;
            }
            case State::HeldElsewhere:
                if (heldElsewhere.empty()) result.holder = attempt.holder;
                heldElsewhere.push_back(attempt.identity);
                break;
            case State::HeldOutOfSight:
                if (!unseen) unseen = attempt.holder;
                outOfSight.push_back(attempt.identity);
                break;
            case State::Failed:
                if (result.error.empty()) {
                    result.error = attempt.error;
                    result.holder = attempt.holder;
                }
                if (!attempt.identity.empty()) failed.push_back(attempt.identity);
                break;
        }
    }
    // A game here outranks one out of sight, which outranks a folder that cannot be claimed: this launch
    // is then the game's second one.
    if (!heldElsewhere.empty()) {
        result.state = State::HeldElsewhere;
        result.error.clear();
        result.others = std::move(heldElsewhere);
    } else if (unseen) {
        result.state = State::HeldOutOfSight;
        result.error.clear();
        result.holder = *unseen;
        result.others = std::move(outOfSight);
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
        if (!result.heldOnThisMachine() || now >= deadline) {
            // Looked up once the claim is settled: only advice names them.
            if (result.state == State::HeldOutOfSight) result.holder.links = linksNaming(folders, result.holder.named);
            return result;
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kRetry, deadline - now));
    }
}

std::string FolderClaim::identityOf(const std::string& folder) {
    struct stat info;
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return "";
    return identityText(info);
}

std::optional<std::chrono::steady_clock::duration> FolderClaim::linkAge(const Holder& holder) {
    if (holder.link.empty()) return std::nullopt;
    std::string refusal;
    const HeldFolder folder = HeldFolder::playersFolder(holder.folder, refusal);
    struct stat link;
    const std::optional<std::string> target = folder ? claimLinkAt(folder.descriptor(), &link) : std::nullopt;
    const std::optional<ProcessIdentity> self = thisProcessIdentity();
    // Another link by now names another holder: its age says nothing of this one.
    if (!target || !self || !namesProcess(*target, holder.named)) return std::nullopt;
    const Claimant claimant{*self, LockHere::Elsewhere, {}, {}, {}};
    const std::optional<std::chrono::steady_clock::time_point> made =
        claimLinkMade(folder.descriptor(), link, *target, claimant);
    if (!made) return std::nullopt;
    return std::chrono::steady_clock::now() - *made;
}

std::string FolderClaim::socketName(const std::string& identity) { return "stargrid-" + identity; }

bool FolderClaim::gameListens(const std::string& identity) {
    return !identity.empty() && handover::ownListener(openRuntimeFolder(), socketName(identity) + ".sock");
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
        for (const int fd : {hold.fd, hold.folder, hold.link.fd})
            held.erase(std::remove(held.begin(), held.end(), fd), held.end());
        dropClaimLink(hold.link);
        if (hold.folder >= 0) close(hold.folder);
        if (hold.fd != hold.link.fd) close(hold.fd);
    }
}

}  // namespace platform
