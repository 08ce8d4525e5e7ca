// The preferences store's tests: XDG folders of the test's own, and the store and legacy files read back.
#pragma once
#include "kite/foundation/FileUtils.h"
#include "kite/foundation/PropertyList.h"
#include "kite/foundation/UserDefault.h"
#include "platform/AtomicFile.h"
#include "platform/StoredFile.h"
#include "support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace kite {
namespace test {

class UserDefaultFixture : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.made());
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"}) {
            const char* value = getenv(name);
            saved_.emplace_back(name, value ? value : "");
        }
        setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
        setenv("XDG_CACHE_HOME", (root_ + "/cache").c_str(), 1);
        setenv("XDG_DATA_HOME", (root_ + "/data").c_str(), 1);
        storePath_ = root_ + "/config/stargrid/UserDefaults.plist";
        legacyPath_ = root_ + "/cache/stargrid/UserDefault.xml";
    }
    void TearDown() override {
        platform::setAtomicWriteHookForTesting(nullptr);
        platform::refuseHardLinksForTesting(0);
        UserDefault::setSaveStateListener(nullptr);
        UserDefault::destroyInstance();
        FileUtils::destroyInstance();
        for (const auto& [name, value] : saved_) setenv(name.c_str(), value.c_str(), 1);
    }
    static bool exists(const std::string& path) {
        struct stat st;
        return stat(path.c_str(), &st) == 0;
    }
    // How many times the text is in the output.
    static std::size_t count(const std::string& output, const std::string& text) {
        std::size_t found = 0;
        for (std::size_t at = output.find(text); at != std::string::npos; at = output.find(text, at + 1)) ++found;
        return found;
    }
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void writeLegacy(const std::string& body) {
        ASSERT_EQ(std::system(("mkdir -p '" + root_ + "/cache/stargrid'").c_str()), 0);
        std::ofstream(legacyPath_) << "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<userDefaultRoot>" << body
                                   << "</userDefaultRoot>\n";
    }
    // The values as a fresh reader of the file sees them.
    ValueMap onDisk() const {
        std::string bytes = read(storePath_);
        Value root;
        if (!PropertyList::parse(bytes.data(), bytes.size(), root, "store")) return ValueMap();
        return root.asValueMap();
    }
    // Runs `body` in a child process that then ends at once, without any cleanup.
    template <class Body>
    int inChild(Body body) {
        pid_t child = fork();
        if (child == 0) {
            body();
            _exit(0);
        }
        int status = -1;
        waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    TemporaryFolder folder_{"userdefault"};
    std::string root_ = folder_.path();
    std::string storePath_, legacyPath_;
    std::vector<std::pair<std::string, std::string>> saved_;
};

}  // namespace test
}  // namespace kite
