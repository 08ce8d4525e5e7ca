// Talking to the debug console of a game executable a test runs: a port for it, and one line sent.
#pragma once
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>

namespace stargrid::test {

// A loopback port that nothing listens on now.
inline int freeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

// Sends a line to the console of a game that is running (and so listening). With waitMs, it then waits
// that long at most for the game to answer or close the connection (a command that ends the game);
// otherwise the console still reads the line before it sees the end.
inline bool sendToConsole(int port, const std::string& line, int waitMs = 0) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool sent = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                      send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size());
    pollfd p{fd, POLLIN, 0};
    if (sent && waitMs > 0) poll(&p, 1, waitMs);
    close(fd);
    return sent;
}

}  // namespace stargrid::test
