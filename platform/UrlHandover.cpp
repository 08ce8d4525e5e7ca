#include "platform/UrlHandover.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/Clock.h"
#include "platform/HostLoop.h"

namespace platform {
namespace {

// A sender that says nothing for this long is dropped.
constexpr double kSenderPatience = 2.0;
constexpr std::size_t kMostSenders = 8;

bool socketAddress(const std::string& path, sockaddr_un* address) {
    if (path.size() >= sizeof address->sun_path) return false;
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

// A connected stream socket to the path, or -1.
int connectTo(const std::string& path) {
    sockaddr_un address;
    if (!socketAddress(path, &address)) return -1;
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + written, bytes.size() - written, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

struct UrlHandover::Sender {
    int fd = -1;
    std::string received;
    double since = 0.0;
    ~Sender() {
        if (fd >= 0) close(fd);
    }
};

std::string UrlHandover::socketPath(const std::string& name) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime) return std::string(runtime) + "/" + name + ".sock";
    return "/tmp/" + name + "-" + std::to_string(getuid()) + ".sock";
}

std::optional<std::string> UrlHandover::checkUrl(const std::string& text) {
    if (text.empty() || text.size() > kLongestUrl) return std::nullopt;
    if (!std::isalpha(static_cast<unsigned char>(text[0]))) return std::nullopt;
    const std::string::size_type colon = text.find(':');
    if (colon == std::string::npos) return std::nullopt;
    for (std::string::size_type i = 0; i < colon; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return std::nullopt;
    }
    for (unsigned char c : text) {
        if (c <= 0x20 || c >= 0x7f) return std::nullopt;
    }
    return text;
}

bool UrlHandover::sendToRunning(const std::string& name, const std::string& url) {
    if (!checkUrl(url)) return false;
    const int fd = connectTo(socketPath(name));
    if (fd < 0) return false;
    const bool sent = writeAll(fd, url + "\n");
    shutdown(fd, SHUT_WR);
    // The running game closes its end once it has the line: that is the receipt.
    char ignored;
    timeval patience{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    const bool received = sent && recv(fd, &ignored, 1, 0) == 0;
    close(fd);
    return received;
}

std::unique_ptr<UrlHandover> UrlHandover::listen(const std::string& name,
                                                 std::function<void(const std::string&)> handler) {
    const std::string path = socketPath(name);
    sockaddr_un address;
    if (!socketAddress(path, &address)) return nullptr;
    const int running = connectTo(path);
    if (running >= 0) {  // another game answers there
        close(running);
        return nullptr;
    }
    unlink(path.c_str());  // left by a game that ended without removing it
    std::unique_ptr<UrlHandover> handover(new UrlHandover());
    handover->fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (handover->fd_ < 0) return nullptr;
    const mode_t oldMask = umask(0077);  // only this user may hand URLs over
    const bool bound = bind(handover->fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    umask(oldMask);
    if (!bound || ::listen(handover->fd_, 4) != 0) return nullptr;
    handover->path_ = path;
    handover->handler_ = std::move(handler);
    UrlHandover* self = handover.get();
    handover->source_ = HostLoop::main().addSource([self] { self->poll(); });
    return handover;
}

UrlHandover::~UrlHandover() {
    if (source_) HostLoop::main().removeSource(source_);
    if (fd_ >= 0) {
        close(fd_);
        if (!path_.empty()) unlink(path_.c_str());
    }
}

void UrlHandover::poll() {
    const double now = Clock::now();
    receive(now);
    if (waiting_.empty() || now < nextTurn_) return;
    const std::string url = std::move(waiting_.front());
    waiting_.pop_front();
    nextTurn_ = now + kUrlInterval;
    if (handler_) handler_(url);
}

void UrlHandover::receive(double now) {
    for (int fd;
         senders_.size() < kMostSenders && (fd = accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;) {
        auto sender = std::make_unique<Sender>();
        sender->fd = fd;
        sender->since = now;
        senders_.push_back(std::move(sender));
    }
    for (auto it = senders_.begin(); it != senders_.end();) {
        Sender& sender = **it;
        char buffer[16384];
        ssize_t n;
        while ((n = recv(sender.fd, buffer, sizeof buffer, 0)) > 0 && sender.received.size() <= kLongestUrl + 1) {
            sender.received.append(buffer, static_cast<std::size_t>(n));
        }
        const bool ended =
            n == 0 || sender.received.find('\n') != std::string::npos || sender.received.size() > kLongestUrl + 1;
        const bool failed = n < 0 && errno != EAGAIN && errno != EWOULDBLOCK;
        if (!ended && !failed && now - sender.since < kSenderPatience) {
            ++it;
            continue;
        }
        const std::string line = sender.received.substr(0, sender.received.find('\n'));
        std::optional<std::string> url = ended ? checkUrl(line) : std::nullopt;
        if (url)
            queue(*url);
        else if (!sender.received.empty())
            std::fprintf(stderr, "UrlHandover: refused a handed-over text of %zu bytes\n", sender.received.size());
        it = senders_.erase(it);  // closing is the receipt
    }
}

void UrlHandover::queue(const std::string& url) {
    if (waiting_.size() >= kMostWaiting) {
        std::fprintf(stderr, "UrlHandover: %zu URLs wait already; refused one of %zu bytes\n", waiting_.size(),
                     url.size());
        return;
    }
    waiting_.push_back(url);
}

}  // namespace platform
