// The second launch's end of the handover: it hands a URL (or a request to show the window) to the
// running game and hears what became of it.
#include "platform/UrlHandover.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/PrintableText.h"
#include "platform/UrlHandoverSocket.h"
#include "platform/UserFolders.h"

namespace platform {
namespace {

using namespace handover;
using Receipt = UrlHandover::Receipt;

// How often a second launch tries again to connect to a game that is starting or catching up.
constexpr std::chrono::milliseconds kConnectRetry{10};

// How often a game at work is asked about once the patience is over.
constexpr std::chrono::milliseconds kAtWorkRetry{100};

// The time a request may take: the patience, then on while the caller sees the game at work (a busy one may be
// slow to answer), up to kAtWorkPatience from the start; and while the game answers that it is starting, the
// patience past each such answer, up to kStartingPatience from the start.
class Deadline {
public:
    explicit Deadline(const UrlHandover::Waits& waits)
        : start_(SteadyClock::now()), at_(start_ + UrlHandover::kPatience), atWorkFrom_(start_), waits_(waits) {}
    SteadyClock::time_point at() const { return at_; }
    // The deadline passed: whether to wait on (then at() is later). Past the patience, only a game that listens
    // where this launch looks is waited for: one at work may be slow to answer.
    bool extend(bool listens = true) {
        const auto now = SteadyClock::now();
        const auto latest = atWorkFrom_ + UrlHandover::kAtWorkPatience;
        if (now < at_) return true;
        if (!listens || !waits_.atWork || now >= latest || !waits_.atWork()) return false;
        at_ = std::min(now + kAtWorkRetry, latest);
        return true;
    }
    // The game answered that it is starting: whether to wait on for its next answer (said once, as that wait
    // begins). Once it has started, a game at work is waited for as from then.
    bool starting() {
        const auto now = SteadyClock::now();
        const auto latest = start_ + UrlHandover::kStartingPatience;
        if (now >= latest) return false;
        if (!startingSaid_ && waits_.starting) waits_.starting(latest - now);
        startingSaid_ = true;
        at_ = std::min(now + UrlHandover::kPatience, latest);
        atWorkFrom_ = now;
        return true;
    }
    // How long it was waited, in whole seconds.
    std::string waited() const {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(SteadyClock::now() - start_);
        return std::to_string(std::max(seconds, UrlHandover::kPatience).count()) + " s";
    }

private:
    SteadyClock::time_point start_;
    SteadyClock::time_point at_;
    SteadyClock::time_point atWorkFrom_;
    bool startingSaid_ = false;
    const UrlHandover::Waits& waits_;
};

struct Answer {
    std::string line;             // what came before the newline or the end, capped
    bool timedOut = false;        // nothing more came before the deadline
    bool starting = false;        // the game answered that it is starting
    bool startedTooLong = false;  // and still did so past kStartingPatience
};

// The running game's answer line, read until its newline, the end, or the deadline; a game that answers that it
// is starting is waited on while it keeps doing so (an ask takes that for the answer: a game answers).
Answer readAnswer(int fd, Deadline& deadline, bool ask) {
    Answer answer;
    std::string received;
    for (;;) {
        for (auto newline = received.find('\n'); newline != std::string::npos; newline = received.find('\n')) {
            const bool starting = received.compare(0, newline, kStarting) == 0;
            if (!starting || ask) {
                answer.line = received.substr(0, std::min(newline, kLongestAnswer));
                answer.starting = answer.starting || starting;
                return answer;
            }
            received.erase(0, newline + 1);
            answer.starting = true;
            if (!deadline.starting()) {
                answer.timedOut = answer.startedTooLong = true;
                return answer;
            }
        }
        if (received.size() > kLongestAnswer) break;
        if (!waitFor(fd, POLLIN, deadline.at())) {
            if (deadline.extend()) continue;
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

// How much of what another process wrote is quoted.
constexpr std::size_t kLongestQuoted = 200;

struct Connection {
    int fd = -1;
    UrlHandover::Receipt failure;  // when fd < 0
};

// A connection to the first of the sockets a game of this user listens on; tried again while a
// game may be starting (nobody listens yet, or it takes no one now), until the deadline.
Connection connectToRunning(const std::vector<std::string>& names, Deadline& deadline,
                            const UrlHandover::KeepWaiting& keepWaiting) {
    using Outcome = Receipt::Outcome;
    // Every try goes through the folder checked here, whatever its path names meanwhile.
    const HeldFolder runtime = openRuntimeFolder();
    if (!runtime) return {-1, {Outcome::Refused, "there is no runtime folder to reach it through"}};
    std::vector<sockaddr_un> addresses;
    for (const std::string& name : names) {
        addresses.emplace_back();
        if (!socketAddress(runtime.reach(name + ".sock"), &addresses.back()))
            return {-1, {Outcome::Refused, "the socket's path is too long: " + runtime.pathOf(name + ".sock")}};
    }
    for (;;) {
        bool busy = false;
        std::string refusal;  // why a socket of these is not the game's; another of them may be
        for (const sockaddr_un& address : addresses) {
            const int fd = tryConnect(address);
            if (fd >= 0) {
                // Checked before a byte is written: a URL can carry an account's codes.
                const long user = peerUser(fd);
                if (ownUser(user)) return {fd, {}};
                close(fd);
                refusal = "the socket belongs to user " + std::to_string(user);
                continue;
            }
            const int error = errno;
            if (error == EAGAIN) {
                busy = true;
            } else if (error != ENOENT && error != ECONNREFUSED && error != EINTR) {
                refusal = "cannot reach the running game: " + std::string(std::strerror(error));
            }
        }
        if (!refusal.empty()) return {-1, {Outcome::Refused, refusal}};
        if (keepWaiting && !keepWaiting()) return {-1, {}};
        // Looked at once asked whether to wait on, which may take a while on a busy machine.
        if (SteadyClock::now() + kConnectRetry >= deadline.at() && !deadline.extend(busy))
            return {-1, busy ? Receipt{Outcome::Refused, "no answer within " + deadline.waited()} : Receipt{}};
        std::this_thread::sleep_for(kConnectRetry);
    }
}

// One request line to the running game, its answer, and the confirmation of an accepted one (or, where it only
// asks whether a game answers, its withdrawal).
Receipt request(const std::vector<std::string>& names, const std::string& line, const UrlHandover::Waits& waits,
                bool confirm = true) {
    using Outcome = Receipt::Outcome;
    Deadline deadline(waits);
    const Connection connection = connectToRunning(names, deadline, waits.keepWaiting);
    if (connection.fd < 0) return connection.failure;
    const int fd = connection.fd;
    bool sent = false;
    for (std::size_t written = 0; !sent;) {
        sent = sendAll(fd, line + "\n", deadline.at(), &written);
        if (sent || errno != ETIMEDOUT || !deadline.extend()) break;
    }
    const int sendError = errno;
    // A game that refuses may answer before it has read everything, so the answer is read even
    // when the write failed.
    const Answer answer = readAnswer(fd, deadline, !confirm);
    Receipt receipt;
    const std::string refused = "refused: ";
    if (!confirm && answer.line == kStarting) {
        // A game that starts answers: it is told that this launch wants nothing done.
        sendAll(fd, std::string(kWithdrawal) + "\n", SteadyClock::now());
        receipt = {Outcome::Accepted, "", true};
    } else if (answer.line == kAccepted) {
        // Once this is sent the request is the game's to carry out; a game that gave up waiting for
        // it (or quits) has stopped reading, and then it cannot be sent.
        // One that only asked withdraws its request, so that the game waits for no confirmation.
        const bool confirmed =
            sendAll(fd, std::string(confirm ? kConfirmation : kWithdrawal) + "\n", SteadyClock::now());
        receipt = !confirm || confirmed
                      ? Receipt{Outcome::Accepted, "", true}
                      : Receipt{Outcome::Gone, "the running game stopped waiting for its confirmation", true};
    } else if (answer.line == refused + kQuitting) {
        receipt = {Outcome::Gone, kQuitting, true};
    } else if (answer.line.compare(0, refused.size(), refused) == 0 && answer.line.size() > refused.size()) {
        receipt = {Outcome::Refused, printableText(answer.line.substr(refused.size()), kLongestQuoted), true};
    } else if (!answer.line.empty()) {
        receipt = {Outcome::Refused,
                   "an answer that is neither accepted nor refused: " + printableText(answer.line, kLongestQuoted)};
    } else if (answer.startedTooLong) {
        receipt = {Outcome::Refused, "still starting after " + deadline.waited()};
    } else if (answer.timedOut) {
        receipt = {Outcome::Refused, "no answer within " + deadline.waited()};
    } else if (!sent) {
        receipt = {Outcome::Refused, std::string("the request could not be written: ") + std::strerror(sendError)};
    } else {
        receipt = {Outcome::Gone, "the running game closed the connection without an answer"};
    }
    receipt.starting = answer.starting;
    close(fd);
    return receipt;
}

}  // namespace

UrlHandover::Receipt UrlHandover::sendToRunning(const std::vector<std::string>& names, const std::string& url,
                                                const Waits& waits) {
    if (!checkUrl(url)) return {Receipt::Outcome::Refused, "not a URL"};
    return request(names, url, waits);
}

UrlHandover::Receipt UrlHandover::showRunning(const std::vector<std::string>& names, const Waits& waits) {
    return request(names, "", waits);
}

UrlHandover::Receipt UrlHandover::askRunning(const std::vector<std::string>& names, const Waits& waits) {
    return request(names, "", waits, false);
}

bool UrlHandover::listening(const std::vector<std::string>& names) {
    const HeldFolder runtime = openRuntimeFolder();
    return std::any_of(names.begin(), names.end(),
                       [&runtime](const std::string& name) { return ownListener(runtime, name + ".sock"); });
}

}  // namespace platform
