// A folder of its own for one test: made under /tmp, removed with everything in it when its owner goes.
#pragma once
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

namespace kite {
namespace test {

class TemporaryFolder {
public:
    // The folder's name starts with prefix; made() tells whether it could be made.
    explicit TemporaryFolder(const std::string& prefix) {
        std::string pattern = "/tmp/" + prefix + "-XXXXXX";
        if (mkdtemp(pattern.data())) path_ = pattern;
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    bool made() const { return !path_.empty(); }
    // Without a trailing slash.
    const std::string& path() const { return path_; }

    // Writes a file at a path relative to the folder, making the folders between; returns its full path.
    std::string put(const std::string& relative, const std::string& contents) const {
        const std::string full = path_ + "/" + relative;
        std::error_code ignored;
        std::filesystem::create_directories(std::filesystem::path(full).parent_path(), ignored);
        std::ofstream(full, std::ios::binary) << contents;
        return full;
    }

private:
    std::string path_;
};

// Every byte of a file; empty when it cannot be read.
inline std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace test
}  // namespace kite
