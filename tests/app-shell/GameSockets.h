// Where a game on a player's folders takes the URLs second launches hand over: one socket in the
// runtime folder for each folder it claimed, named after the folder's identity.
#pragma once
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/FolderClaim.h"

namespace stargrid::test {

// The handover names of the claimed folders' identities, as the game gives them.
inline std::vector<std::string> handoverNames(const std::vector<std::string>& identities) {
    std::vector<std::string> names;
    for (const std::string& identity : identities) names.push_back("stargrid-" + identity);
    return names;
}

// The socket of the game that claimed the folder, in the runtime folder.
inline std::string handoverSocket(const std::string& runtime, const std::string& folder) {
    return runtime + "/stargrid-" + platform::FolderClaim::identityOf(folder) + ".sock";
}

// Asks the game on the socket as a plain launch does (an empty line: show yourself), waiting up to the
// deadline for its answer, and confirms an accepted one; true when it accepted.
inline bool askAsAPlainLaunch(const std::string& socket, std::chrono::steady_clock::time_point deadline) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socket.size() >= sizeof address.sun_path) return false;
    std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    std::string answer;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
        send(fd, "\n", 1, MSG_NOSIGNAL) == 1) {
        while (answer.find('\n') == std::string::npos) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                    .count();
            pollfd ready{fd, POLLIN, 0};
            char buffer[256];
            ssize_t got = 0;
            if (left <= 0 || poll(&ready, 1, static_cast<int>(left)) != 1 ||
                (got = read(fd, buffer, sizeof buffer)) <= 0)
                break;
            answer.append(buffer, static_cast<std::size_t>(got));
        }
    }
    const bool accepted = answer == "accepted\n" && send(fd, "ok\n", 3, MSG_NOSIGNAL) == 3;
    close(fd);
    return accepted;
}

// How many asks in a row a game answers before waitUntilTakingLaunches is satisfied.
constexpr int kAnsweredInARow = 10;

// Waits (bounded) until the game on the socket takes launches at the pace of its frames. Its loop answers them
// once a pass, before the pass's frame, and starts after "running on" is said: a launch made at once meets the
// first frames, for which the GL driver compiles its shaders, and on a busy machine each of those has taken over
// 2 s, as long as a launch waits for its answer. Asked again as soon as it answered, the game answers each ask a
// pass after the one before: kAnsweredInARow answers in a row are that many passes of its loop, the first
// frames among them.
inline bool waitUntilTakingLaunches(const std::string& socket, std::chrono::seconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (int answered = 0; answered < kAnsweredInARow;) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        if (askAsAPlainLaunch(socket, deadline)) {
            ++answered;
        } else {
            // Not listening yet, or quitting: from the start.
            answered = 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    return true;
}

}  // namespace stargrid::test
