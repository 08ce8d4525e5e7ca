// Every test process plays on player's folders of its own, never on the user's: a game claims its player's
// folders, the test processes run side by side, and the engine makes its writable folder as it starts. A
// test that needs other folders still sets them. Linked into every test binary (not the support library,
// which would leave it out: nothing refers to it).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "support/TemporaryFolder.h"

namespace {

// Set to the folders' root; a test's own child process (a death test, a case run in a child) inherits it
// and keeps the folders its parent gave it.
constexpr const char* kFoldersVariable = "STARGRID_TEST_PLAYER_FOLDERS";

class OwnPlayerFolders : public ::testing::Environment {
public:
    void SetUp() override {
        if (const char* parents = std::getenv(kFoldersVariable); parents && *parents) return;
        home_ = std::make_unique<kite::test::TemporaryFolder>("stargrid-player");
        ASSERT_TRUE(home_->made());
        const std::string& home = home_->path();
        setenv(kFoldersVariable, home.c_str(), 1);
        setenv("XDG_DATA_HOME", (home + "/data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
        setenv("XDG_CACHE_HOME", (home + "/cache").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", home.c_str(), 1);
    }

private:
    std::unique_ptr<kite::test::TemporaryFolder> home_;
};

[[maybe_unused]] ::testing::Environment* const ownPlayerFolders =
    ::testing::AddGlobalTestEnvironment(new OwnPlayerFolders);

}  // namespace
