#include "platform/FolderClaim.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace platform {
namespace {

// Descriptors the claims of this process hold: never adopted a second time.
std::mutex heldMutex;
std::vector<int> held;

bool heldHere(int fd) {
    std::lock_guard<std::mutex> lock(heldMutex);
    return std::find(held.begin(), held.end(), fd) != held.end();
}

// A descriptor this process inherited on the same file whose open file holds the lock (flock
// locks belong to the open file, so relocking through it succeeds); -1 when there is none.
int inheritedHolder(int own) {
    struct stat lock;
    if (fstat(own, &lock) != 0) return -1;
    DIR* folder = opendir("/proc/self/fd");
    if (!folder) return -1;
    int holder = -1;
    while (const dirent* entry = readdir(folder)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == own || fd == dirfd(folder) || heldHere(static_cast<int>(fd)))
            continue;
        struct stat other;
        if (fstat(static_cast<int>(fd), &other) != 0 || other.st_dev != lock.st_dev || other.st_ino != lock.st_ino)
            continue;
        if (flock(static_cast<int>(fd), LOCK_EX | LOCK_NB) == 0) {
            holder = static_cast<int>(fd);
            break;
        }
    }
    closedir(folder);
    return holder;
}

}  // namespace

FolderClaim::Result FolderClaim::take(const std::string& folder) {
    Result result;
    const std::string path = folder + "/" + kLockName;
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        result.error = "cannot open " + path + ": " + std::strerror(errno);
        return result;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int lockError = errno;
        const int inherited = lockError == EWOULDBLOCK ? inheritedHolder(fd) : -1;
        close(fd);
        if (inherited < 0) {
            if (lockError == EWOULDBLOCK) {
                result.state = State::HeldElsewhere;
            } else {
                result.error = "cannot lock " + path + ": " + std::strerror(lockError);
            }
            return result;
        }
        // Programs the game starts (a URL's handler, the web window's helper) must not hold it on.
        fcntl(inherited, F_SETFD, FD_CLOEXEC);
        fd = inherited;
    }
    result.state = State::Taken;
    result.claim.reset(new FolderClaim(fd, path));
    std::lock_guard<std::mutex> lock(heldMutex);
    held.push_back(fd);
    return result;
}

FolderClaim::~FolderClaim() {
    {
        std::lock_guard<std::mutex> lock(heldMutex);
        held.erase(std::remove(held.begin(), held.end(), fd_), held.end());
    }
    close(fd_);
}

}  // namespace platform
