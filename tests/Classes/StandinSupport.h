// Game tests that talk to the messenger stand-in: it runs as its own program.
#pragma once
#include <stdlib.h>
#include <sys/wait.h>

#include <string>

namespace game::test {

// Runs the stand-in with one argument (--install, --uninstall or a quoted URL); its exit status.
inline int runStandin(const std::string& argument) {
    const int status = std::system((std::string(STARGRID_PIGEON_STANDIN) + " " + argument).c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace game::test
