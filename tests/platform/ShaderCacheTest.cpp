// The GL driver's shader cache is kept off a folder it could not write to, before the driver loads.
#include "platform/ShaderCache.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/NoThreads.h"

namespace platform {
namespace {

// In a process of its own: the cache's settings once the folder was looked at.
[[noreturn]] void prepareIn(const std::string& folder, bool asAnotherUser) {
    if (asAnotherUser && (setgid(kite::test::kUnusedUser) != 0 || setuid(kite::test::kUnusedUser) != 0)) std::_Exit(2);
    unsetenv("MESA_SHADER_CACHE_DISABLE");
    unsetenv("MESA_GLSL_CACHE_DISABLE");
    unsetenv("MESA_GLSL_CACHE_DIR");
    setenv("MESA_SHADER_CACHE_DIR", folder.c_str(), 1);
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
    // A folder its user writes to, with room to spare.
    EXPECT_EXIT(prepareIn("/tmp", false), ::testing::ExitedWithCode(0), "^cache on\n$");
}

}  // namespace
}  // namespace platform
