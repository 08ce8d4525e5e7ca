#include "platform/UrlHandover.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
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
// How long a second launch waits for the running game's answer once its URL is written.
constexpr std::chrono::seconds kAnswerPatience{2};
// An answer is one short line; anything longer is not one of ours.
constexpr std::size_t kLongestAnswer = 256;

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

bool sendAll(int fd, const std::string& bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = send(fd, bytes.data() + written, bytes.size() - written, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

struct Answer {
    std::string line;       // what came before the newline or the end, capped
    bool timedOut = false;  // nothing more came within the patience
};

// The running game's answer line, read until its newline, the end, or the patience.
Answer readAnswer(int fd) {
    Answer answer;
    std::string received;
    const auto deadline = std::chrono::steady_clock::now() + kAnswerPatience;
    while (received.find('\n') == std::string::npos && received.size() <= kLongestAnswer) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        pollfd ready{fd, POLLIN, 0};
        const int polled = left > 0 ? ::poll(&ready, 1, static_cast<int>(left)) : 0;
        if (polled < 0 && errno == EINTR) continue;
        if (polled == 0) answer.timedOut = true;
        if (polled <= 0) break;
        char buffer[kLongestAnswer];
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // the end, or a reset once the game closed
        received.append(buffer, static_cast<std::size_t>(n));
    }
    answer.line = received.substr(0, std::min(received.find('\n'), kLongestAnswer));
    return answer;
}

// What another process wrote, fit to print on a terminal: one line of printable ASCII, capped.
std::string printable(std::string text) {
    if (text.size() > 200) text.resize(200);
    for (char& c : text) {
        if (c < 0x20 || c > 0x7e) c = '?';
    }
    return text;
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

UrlHandover::Receipt UrlHandover::sendToRunning(const std::string& name, const std::string& url) {
    using Outcome = Receipt::Outcome;
    if (!checkUrl(url)) return {Outcome::Refused, "not a URL"};
    const int fd = connectTo(socketPath(name));
    if (fd < 0) return {};
    const bool sent = sendAll(fd, url + "\n");
    const int sendError = errno;
    shutdown(fd, SHUT_WR);
    // A game that refuses may answer before it has read everything, so the answer is read
    // even when the write failed.
    const Answer answer = readAnswer(fd);
    close(fd);
    if (answer.line == "accepted") return {Outcome::Accepted, ""};
    const std::string refused = "refused: ";
    if (answer.line.compare(0, refused.size(), refused) == 0 && answer.line.size() > refused.size())
        return {Outcome::Refused, printable(answer.line.substr(refused.size()))};
    if (!answer.line.empty())
        return {Outcome::Refused, "an answer that is neither accepted nor refused: " + printable(answer.line)};
    if (answer.timedOut)
        return {Outcome::Refused, "no answer within " + std::to_string(kAnswerPatience.count()) + " s"};
    if (!sent) return {Outcome::Refused, std::string("the URL could not be written: ") + std::strerror(sendError)};
    return {Outcome::Refused, "the running game closed the connection without an answer"};
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
        std::string refusal;
        if (url) {
            queue(*url, refusal);
        } else {
            if (!sender.received.empty())
                std::fprintf(stderr, "UrlHandover: refused a handed-over text of %zu bytes\n", sender.received.size());
            refusal = !ended                      ? "no whole line arrived in time"
                      : line.size() > kLongestUrl ? "longer than " + std::to_string(kLongestUrl) + " bytes"
                      : line.empty()              ? "no URL arrived"
                                                  : "not a URL";
        }
        // The sender waits for this line; the socket's buffer is empty and takes it whole, so one
        // try without blocking is enough. A sender that is gone misses nothing.
        sendAll(sender.fd, refusal.empty() ? "accepted\n" : "refused: " + refusal + "\n");
        it = senders_.erase(it);
    }
}

bool UrlHandover::queue(const std::string& url, std::string& refusal) {
    if (waiting_.size() >= kMostWaiting) {
        std::fprintf(stderr, "UrlHandover: %zu URLs wait already; refused one of %zu bytes\n", waiting_.size(),
                     url.size());
        refusal = std::to_string(waiting_.size()) + " URLs wait already";
        return false;
    }
    waiting_.push_back(url);
    return true;
}

}  // namespace platform
