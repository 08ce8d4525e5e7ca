// The running game's end of the handover: its sockets, the senders it takes in, their answers, the URLs
// that wait their turn, and what it settles when it quits.
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
#include <system_error>

#include "platform/Clock.h"
#include "platform/HostLoop.h"
#include "platform/UrlHandoverSocket.h"
#include "platform/UserFolders.h"

namespace platform {
namespace {

using namespace handover;

// A sender that says nothing (or does not confirm) for this long is dropped.
constexpr double kSenderPatience = 2.0;
constexpr std::size_t kMostSenders = 8;
// While the game starts, launches wait on it for as long as it takes: more of them are kept, and each is told
// that the game is starting this often, well within the patience a launch has for an answer.
constexpr std::size_t kMostStartingSenders = 64;
constexpr std::chrono::milliseconds kStartingInterval{500};
// How long a connection that cannot be taken (out of descriptors) waits before it is tried again.
constexpr std::chrono::milliseconds kAcceptBackOff{100};

// Why what a sender wrote so far (its first line, or all of it) is no request, once no more is awaited: too long, or
// not a whole line; empty when it is a whole line within the cap.
std::string unfinishedRequest(const std::string& line, bool whole) {
    if (line.size() > UrlHandover::kLongestUrl)
        return "longer than " + std::to_string(UrlHandover::kLongestUrl) + " bytes";
    if (!whole) return line.empty() ? "no request arrived" : "no whole line arrived";
    return "";
}

// Refused and closed: a sender of another user hears nothing else.
void refuseOtherUser(int fd) {
    const long user = peerUser(fd);
    std::fprintf(stderr, "UrlHandover: refused a sender of user %ld: the game takes URLs only from its own user\n",
                 user);
    sendAll(fd, "refused: the game takes URLs only from its own user\n", SteadyClock::now());
    close(fd);
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
    // While the game starts (by the steady clock: the frame clock may stand still in tests).
    SteadyClock::time_point arrived;
    SteadyClock::time_point nextStarting;  // when it is next told that the game is starting
    ~Sender() {
        if (fd >= 0) close(fd);
    }
    // While the game starts: reads what it wrote and tells it again that the game is starting when its time has
    // come; false once it is done with (it left, withdrew its ask, or sent no request in time).
    bool waitsWhileStarting(SteadyClock::time_point now);
};

bool UrlHandover::Sender::waitsWhileStarting(SteadyClock::time_point now) {
    const Received state = readAvailable(fd, received);
    if (state.ended || state.failed) return false;  // it gave up, or was killed: nothing was taken from it
    const std::string::size_type newline = received.find('\n');
    const bool whole = newline != std::string::npos && newline <= kLongestUrl;
    // A launch that only asked whether a game answers withdraws once it heard that one starts; nothing else
    // comes after a request before it is answered.
    const std::string withdrawal = std::string(kWithdrawal) + "\n";
    const std::string after = whole ? received.substr(newline + 1) : std::string();
    if (whole && after == withdrawal) return false;
    const bool more = whole && withdrawal.compare(0, after.size(), after) != 0;
    const bool late = now - arrived >= std::chrono::duration<double>(kSenderPatience);
    if (more || (!whole && (received.size() > kLongestUrl || late))) {
        // Refused as the loop would refuse it.
        const std::string why = more ? "more than a request arrived" : unfinishedRequest(received, false);
        sendAll(fd, "refused: " + why + "\n", now);
        return false;
    }
    if (now >= nextStarting) {
        sendAll(fd, std::string(kStarting) + "\n", now);
        nextStarting = now + kStartingInterval;
    }
    return true;
}

std::string UrlHandover::socketPath(const std::string& name) {
    const std::string runtime = runtimeFolder();
    return runtime.empty() ? std::string() : runtime + "/" + name + ".sock";
}

std::optional<std::string> UrlHandover::checkUrl(const std::string& text, std::string* reason) {
    auto refuse = [reason](const std::string& why) -> std::optional<std::string> {
        if (reason) *reason = why;
        return std::nullopt;
    };
    if (text.empty()) return refuse("it is empty");
    if (text.size() > kLongestUrl) return refuse("longer than " + std::to_string(kLongestUrl) + " bytes");
    // The byte that is wrong, and where (counted from 1), so a stray space or a pasted character is found.
    for (std::string::size_type i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c > 0x20 && c < 0x7f) continue;
        char code[8];
        std::snprintf(code, sizeof code, "0x%02x", c);
        const std::string what = c == ' '   ? std::string("a space")
                                 : c < 0x80 ? "a control character (" + std::string(code) + ")"
                                            : "a byte beyond ASCII (" + std::string(code) + ")";
        return refuse(what + " at byte " + std::to_string(i + 1));
    }
    const std::string::size_type colon = text.find(':');
    if (colon == std::string::npos) return refuse("no \":\" ends a scheme");
    if (!std::isalpha(static_cast<unsigned char>(text[0]))) return refuse("its scheme does not start with a letter");
    for (std::string::size_type i = 0; i < colon; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.')
            return refuse(std::string("\"") + text[i] + "\" at byte " + std::to_string(i + 1) +
                          " cannot be in a scheme");
    }
    return text;
}

std::unique_ptr<UrlHandover> UrlHandover::open(const std::vector<std::string>& names, std::string* error) {
    std::unique_ptr<UrlHandover> handover(new UrlHandover());
    // Held for as long as the sockets are: they are removed through it too.
    handover->runtime_ = openRuntimeFolder();
    const HeldFolder& runtime = handover->runtime_;
    std::string failures;
    for (const std::string& name : names) {
        std::string why = "there is no runtime folder for its socket";
        const std::string file = name + ".sock";
        const int fd = runtime ? listenAt(runtime, file, why) : -1;
        if (fd < 0) {
            if (failures.find(why) == std::string::npos) failures += (failures.empty() ? "" : "; ") + why;
            continue;
        }
        handover->fds_.push_back(fd);
        handover->files_.push_back(file);
        handover->paths_.push_back(runtime.pathOf(file));
    }
    if (error) *error = failures;
    if (handover->fds_.empty()) return nullptr;
    return handover;
}

std::unique_ptr<UrlHandover> UrlHandover::listenWhileStarting(const std::vector<std::string>& names,
                                                              std::string* error) {
    std::unique_ptr<UrlHandover> handover = open(names, error);
    if (!handover) return nullptr;
    if (::pipe2(handover->stopStarting_, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::fprintf(stderr, "UrlHandover: cannot make a pipe (%s); launches wait for the game's loop\n",
                     std::strerror(errno));
        return handover;
    }
    try {
        handover->starting_ = std::thread([self = handover.get()] { self->answerWhileStarting(); });
    } catch (const std::system_error& failure) {
        // The sockets stay: a launch that finds one listening never runs beside this game, and is answered once
        // the loop runs.
        std::fprintf(stderr,
                     "UrlHandover: cannot start a thread to answer while the game starts (%s); launches wait "
                     "for the game's loop\n",
                     failure.what());
    }
    return handover;
}

void UrlHandover::serve(Handlers handlers) {
    if (source_) return;
    handlers_ = std::move(handlers);
    source_ = HostLoop::main().addSource([this] { poll(); });
    quitStep_ = HostLoop::main().addQuitStep([this] { settle(); });
}

std::unique_ptr<UrlHandover> UrlHandover::listen(const std::vector<std::string>& names, Handlers handlers,
                                                 std::string* error) {
    std::unique_ptr<UrlHandover> handover = open(names, error);
    if (handover) handover->serve(std::move(handlers));
    return handover;
}

bool UrlHandover::acceptWhileStarting(SteadyClock::time_point now) {
    for (const int listener : fds_) {
        int fd;
        while (startingSenders_.size() < kMostStartingSenders &&
               (fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0) {
            if (!ownUser(peerUser(fd))) {
                refuseOtherUser(fd);
                continue;
            }
            auto sender = std::make_unique<Sender>();
            sender->fd = fd;
            sender->arrived = now;
            sender->nextStarting = now;
            startingSenders_.push_back(std::move(sender));
        }
        // Out of descriptors (or memory), the connection waits on and keeps the socket readable.
        if (startingSenders_.size() < kMostStartingSenders && errno != EAGAIN && errno != EWOULDBLOCK &&
            errno != EINTR && errno != ECONNABORTED)
            return false;
    }
    return true;
}

void UrlHandover::answerWhileStarting() {
    std::vector<pollfd> watched;
    SteadyClock::time_point acceptAgain;
    for (;;) {
        const SteadyClock::time_point now = SteadyClock::now();
        if (now >= acceptAgain && !acceptWhileStarting(now)) acceptAgain = now + kAcceptBackOff;
        SteadyClock::time_point wake = SteadyClock::time_point::max();
        for (auto it = startingSenders_.begin(); it != startingSenders_.end();) {
            const bool done = !(*it)->waitsWhileStarting(now);
            if (!done) wake = std::min(wake, (*it)->nextStarting);
            it = done ? startingSenders_.erase(it) : it + 1;
        }
        watched.assign({{stopStarting_[0], POLLIN, 0}});
        // Launches beyond those kept wait their turn, and one that left makes room: looked at again then.
        if (startingSenders_.size() < kMostStartingSenders && now >= acceptAgain)
            for (const int listener : fds_) watched.push_back({listener, POLLIN, 0});
        else if (now < acceptAgain)
            wake = std::min(wake, acceptAgain);
        for (const auto& sender : startingSenders_) watched.push_back({sender->fd, POLLIN, 0});
        const long long left =
            wake == SteadyClock::time_point::max()
                ? -1
                : std::max<long long>(0, std::chrono::ceil<std::chrono::milliseconds>(wake - now).count());
        if (::poll(watched.data(), watched.size(), static_cast<int>(left)) < 0 && errno != EINTR)
            std::this_thread::sleep_for(kStartingInterval);
        if (watched[0].revents != 0) return;
    }
}

void UrlHandover::stopAnsweringWhileStarting(double now) {
    if (!starting_.joinable()) return;
    (void)!::write(stopStarting_[1], "x", 1);
    starting_.join();
    // They are answered from here, each with the patience a new sender has.
    for (auto& sender : startingSenders_) {
        sender->since = now;
        senders_.push_back(std::move(sender));
    }
    startingSenders_.clear();
}

UrlHandover::~UrlHandover() {
    // Ended before its loop took them: nothing they asked for is carried out, and each is told so at once, so
    // that its launch waits for the folders to come free instead.
    if (starting_.joinable()) {
        stopAnsweringWhileStarting(0.0);
        for (const auto& sender : senders_)
            sendAll(sender->fd, std::string("refused: ") + kQuitting + "\n", SteadyClock::now());
        senders_.clear();
    }
    for (const int fd : stopStarting_)
        if (fd >= 0) close(fd);
    if (source_) HostLoop::main().removeSource(source_);
    if (quitStep_) HostLoop::main().removeQuitStep(quitStep_);
    for (std::size_t i = 0; i < fds_.size(); ++i) {
        close(fds_[i]);
        unlinkat(runtime_.descriptor(), files_[i].c_str(), 0);
    }
}

void UrlHandover::poll() {
    if (settled_) return;
    const double now = Clock::now();
    stopAnsweringWhileStarting(now);
    receive(now);
    if (waiting_.empty() || now < nextTurn_) return;
    const std::string url = std::move(waiting_.front());
    waiting_.pop_front();
    nextTurn_ = now + kUrlInterval;
    if (handlers_.open) handlers_.open(url);
}

void UrlHandover::accept(double now) {
    for (const int listener : fds_) acceptOn(listener, now, false);
}

void UrlHandover::acceptOn(int listener, double now, bool quitting) {
    for (int fd; (quitting || senders_.size() < kMostSenders) &&
                 (fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)) >= 0;) {
        if (!ownUser(peerUser(fd))) {
            refuseOtherUser(fd);
        } else if (quitting) {
            // Told at once, so its launch waits for the folders instead of for an answer.
            sendAll(fd, std::string("refused: ") + kQuitting + "\n", SteadyClock::now());
            close(fd);
        } else {
            auto sender = std::make_unique<Sender>();
            sender->fd = fd;
            sender->since = now;
            senders_.push_back(std::move(sender));
        }
    }
}

void UrlHandover::settle() {
    if (settled_) return;
    settled_ = true;
    stopAnsweringWhileStarting(0.0);
    for (std::size_t i = 0; i < fds_.size(); ++i) {
        acceptOn(fds_[i], 0.0, true);
        close(fds_[i]);
        unlinkat(runtime_.descriptor(), files_[i].c_str(), 0);
    }
    fds_.clear();
    int cut = 0;
    for (const auto& sender : senders_) {
        if (!sender->accepted) {
            sendAll(sender->fd, std::string("refused: ") + kQuitting + "\n", SteadyClock::now());
            continue;
        }
        // From here on its confirmation cannot be sent: one already sent is read, and decides.
        shutdown(sender->fd, SHUT_RD);
        readAvailable(sender->fd, sender->received);
        if (sender->received.rfind(std::string(kWithdrawal) + "\n", 0) == 0) continue;  // it wants nothing done
        if (sender->received.rfind(std::string(kConfirmation) + "\n", 0) != 0) {
            ++cut;
        } else if (!sender->url.empty()) {
            waiting_.push_back(sender->url);
        }
    }
    senders_.clear();
    if (cut > 0)
        std::fprintf(stderr, "UrlHandover: the game quits before %d sender(s) confirmed; theirs are not carried out\n",
                     cut);
    // Every confirmed URL is the game's to open, and its sender was told so.
    while (!waiting_.empty()) {
        const std::string url = std::move(waiting_.front());
        waiting_.pop_front();
        if (handlers_.open) handlers_.open(url);
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
    if (const std::string unfinished = unfinishedRequest(line, whole); !unfinished.empty()) return unfinished;
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
    // A sender that only asked whether a game answers wants nothing done, and is no sender that left.
    if (sender.received.rfind(std::string(kWithdrawal) + "\n", 0) == 0) return true;
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
