// The local game server for tests that run the game executable: started in this process on a free loopback
// port, without its line per request.
#pragma once
#include <memory>
#include <string>

#include "tools/server/GameServer.h"

namespace stargrid::test {

inline std::unique_ptr<stargrid_server::GameServer> startLocalServer(std::string* error) {
    stargrid_server::GameServer::Options options;
    options.echo = false;
    return stargrid_server::GameServer::start(options, error);
}

}  // namespace stargrid::test
