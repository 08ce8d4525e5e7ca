// The local game server on a loopback port for a benchmark that needs one, quiet.
#pragma once
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "tools/server/GameServer.h"

namespace bench {

// Null, and the benchmark skipped with the reason, when the server cannot start.
inline std::unique_ptr<stargrid_server::GameServer> startLocalGameServer(benchmark::State& state) {
    stargrid_server::GameServer::Options options;
    options.echo = false;
    std::string error;
    std::unique_ptr<stargrid_server::GameServer> server = stargrid_server::GameServer::start(options, &error);
    if (!server) state.SkipWithError(error.c_str());
    return server;
}

}  // namespace bench
