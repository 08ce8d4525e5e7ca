// Shared by the fuzz targets: inputs as files for readers that only take a path, and a private
// folder for the per-user files some readers touch.
#pragma once
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace fuzz {

// The input as an anonymous file in memory, named by a path that any reader can open.
class MemoryFile {
public:
    MemoryFile(const std::uint8_t* data, std::size_t size) : fd_(memfd_create("fuzz-input", MFD_CLOEXEC)) {
        std::size_t written = 0;
        while (fd_ >= 0 && written < size) {
            const ssize_t n = write(fd_, data + written, size - written);
            if (n <= 0) break;
            written += static_cast<std::size_t>(n);
        }
    }
    ~MemoryFile() {
        if (fd_ >= 0) close(fd_);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

private:
    int fd_;
};

// The XDG folders (the runtime one too) in a fresh folder of this process, removed at its exit. It is
// in memory where the system offers that, so that the syncs of atomic writes cost nothing.
class PrivateUserFolders {
public:
    PrivateUserFolders() {
        char inMemory[] = "/dev/shm/stargrid-fuzz-XXXXXX";
        char onDisk[] = "/tmp/stargrid-fuzz-XXXXXX";
        for (char* pattern : {inMemory, onDisk}) {
            if (const char* made = mkdtemp(pattern)) {
                root_ = made;
                break;
            }
        }
        for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"})
            setenv(name, root_.c_str(), 1);
    }
    ~PrivateUserFolders() {
        std::error_code ignored;
        if (!root_.empty()) std::filesystem::remove_all(root_, ignored);
    }
    PrivateUserFolders(const PrivateUserFolders&) = delete;
    PrivateUserFolders& operator=(const PrivateUserFolders&) = delete;

    const std::string& root() const { return root_; }

    // The named folder under the root, emptied of what an earlier input left there.
    std::string freshFolder(const std::string& name) const {
        const std::string folder = root_ + "/" + name;
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
        std::filesystem::create_directories(folder, ignored);
        return folder;
    }

    static const PrivateUserFolders& once() {
        static const PrivateUserFolders folders;
        return folders;
    }

private:
    std::string root_;
};

// Replaces the file with the bytes; false when it cannot be written.
inline bool writeFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && written;
}

inline std::string text(const std::uint8_t* data, std::size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

}  // namespace fuzz
