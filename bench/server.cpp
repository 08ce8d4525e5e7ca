// The local game server's answer time for one ordinary request while clients that connected and
// then said nothing hold connections open: none, 8 and 64 of them (the target: under 1 s with 64).
#include <benchmark/benchmark.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "bench/LocalGameServer.h"

namespace {

// Connections that stay open, silent, until the benchmark ends.
std::vector<int> stallClients(int port, int count) {
    std::vector<int> sockets;
    for (int i = 0; i < count; ++i) {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            sockets.push_back(fd);
        else
            close(fd);
    }
    return sockets;
}

void BM_RequestBesideStalledClients(benchmark::State& state) {
    std::unique_ptr<stargrid_server::GameServer> server = bench::startLocalGameServer(state);
    if (!server) return;
    const std::vector<int> stalled = stallClients(server->port(), static_cast<int>(state.range(0)));
    for (auto _ : state) {
        // A new connection each time, as the game's client makes one per request.
        httplib::Client client("127.0.0.1", server->port());
        client.set_read_timeout(30);
        auto result = client.Get("/bus_ser_ios.html");
        if (!result || result->status != 200) state.SkipWithError("no answer");
    }
    for (int fd : stalled) close(fd);
}
BENCHMARK(BM_RequestBesideStalledClients)->Arg(0)->Arg(8)->Arg(64)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
