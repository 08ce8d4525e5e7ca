#include "kite/foundation/ConsoleConnection.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace kite {

ConsoleConnection::~ConsoleConnection() { close(); }

void ConsoleConnection::send(const void* bytes, std::size_t length) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ < 0) return;
    // MSG_NOSIGNAL: a client gone mid-reply must not raise SIGPIPE in the game.
    const auto* data = static_cast<const char*>(bytes);
    while (length > 0) {
        const ssize_t sent = ::send(fd_, data, length, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return;
        data += sent;
        length -= static_cast<std::size_t>(sent);
    }
}

void ConsoleConnection::sendFormatted(const char* format, ...) {
    char buffer[16386];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
    send(buffer, std::strlen(buffer));
}

bool ConsoleConnection::isOpen() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return fd_ >= 0;
}

void ConsoleConnection::close() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
}

}  // namespace kite
