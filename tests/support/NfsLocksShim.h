// A program a test starts (in the forked child, before exec) with the NFS locks shim (support/NfsLocks.c)
// in front of its C library, answering locks as the home it names does ("lockd" or "none").
#pragma once
#include <cstdlib>
#include <string>

namespace kite::test {

inline void preloadNfsLocks(const char* shim, const char* home) {
    ::setenv("LD_PRELOAD", shim, 1);
    ::setenv("STARGRID_TEST_NFS_LOCKS", home, 1);
    // A sanitized build checks that its runtime comes first: the shim comes before it.
    const char* options = std::getenv("ASAN_OPTIONS");
    const std::string before = options && *options ? std::string(options) + ":" : "";
    ::setenv("ASAN_OPTIONS", (before + "verify_asan_link_order=0").c_str(), 1);
}

}  // namespace kite::test
