// Every process of these tests plays on player's folders of its own: a game claims its player's
// folders, and the test processes run side by side. A test that needs other folders still sets them.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "support/TemporaryFolder.h"

namespace {

class OwnPlayerFolders : public ::testing::Environment {
public:
    void SetUp() override {
        ASSERT_TRUE(home_.made());
        setenv("XDG_DATA_HOME", (home_.path() + "/data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home_.path() + "/config").c_str(), 1);
        setenv("XDG_CACHE_HOME", (home_.path() + "/cache").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", home_.path().c_str(), 1);
    }

private:
    kite::test::TemporaryFolder home_{"stargrid-player"};
};

[[maybe_unused]] ::testing::Environment* const ownPlayerFolders =
    ::testing::AddGlobalTestEnvironment(new OwnPlayerFolders);

}  // namespace
