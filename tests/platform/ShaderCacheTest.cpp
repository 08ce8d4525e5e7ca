// The GL driver's shader cache is kept off a folder it could not write to, before the driver loads.
#include "platform/ShaderCache.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/NoThreads.h"
#include "support/TemporaryFolder.h"

namespace platform {
namespace {

// In a process of its own: the cache's settings once the folder (the driver's own, or else the player's
// cache folder) was looked at.
[[noreturn]] void prepareIn(const std::string& folder, bool asAnotherUser,
                            const char* variable = "MESA_SHADER_CACHE_DIR") {
    if (asAnotherUser && (setgid(kite::test::kUnusedUser) != 0 || setuid(kite::test::kUnusedUser) != 0)) std::_Exit(2);
    unsetenv("MESA_SHADER_CACHE_DISABLE");
    unsetenv("MESA_GLSL_CACHE_DISABLE");
    unsetenv("MESA_GLSL_CACHE_DIR");
    unsetenv("MESA_SHADER_CACHE_DIR");
    setenv(variable, folder.c_str(), 1);
    prepareShaderCache();
    const char* disabled = std::getenv("MESA_SHADER_CACHE_DISABLE");
    std::fprintf(stderr, "cache %s\n", disabled ? disabled : "on");
    std::_Exit(0);
}

TEST(ShaderCacheDeathTest, AFolderThatCannotBeWrittenTurnsTheCacheOffWithALine) {
    if (getuid() != 0) GTEST_SKIP() << "needs root to become another user";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The system's own folder, which a player may not write to.
    EXPECT_EXIT(prepareIn("/usr/share", true), ::testing::ExitedWithCode(0),
                "^platform: the GL driver's shader cache is off for this run: /usr/share, it cannot be written: "
                "Permission denied\ncache true\n$");
    // A folder of its user's own, with room to spare.
    kite::test::TemporaryFolder own("stargrid-shaders");
    EXPECT_EXIT(prepareIn(own.path(), false), ::testing::ExitedWithCode(0), "^cache on\n$");
}

TEST(ShaderCacheDeathTest, ACacheFolderAnotherUserCouldPutFilesInTurnsTheCacheOff) {
    if (getuid() != 0) GTEST_SKIP() << "needs root to make a folder of another user";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    kite::test::TemporaryFolder scratch("stargrid-shaders");
    // The player's cache folder is another user's; one not made yet is in a folder open to all, as /tmp.
    const std::string others = scratch.path() + "/others";
    const std::string shared = scratch.path() + "/shared";
    ASSERT_EQ(mkdir(others.c_str(), 0755) | chown(others.c_str(), kite::test::kUnusedUser, 0), 0);
    ASSERT_EQ(mkdir(shared.c_str(), 0700) | chmod(shared.c_str(), 01777), 0);
    // (The test runs again in the death test's child, in a scratch folder of another name.)
    EXPECT_EXIT(prepareIn(others, false, "XDG_CACHE_HOME"), ::testing::ExitedWithCode(0),
                "^platform: the GL driver's shader cache is off for this run: /tmp/stargrid-shaders-[^/]+/others, "
                "it belongs to user 54321\ncache true\n$");
    EXPECT_EXIT(prepareIn(shared + "/cache", false, "XDG_CACHE_HOME"), ::testing::ExitedWithCode(0),
                "^platform: the GL driver's shader cache is off for this run: /tmp/stargrid-shaders-[^/]+/shared, "
                "it is open to others \\(mode 1777\\)\ncache true\n$");
}

}  // namespace
}  // namespace platform
