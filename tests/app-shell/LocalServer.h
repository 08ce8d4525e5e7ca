// The local game server for tests that run the game executable: started in this process on a free loopback
// port, without its line per request.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "support/TemporaryFolder.h"
#include "tools/server/GameServer.h"

namespace stargrid::test {

inline std::unique_ptr<stargrid_server::GameServer> startLocalServer(std::string* error) {
    stargrid_server::GameServer::Options options;
    options.echo = false;
    return stargrid_server::GameServer::start(options, error);
}

// A fixture's start: its folder made and the server running, or the test failed (check with
// ASSERT_NO_FATAL_FAILURE).
inline void startWithLocalServer(const kite::test::TemporaryFolder& folder,
                                 std::unique_ptr<stargrid_server::GameServer>& server) {
    ASSERT_TRUE(folder.made());
    std::string error;
    server = startLocalServer(&error);
    ASSERT_TRUE(server) << error;
}

}  // namespace stargrid::test
