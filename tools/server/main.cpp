// stargrid-server: the local game server. Prints the address it listens on, then serves
// until SIGINT or SIGTERM (or, when asked, until its standard input ends).
#include <netdb.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

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
#include "platform/PrintableText.h"
#include "tools/server/DatabaseClaim.h"
#include "tools/server/GameServer.h"

namespace {

void usage(std::FILE* out) {
    std::fprintf(out,
                 "usage: stargrid-server [--port N] [--host ADDRESS] [--db FILE] [--quiet] [--until-input-ends]\n"
                 "  --port N   port to listen on (default 0: a free one, printed at start)\n"
                 "  --host A   address (or name, such as localhost) to listen on (default 127.0.0.1)\n"
                 "  --db FILE  SQLite file of accounts, scores and prizes (default: kept in memory); one\n"
                 "             server at a time has it open, a second one waits %lld s for the first to stop\n"
                 "  --quiet    no line per request\n"
                 "  --until-input-ends  stop, too, once standard input ends (every writer of it closed it)\n",
                 static_cast<long long>(stargrid_server::DatabaseClaim::kPatience.count()));
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
    const std::string shown = platform::printableText(host);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
        std::fprintf(stderr, "stargrid-server: --host \"%s\": write an IPv6 address without brackets: %s\n",
                     shown.c_str(), platform::printableText(host.substr(1, host.size() - 2)).c_str());
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
        std::fprintf(stderr, "stargrid-server: --host \"%s\" is not an address\n", shown.c_str());
    } else {
        std::fprintf(stderr, "stargrid-server: --host \"%s\" is not an address, nor a name of one: %s\n", shown.c_str(),
                     looked == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(looked));
    }
    return false;
}

struct Command {
    stargrid_server::GameServer::Options options;
    bool untilInputEnds = false;
};

// False, with what was wrong said on standard error, for a command line that cannot be run.
bool parse(int argc, char** argv, Command& command) {
    stargrid_server::GameServer::Options& options = command.options;
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
                             platform::printableText(value).c_str());
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
        } else if (arg == "--until-input-ends") {
            command.untilInputEnds = true;
        } else if (arg[0] == '-') {
            std::fprintf(stderr, "stargrid-server: unknown option %s\n", platform::printableText(arg).c_str());
            return false;
        } else {
            std::fprintf(stderr, "stargrid-server: unexpected argument \"%s\"\n", platform::printableText(arg).c_str());
            return false;
        }
    }
    return true;
}

// scripts/play names itself in STARGRID_PLAY_CLAIMED when it starts the server holding the game's claim on
// the player's folders, the database's among them: no other server then has the database open.
bool runsUnderPlaysClaim() { return platform::markedByParent("STARGRID_PLAY_CLAIMED"); }

// Waits for SIGINT or SIGTERM (blocked in every thread, and taken here), or, with `input`, for standard
// input to end: a session that holds its other end (scripts/play and the game it starts) is over however it
// ended. True for the signal or the end; false when neither can be waited for.
bool waitForTheEnd(const sigset_t& stopSignals, bool input) {
    const int signals = ::signalfd(-1, &stopSignals, SFD_CLOEXEC);
    if (signals < 0) return false;
    pollfd watched[2] = {{signals, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    for (;;) {
        if (::poll(watched, input ? 2 : 1, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (watched[0].revents != 0) break;
        if (watched[1].revents == 0) continue;
        // What comes before the end is read and set aside.
        char ignored[256];
        const ssize_t got = ::read(STDIN_FILENO, ignored, sizeof ignored);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) break;
    }
    ::close(signals);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::signal(SIGXFSZ, SIG_IGN);  // past a file-size limit (ulimit -f) a write fails instead of ending the server
    Command command;
    stargrid_server::GameServer::Options& options = command.options;
    if (asksForHelp(argc, argv)) {
        usage(stdout);
        return 0;
    }
    if (!parse(argc, argv, command)) {
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
        std::fprintf(stderr, "stargrid-server: %s\n", platform::printableText(error).c_str());
        return 1;
    }
    std::printf("stargrid-server: listening on %s\n", server->url("").c_str());
    std::fflush(stdout);
    std::thread waiter([&] {
        if (!waitForTheEnd(stopSignals, command.untilInputEnds)) {
            int signal = 0;
            sigwait(&stopSignals, &signal);
        }
        server->stop();
    });
    server->wait();
    // The waiter ends with what stopped the server, or is sent a signal now.
    pthread_kill(waiter.native_handle(), SIGTERM);
    waiter.join();
    std::printf("stargrid-server: stopped\n");
    return 0;
}
