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

namespace platform {
namespace {

// How often a claim held elsewhere is tried again while a patience lasts.
constexpr std::chrono::milliseconds kRetry{20};

// Descriptors the claims of this process hold: never adopted a second time.
std::mutex heldMutex;
std::vector<int> held;

bool heldHere(int fd) {
    std::lock_guard<std::mutex> lock(heldMutex);
    return std::find(held.begin(), held.end(), fd) != held.end();
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

// Descriptors this process inherited on the folder (none of its own claims'), each kept from the
// programs this process starts: a launcher's lock must not outlive the game in them.
std::vector<int> inheritedOn(const struct stat& folder) {
    std::vector<int> found;
    DIR* descriptors = opendir("/proc/self/fd");
    if (!descriptors) return found;
    while (const dirent* entry = readdir(descriptors)) {
        char* end = nullptr;
        const long number = std::strtol(entry->d_name, &end, 10);
        const int fd = static_cast<int>(number);
        if (end == entry->d_name || *end != '\0' || fd == dirfd(descriptors) || heldHere(fd)) continue;
        struct stat other;
        if (fstat(fd, &other) != 0 || other.st_dev != folder.st_dev || other.st_ino != folder.st_ino) continue;
        const int flags = fcntl(fd, F_GETFD);
        if (flags >= 0) fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
        found.push_back(fd);
    }
    closedir(descriptors);
    return found;
}

enum class Outcome { Taken, Duplicate, Held, Failed };

struct Attempt {
    Outcome outcome = Outcome::Failed;
    int fd = -1;
    std::string identity;
    std::string error;
};

// Locks one folder through a read-only descriptor of the folder itself, which needs no write access.
Attempt lockFolder(const std::string& folder, const std::vector<std::string>& claimed) {
    Attempt attempt;
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0) {
        attempt.error = "cannot open " + folder + ": " + std::strerror(errno);
        if (fd >= 0) close(fd);
        attempt.identity = FolderClaim::identityOf(folder);
        return attempt;
    }
    attempt.identity = identityText(info);
    if (std::find(claimed.begin(), claimed.end(), attempt.identity) != claimed.end()) {
        close(fd);
        attempt.outcome = Outcome::Duplicate;
        return attempt;
    }
    const std::vector<int> inherited = inheritedOn(info);
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        attempt.outcome = Outcome::Taken;
        attempt.fd = fd;
        return attempt;
    }
    const int lockError = errno;
    close(fd);
    if (lockError != EWOULDBLOCK) {
        attempt.error = "cannot lock " + folder + ": " + std::strerror(lockError);
        return attempt;
    }
    // flock locks belong to the open file, so the launcher's descriptor relocks.
    for (const int candidate : inherited) {
        if (flock(candidate, LOCK_EX | LOCK_NB) == 0) {
            attempt.outcome = Outcome::Taken;
            attempt.fd = candidate;
            return attempt;
        }
    }
    attempt.outcome = Outcome::Held;
    return attempt;
}

}  // namespace

FolderClaim::Result FolderClaim::takeOnce(const std::vector<std::string>& folders) {
    std::unique_ptr<FolderClaim> claim(new FolderClaim());
    std::vector<int>& fds = claim->fds_;
    std::vector<std::string>& identities = claim->identities_;
    Result result;
    std::vector<std::string> heldElsewhere;
    std::vector<std::string> failed;
    for (const std::string& folder : folders) {
        Attempt attempt = lockFolder(folder, identities);
        switch (attempt.outcome) {
            case Outcome::Duplicate: break;
            case Outcome::Taken: {
                fds.push_back(attempt.fd);
                identities.push_back(attempt.identity);
                std::lock_guard<std::mutex> lock(heldMutex);
                held.push_back(attempt.fd);
                break;
            }
            case Outcome::Held: heldElsewhere.push_back(attempt.identity); break;
            case Outcome::Failed:
                if (result.error.empty()) result.error = attempt.error;
                if (!attempt.identity.empty()) failed.push_back(attempt.identity);
                break;
        }
    }
    // A game elsewhere outranks a folder that cannot be locked: this launch is then its second one.
    if (!heldElsewhere.empty()) {
        result.state = State::HeldElsewhere;
        result.error.clear();
        result.others = std::move(heldElsewhere);
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

FolderClaim::~FolderClaim() {
    std::lock_guard<std::mutex> lock(heldMutex);
    for (const int fd : fds_) {
        held.erase(std::remove(held.begin(), held.end(), fd), held.end());
        close(fd);
    }
}

}  // namespace platform
