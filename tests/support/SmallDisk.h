// A folder on a file system of its own that can be filled up, for tests of a full disk: a small tmpfs
// mounted in a private mount namespace, so only the process that mounts it (a forked child) sees it.
#pragma once
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <utility>

namespace kite {
namespace test {

class SmallDisk {
public:
    // Mounts 64 KiB of tmpfs on the folder (made when missing). Call it in a forked child: the mount
    // namespace becomes the child's own. False when this process may not mount (not root).
    static bool mount(const std::string& folder) {
        ::mkdir(folder.c_str(), 0700);
        return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
               ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k,mode=0700") == 0;
    }

    explicit SmallDisk(std::string folder) : filler_(std::move(folder) + "/.filler") {}

    // Takes every byte left; true once the disk refused more.
    bool fill() const {
        FILE* file = std::fopen(filler_.c_str(), "ab");
        if (!file) return false;
        static const char block[4096] = {};
        bool full = false;
        for (int i = 0; i < 64 && !full; ++i) full = std::fwrite(block, 1, sizeof block, file) < sizeof block;
        full = std::fflush(file) != 0 || full;
        full = errno == ENOSPC && full;
        std::fclose(file);
        return full;
    }
    // Room again, as a player who deleted something.
    void makeRoom() const { ::unlink(filler_.c_str()); }

private:
    std::string filler_;
};

}  // namespace test
}  // namespace kite
