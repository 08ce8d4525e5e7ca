// The local game server: the game's protocol on a loopback port, the pages it links to,
// the statistics report endpoint, and control endpoints through which tests steer replies.
#pragma once
#include <memory>
#include <string>
#include <thread>

#include "tools/server/GameStore.h"
#include "tools/server/ReplyOverrides.h"
#include "tools/server/RequestLog.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace Json {
class Value;
}

namespace stargrid_server {

class GameServer {
public:
    struct Options {
        std::string host = "127.0.0.1";
        int port = 0;  // 0: any free port
        std::string database = ":memory:";
        // No other process opens the database (see platform::prepareDatabaseFile).
        bool databaseOnlyThisProcess = false;
        bool echo = true;  // one line per request on standard output
    };

    // Listening on its own thread once this returns; null with a reason when it cannot.
    static std::unique_ptr<GameServer> start(const Options& options, std::string* error);
    ~GameServer();
    GameServer(const GameServer&) = delete;
    GameServer& operator=(const GameServer&) = delete;

    int port() const { return port_; }
    std::string url(const std::string& path) const;
    // Blocks until stop() (from a signal handler's thread or another one).
    void wait();
    void stop();

    GameStore& store() { return *store_; }
    RequestLog& requestLog() { return log_; }
    ReplyOverrides& overrides() { return overrides_; }

private:
    class Routes;
    explicit GameServer(const Options& options);

    Options options_;
    std::unique_ptr<GameStore> store_;
    RequestLog log_;
    ReplyOverrides overrides_;
    std::unique_ptr<httplib::Server> http_;
    std::unique_ptr<Routes> routes_;
    std::thread thread_;
    int port_ = 0;
};

}  // namespace stargrid_server
