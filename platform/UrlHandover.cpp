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
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/Clock.h"
#include "platform/HostLoop.h"

namespace platform {
namespace {

using SteadyClock = std::chrono::steady_clock;

// A sender that says nothing (or does not confirm) for this long is dropped.
constexpr double kSenderPatience = 2.0;
constexpr std::size_t kMostSenders = 8;
// How often a second launch tries again to connect to a game that is starting or catching up.
constexpr std::chrono::milliseconds kConnectRetry{10};
// An answer is one short line; anything longer is not one of ours.
constexpr std::size_t kLongestAnswer = 256;
constexpr const char* kAccepted = "accepted";
constexpr const char* kConfirmation = "ok";

bool socketAddress(const std::string& path, sockaddr_un* address) {
    if (path.size() >= sizeof address->sun_path) return false;
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

// One try at a connection that never blocks: the descriptor, or -1 with errno (EAGAIN: a game
// listens but takes no one now; ENOENT, ECONNREFUSED: nobody listens).
int tryConnect(const sockaddr_un& address) {
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

// Waits until the descriptor is ready for events or the deadline passes; false when it passed.
bool waitFor(int fd, short events, SteadyClock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
        if (left <= 0) return false;
        pollfd ready{fd, events, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(left));
        if (polled > 0) return true;
        if (polled < 0 && errno != EINTR) return true;  // the next call on it says what is wrong
    }
}

// Writes everything before the deadline (a past one: only what goes without waiting).
bool sendAll(int fd, const std::string& bytes, SteadyClock::time_point deadline) {
    std::size_t written = 0;
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

struct Answer {
    std::string line;       // what came before the newline or the end, capped
    bool timedOut = false;  // nothing more came before the deadline
};

// The running game's answer line, read until its newline, the end, or the deadline.
Answer readAnswer(int fd, SteadyClock::time_point deadline) {
    Answer answer;
    std::string received;
    while (received.find('\n') == std::string::npos && received.size() <= kLongestAnswer) {
        if (!waitFor(fd, POLLIN, deadline)) {
            answer.timedOut = true;
            break;
        }
        char buffer[kLongestAnswer];
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
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

std::string patienceText() { return std::to_string(UrlHandover::kPatience.count()) + " s"; }

using Receipt = UrlHandover::Receipt;

// One request line to the running game, its answer, and the confirmation of an accepted one.
Receipt request(const std::string& name, const std::string& line) {
    using Outcome = Receipt::Outcome;
    const auto deadline = SteadyClock::now() + UrlHandover::kPatience;
    const std::string path = UrlHandover::socketPath(name);
    sockaddr_un address;
    if (!socketAddress(path, &address)) return {Outcome::Refused, "the socket's path is too long: " + path};
    // A game that is starting may not listen yet, and one that is stuck takes no one.
    int fd = -1;
    int connectError = 0;
    while ((fd = tryConnect(address)) < 0) {
        connectError = errno;
        if (connectError != ENOENT && connectError != ECONNREFUSED && connectError != EAGAIN && connectError != EINTR)
            return {Outcome::Refused, "cannot reach the running game: " + std::string(std::strerror(connectError))};
        if (SteadyClock::now() + kConnectRetry >= deadline) {
            if (connectError == EAGAIN) return {Outcome::Refused, "no answer within " + patienceText()};
            return {};
        }
        std::this_thread::sleep_for(kConnectRetry);
    }
    const bool sent = sendAll(fd, line + "\n", deadline);
    const int sendError = errno;
    // A game that refuses may answer before it has read everything, so the answer is read even
    // when the write failed.
    const Answer answer = readAnswer(fd, deadline);
    Receipt receipt;
    const std::string refused = "refused: ";
    if (answer.line == kAccepted) {
        // Once this is sent the request is the game's to carry out; a game that gave up waiting for
        // it has stopped reading, and then it cannot be sent.
        receipt = sendAll(fd, std::string(kConfirmation) + "\n", SteadyClock::now())
                      ? Receipt{Outcome::Accepted, ""}
                      : Receipt{Outcome::Refused, "the running game stopped waiting for its confirmation"};
    } else if (answer.line.compare(0, refused.size(), refused) == 0 && answer.line.size() > refused.size()) {
        receipt = {Outcome::Refused, printable(answer.line.substr(refused.size()))};
    } else if (!answer.line.empty()) {
        receipt = {Outcome::Refused, "an answer that is neither accepted nor refused: " + printable(answer.line)};
    } else if (answer.timedOut) {
        receipt = {Outcome::Refused, "no answer within " + patienceText()};
    } else if (!sent) {
        receipt = {Outcome::Refused, std::string("the request could not be written: ") + std::strerror(sendError)};
    } else {
        receipt = {Outcome::Refused, "the running game closed the connection without an answer"};
    }
    close(fd);
    return receipt;
}

struct Received {
    bool ended = false;   // the sender closed its end
    bool failed = false;  // reading failed
};

// Takes in what the sender wrote so far, without waiting; at most a little past the longest request.
Received readAvailable(int fd, std::string& received) {
    Received state;
    char buffer[16384];
    ssize_t n;
    while ((n = recv(fd, buffer, sizeof buffer, 0)) > 0) {
        received.append(buffer, static_cast<std::size_t>(n));
        if (received.size() > UrlHandover::kLongestUrl + 1) return state;
    }
    state.ended = n == 0;
    state.failed = n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR;
    return state;
}

}  // namespace

struct UrlHandover::Sender {
    int fd = -1;
    std::string received;
    double since = 0.0;
    bool accepted = false;  // answered "accepted": its confirmation is awaited
    std::string url;        // what it asked for; empty: to show the window
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
    if (!checkUrl(url)) return {Receipt::Outcome::Refused, "not a URL"};
    return request(name, url);
}

UrlHandover::Receipt UrlHandover::showRunning(const std::string& name) { return request(name, ""); }

std::unique_ptr<UrlHandover> UrlHandover::listen(const std::string& name, Handlers handlers, std::string* error) {
    auto fail = [error](std::string why) {
        if (error) *error = std::move(why);
        return nullptr;
    };
    const std::string path = socketPath(name);
    sockaddr_un address;
    if (!socketAddress(path, &address)) return fail("the socket's path is too long: " + path);
    // Someone listens there when a connection is made or waits its turn.
    const int running = tryConnect(address);
    if (running >= 0 || errno == EAGAIN) {
        if (running >= 0) close(running);
        return fail("another game listens on " + path);
    }
    unlink(path.c_str());  // left by a game that ended without removing it
    std::unique_ptr<UrlHandover> handover(new UrlHandover());
    handover->fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (handover->fd_ < 0) return fail(std::string("cannot make a socket: ") + std::strerror(errno));
    const mode_t oldMask = umask(0077);  // only this user may hand URLs over
    const bool bound = bind(handover->fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    umask(oldMask);
    if (!bound || ::listen(handover->fd_, 4) != 0)
        return fail("cannot listen on " + path + ": " + std::strerror(errno));
    handover->path_ = path;
    handover->handlers_ = std::move(handlers);
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
    if (handlers_.open) handlers_.open(url);
}

void UrlHandover::accept(double now) {
    for (int fd;
         senders_.size() < kMostSenders && (fd = accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;) {
        auto sender = std::make_unique<Sender>();
        sender->fd = fd;
        sender->since = now;
        senders_.push_back(std::move(sender));
    }
}

void UrlHandover::receive(double now) {
    accept(now);
    for (auto it = senders_.begin(); it != senders_.end();) {
        Sender& sender = **it;
        const bool done = sender.accepted ? confirm(sender, now) : answer(sender, now);
        it = done ? senders_.erase(it) : it + 1;
    }
}

std::string UrlHandover::refusalOf(const std::string& line, bool whole) const {
    if (line.size() > kLongestUrl) return "longer than " + std::to_string(kLongestUrl) + " bytes";
    if (!whole) return line.empty() ? "no request arrived" : "no whole line arrived";
    if (line.empty()) return "";  // show the window
    if (!checkUrl(line)) return "not a URL";
    if (!handlers_.scheme.empty() && line.compare(0, handlers_.scheme.size() + 3, handlers_.scheme + "://") != 0)
        return "not a URL of the game's scheme " + handlers_.scheme + "://";
    // URLs accepted but not yet confirmed hold their places.
    const std::size_t waiting =
        waiting_.size() + std::count_if(senders_.begin(), senders_.end(),
                                        [](const auto& other) { return other->accepted && !other->url.empty(); });
    if (waiting >= kMostWaiting) return std::to_string(waiting) + " URLs wait already";
    return "";
}

bool UrlHandover::answer(Sender& sender, double now) {
    const Received state = readAvailable(sender.fd, sender.received);
    const std::string::size_type newline = sender.received.find('\n');
    const bool whole = newline != std::string::npos && newline <= kLongestUrl;
    if (!whole && sender.received.size() <= kLongestUrl && !state.ended && !state.failed &&
        now - sender.since < kSenderPatience)
        return false;
    const std::string line = sender.received.substr(0, newline);
    const std::string refusal = refusalOf(line, whole);
    if (!refusal.empty()) {
        if (!sender.received.empty())
            std::fprintf(stderr, "UrlHandover: refused a handed-over text of %zu bytes: %s\n", sender.received.size(),
                         refusal.c_str());
        // The sender waits for this line; the socket's buffer is empty and takes it whole, so one
        // try without blocking is enough. A sender that is gone misses nothing.
        sendAll(sender.fd, "refused: " + refusal + "\n", SteadyClock::now());
        return true;
    }
    if (!sendAll(sender.fd, std::string(kAccepted) + "\n", SteadyClock::now())) return true;  // gone already
    sender.accepted = true;
    sender.url = line;
    sender.received.erase(0, newline + 1);
    sender.since = now;
    return false;
}

bool UrlHandover::confirm(Sender& sender, double now) {
    const Received state = readAvailable(sender.fd, sender.received);
    if (sender.received.find('\n') == std::string::npos && sender.received.size() <= kLongestAnswer && !state.ended &&
        !state.failed) {
        if (now - sender.since < kSenderPatience) return false;
        // Out of patience: from here on the sender's confirmation cannot be sent, so what arrived
        // before decides, and a sender never hears its request taken when it was not.
        shutdown(sender.fd, SHUT_RD);
        readAvailable(sender.fd, sender.received);
    }
    const bool confirmed = sender.received.rfind(std::string(kConfirmation) + "\n", 0) == 0;
    if (!confirmed) {
        std::fprintf(stderr, "UrlHandover: a sender left before it confirmed its %s; it is not carried out\n",
                     sender.url.empty() ? "request to show the window" : "URL");
    } else if (sender.url.empty()) {
        if (handlers_.show) handlers_.show();
    } else {
        waiting_.push_back(sender.url);
    }
    return true;
}

}  // namespace platform
