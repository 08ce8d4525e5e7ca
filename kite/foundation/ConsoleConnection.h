// One client of the debug console. Replies are addressed to it rather than to its descriptor
// number, so a reply that comes after the client left is dropped instead of reaching a newer
// client that was given the same number.
#pragma once
#include <cstddef>
#include <memory>
#include <mutex>

namespace kite {

class ConsoleConnection {
public:
    // Takes the connected descriptor over; it is closed by close() or with the connection.
    explicit ConsoleConnection(int fd) : fd_(fd) {}
    ~ConsoleConnection();
    ConsoleConnection(const ConsoleConnection&) = delete;
    ConsoleConnection& operator=(const ConsoleConnection&) = delete;

    // Sends the bytes as they are (a reply may include its terminating zero). Nothing once closed;
    // a peer gone mid-reply is ignored. Safe from any thread.
    void send(const void* bytes, std::size_t length);
    // Formats into at most 16385 bytes and sends them.
    void sendFormatted(const char* format, ...) __attribute__((format(printf, 2, 3)));
    bool isOpen() const;
    // Closes the descriptor; later replies go nowhere.
    void close();

private:
    // Held while sending and closing, so the number is never reused under a send.
    mutable std::mutex mutex_;
    int fd_;
};

using ConsoleConnectionPtr = std::shared_ptr<ConsoleConnection>;

}  // namespace kite
