// The listening end of the handover's socket, which the running game and a server's claim witness both open.
#include "platform/UrlHandoverSocket.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <string>

namespace platform {
namespace handover {

// Listens on the file of the runtime folder, reached through the folder's descriptor: a socket nobody
// answers on (left by a game that ended) is replaced; anything else there is left as it is. The
// descriptor, or -1 with the reason in error (naming the socket as the player knows it).
int listenAt(const HeldFolder& runtime, const std::string& file, std::string& error, const std::string& whoListens) {
    const std::string path = runtime.pathOf(file);
    sockaddr_un address;
    if (!socketAddress(runtime.reach(file), &address)) {
        error = "the socket's path is too long: " + path;
        return -1;
    }
    struct stat found;
    if (fstatat(runtime.descriptor(), file.c_str(), &found, AT_SYMLINK_NOFOLLOW) == 0) {
        if (!S_ISSOCK(found.st_mode)) {
            error = path + " is not a socket (" +
                    (S_ISLNK(found.st_mode)   ? "a link"
                     : S_ISDIR(found.st_mode) ? "a folder"
                     : S_ISREG(found.st_mode) ? "a regular file"
                                              : "another kind of file") +
                    "); it is left as it is";
            return -1;
        }
        // Someone listens there when a connection is made or waits its turn.
        const int running = tryConnect(address);
        if (running >= 0 || errno == EAGAIN) {
            const long user = running >= 0 ? peerUser(running) : static_cast<long>(geteuid());
            if (running >= 0) close(running);
            error = ownUser(user) ? whoListens + " listens on " + path
                                  : "a program of user " + std::to_string(user) + " listens on " + path;
            return -1;
        }
        unlinkat(runtime.descriptor(), file.c_str(), 0);
    }
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        error = std::string("cannot make a socket: ") + std::strerror(errno);
        return -1;
    }
    const mode_t oldMask = umask(0077);  // only this user may hand URLs over
    const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    umask(oldMask);
    if (!bound || ::listen(fd, 4) != 0) {
        error = "cannot listen on " + path + ": " + std::strerror(errno);
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace handover
}  // namespace platform
