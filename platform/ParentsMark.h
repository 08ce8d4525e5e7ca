// A launcher (scripts/play) marks the program it starts by naming its own pid in a variable. Only the
// parent's name counts, so a mark left in the environment counts for nothing; and it is taken away, so the
// programs this one starts do not inherit it.
#pragma once
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace platform {

inline bool markedByParent(const char* variable) {
    const char* launcher = std::getenv(variable);
    const bool marked = launcher && std::to_string(::getppid()) == launcher;
    ::unsetenv(variable);
    return marked;
}

}  // namespace platform
