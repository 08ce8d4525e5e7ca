// The handover's socket as both its ends use it: addresses, connections that never block, the
// user at the other end, writes bounded in time, and the lines they say to each other.
#pragma once
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "platform/UserFolders.h"

namespace platform {
namespace handover {

using SteadyClock = std::chrono::steady_clock;

// An answer is one short line; anything longer is not one of ours.
constexpr std::size_t kLongestAnswer = 256;
constexpr const char* kAccepted = "accepted";
constexpr const char* kConfirmation = "ok";
// What a sender that only asked whether a game answers says instead: nothing is to be done.
constexpr const char* kWithdrawal = "no";
constexpr const char* kQuitting = "the game is quitting";
// What the game answers, again and again, until its loop runs and answers the request itself.
constexpr const char* kStarting = "starting";

inline bool socketAddress(const std::string& path, sockaddr_un* address) {
    if (path.size() >= sizeof address->sun_path) return false;
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

// One try at a connection that never blocks: the descriptor, or -1 with errno (EAGAIN: a game
// listens but takes no one now; ENOENT, ECONNREFUSED: nobody listens).
inline int tryConnect(const sockaddr_un& address) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

// The user at the other end of a connected socket; -1 when it cannot be told.
inline long peerUser(int fd) {
    ucred peer{};
    socklen_t size = sizeof peer;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || size != sizeof peer) return -1;
    return static_cast<long>(peer.uid);
}

inline bool ownUser(long user) { return user == static_cast<long>(geteuid()); }

// Whether a process of this user listens on the socket `file` of the runtime folder now, asked nothing: it
// takes the connection, or takes no one just now.
inline bool ownListener(const HeldFolder& runtime, const std::string& file) {
    sockaddr_un address;
    if (!runtime || !socketAddress(runtime.reach(file), &address)) return false;
    const int fd = tryConnect(address);
    if (fd < 0) return errno == EAGAIN;
    const bool own = ownUser(peerUser(fd));
    close(fd);  // said nothing: the game drops it without a word
    return own;
}

// Listens on the socket `file` of the runtime folder (see UrlHandoverSocket.cpp): the descriptor, or -1 with the
// reason in `error`, which names a process of this user that listens there already in the caller's words
// (`whoListens`: a game's socket holds another game, a server's claim witness another server).
int listenAt(const HeldFolder& runtime, const std::string& file, std::string& error,
             const std::string& whoListens = "another game");

// Waits until the descriptor is ready for events or the deadline passes; false when it passed.
inline bool waitFor(int fd, short events, SteadyClock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
        if (left <= 0) return false;
        pollfd ready{fd, events, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(left));
        if (polled > 0) return true;
        if (polled < 0 && errno != EINTR) return true;  // the next call on it says what is wrong
    }
}

// Writes everything before the deadline (a past one: only what goes without waiting); `sent`, when given, counts
// what went, so that a later call goes on from there.
inline bool sendAll(int fd, const std::string& bytes, SteadyClock::time_point deadline, std::size_t* sent = nullptr) {
    std::size_t local = 0;
    std::size_t& written = sent ? *sent : local;
    while (written < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + written, bytes.size() - written, MSG_NOSIGNAL);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFor(fd, POLLOUT, deadline)) {
                errno = ETIMEDOUT;
                return false;
            }
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace handover
}  // namespace platform
