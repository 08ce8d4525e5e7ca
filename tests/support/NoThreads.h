// A process that may start no thread, as under `ulimit -u` with the player's other processes counted: for
// a forked child (a death test's statement), which becomes an unused user's with room for one process,
// itself. Root is not held to that limit, so the child leaves root behind.
#pragma once
#include <grp.h>
#include <sys/resource.h>
#include <unistd.h>

namespace kite {
namespace test {

// A user id no account has.
constexpr uid_t kUnusedUser = 54321;

// False when this process may not change its user (not run as root).
inline bool startNoMoreThreads() {
    const struct rlimit one = {1, 1};
    return setgroups(0, nullptr) == 0 && setgid(kUnusedUser) == 0 && setuid(kUnusedUser) == 0 &&
           setrlimit(RLIMIT_NPROC, &one) == 0;
}

}  // namespace test
}  // namespace kite
