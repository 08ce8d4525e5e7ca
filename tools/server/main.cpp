// stargrid-server: the local game server. Prints the address it listens on, then serves
// until SIGINT or SIGTERM.
#include <netdb.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

#include "platform/AsciiText.h"
#include "platform/ParentsMark.h"
#include "tools/server/GameServer.h"

namespace {

void usage(std::FILE* out) {
    std::fprintf(out,
                 "usage: stargrid-server [--port N] [--host ADDRESS] [--db FILE] [--quiet]\n"
                 "  --port N   port to listen on (default 0: a free one, printed at start)\n"
                 "  --host A   address (or name, such as localhost) to listen on (default 127.0.0.1)\n"
                 "  --db FILE  SQLite file of accounts, scores and prizes (default: kept in memory)\n"
                 "  --quiet    no line per request\n");
}

bool takesValue(const std::string& arg) { return arg == "--port" || arg == "--host" || arg == "--db"; }

// Help asked for anywhere on the command line wins over what else is on it, mistakes included;
// an option's value (a file named "-h") is no such ask.
bool asksForHelp(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") return true;
        if (takesValue(arg)) ++i;
    }
    return false;
}

// An empty host leaves the address to the resolver and prints a URL with no host in it; brackets
// are a URL's spelling of an IPv6 address, which the resolver does not take.
bool hostUsable(const std::string& host) {
    if (host.empty()) {
        std::fprintf(stderr, "stargrid-server: --host needs an address, not \"\"\n");
        return false;
    }
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        std::fprintf(stderr, "stargrid-server: --host \"%s\": write an IPv6 address without brackets: %s\n",
                     host.c_str(), host.substr(1, host.size() - 2).c_str());
        return false;
    }
    // Looked up as the listening socket will be, so that what is no address is not taken for one that
    // "cannot be bound". Digits and dots, or colons, are an address, never a name to look up.
    const bool numeric =
        host.find_first_not_of("0123456789.") == std::string::npos || host.find(':') != std::string::npos;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | (numeric ? AI_NUMERICHOST : 0);
    addrinfo* found = nullptr;
    const int looked = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
    if (looked == 0) {
        ::freeaddrinfo(found);
        return true;
    }
    if (numeric) {
        std::fprintf(stderr, "stargrid-server: --host \"%s\" is not an address\n", host.c_str());
    } else {
        std::fprintf(stderr, "stargrid-server: --host \"%s\" is not an address, nor a name of one: %s\n", host.c_str(),
                     looked == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(looked));
    }
    return false;
}

// False, with what was wrong said on standard error, for a command line that cannot be run.
bool parse(int argc, char** argv, stargrid_server::GameServer::Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool needsValue = takesValue(arg);
        if (needsValue && i + 1 >= argc) {
            std::fprintf(stderr, "stargrid-server: %s needs a value\n", arg.c_str());
            return false;
        }
        const char* value = needsValue ? argv[++i] : nullptr;
        if (arg == "--port") {
            // Digits only, as the game takes numbers: strtol would take "+8080" or " 8080".
            const std::optional<long> port = platform::wholeNumber(value, 65535);
            if (!port) {
                std::fprintf(stderr, "stargrid-server: --port needs a port number from 0 to 65535, not \"%s\"\n",
                             value);
                return false;
            }
            options.port = static_cast<int>(*port);
        } else if (arg == "--host") {
            if (!hostUsable(value)) return false;
            options.host = value;
        } else if (arg == "--db") {
            // SQLite takes an empty name for a database of its own that is gone at exit.
            if (*value == '\0') {
                std::fprintf(stderr, "stargrid-server: --db needs a file, not \"\"\n");
                return false;
            }
            options.database = value;
        } else if (arg == "--quiet") {
            options.echo = false;
        } else {
            std::fprintf(stderr, "stargrid-server: unknown option %s\n", arg.c_str());
            return false;
        }
    }
    return true;
}

// scripts/play names itself in STARGRID_PLAY_CLAIMED when it starts the server holding the game's claim on
// the player's folders, the database's among them: no other server then has the database open.
bool runsUnderPlaysClaim() { return platform::markedByParent("STARGRID_PLAY_CLAIMED"); }

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGXFSZ, SIG_IGN);  // past a file-size limit (ulimit -f) a write fails instead of ending the server
    stargrid_server::GameServer::Options options;
    if (asksForHelp(argc, argv)) {
        usage(stdout);
        return 0;
    }
    if (!parse(argc, argv, options)) {
        usage(stderr);
        return 2;
    }
    options.databaseOnlyThisProcess = runsUnderPlaysClaim();
    // Signals are taken by one thread that stops the server; every other thread blocks them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::string error;
    std::unique_ptr<stargrid_server::GameServer> server = stargrid_server::GameServer::start(options, &error);
    if (!server) {
        std::fprintf(stderr, "stargrid-server: %s\n", error.c_str());
        return 1;
    }
    std::printf("stargrid-server: listening on %s\n", server->url("").c_str());
    std::fflush(stdout);
    std::thread signalWaiter([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        server->stop();
    });
    server->wait();
    // The waiter ends with the signal that stopped the server, or is sent one now.
    pthread_kill(signalWaiter.native_handle(), SIGTERM);
    signalWaiter.join();
    std::printf("stargrid-server: stopped\n");
    return 0;
}
