// Hands URLs of the game's own scheme to the running game: a second launch connects to a Unix
// socket in $XDG_RUNTIME_DIR and writes the URL; the running game accepts on that socket from
// its host loop and answers each sender with one line, "accepted" or "refused: <reason>", before
// it closes. What arrives is checked before anyone sees it: length-capped, printable
// ASCII, a scheme and nothing after the first line. A flood of them cannot swamp the game:
// they reach it one at a time at a bounded pace, and only a bounded number waits.
#pragma once
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform {

class UrlHandover {
public:
    // The longest URL a launch can carry: the kernel caps one argument at 128 KiB with its NUL.
    // The messenger's card answers run that long.
    static constexpr std::size_t kLongestUrl = 128 * 1024 - 1;
    // The handler gets at most one URL per this many seconds of the frame clock.
    static constexpr double kUrlInterval = 0.25;
    // URLs waiting for their turn; one beyond them is refused with a log line.
    static constexpr std::size_t kMostWaiting = 16;

    // "$XDG_RUNTIME_DIR/<name>.sock" (or under /tmp with the user id when the variable is unset).
    static std::string socketPath(const std::string& name);

    // The URL as handed over, when it is a well-formed URL: "scheme:rest", scheme letters,
    // digits, "+", "-", "." starting with a letter, every byte printable ASCII, within the cap.
    static std::optional<std::string> checkUrl(const std::string& text);

    // What became of a URL a second launch handed over.
    struct Receipt {
        enum class Outcome {
            NobodyListens,  // no running game answers on the socket: the launch is the game itself
            Accepted,       // the running game took it and opens it in its turn
            Refused,        // it did not reach the running game's queue: reason says why
        };
        Outcome outcome = Outcome::NobodyListens;
        // Refused: the running game's own reason ("16 URLs wait already"), or what went wrong
        // on the way ("no answer within 2 s"); one line of printable ASCII. Empty otherwise.
        std::string reason;
    };

    // The second launch: hands the URL to the running game and waits (bounded) for its answer.
    // A URL that checkUrl refuses is refused here, without asking anyone.
    static Receipt sendToRunning(const std::string& name, const std::string& url);

    // The running game: listens on the socket (replacing a stale one no game answers on) and
    // polls it from the main host loop; received URLs go to the handler there, in order and
    // paced as above. Null when the
    // socket cannot be made, or another running game already listens on it.
    static std::unique_ptr<UrlHandover> listen(const std::string& name,
                                               std::function<void(const std::string&)> handler);
    ~UrlHandover();
    UrlHandover(const UrlHandover&) = delete;
    UrlHandover& operator=(const UrlHandover&) = delete;

    const std::string& path() const { return path_; }
    // One pass: accepts waiting senders, reads what they wrote and hands the next URL over
    // when its turn has come (never blocks).
    void poll();

private:
    struct Sender;
    UrlHandover() = default;
    void receive(double now);
    // True when the URL waits for its turn; otherwise why it was refused.
    bool queue(const std::string& url, std::string& refusal);

    std::string path_;
    int fd_ = -1;
    std::uint64_t source_ = 0;
    std::function<void(const std::string&)> handler_;
    std::vector<std::unique_ptr<Sender>> senders_;
    std::deque<std::string> waiting_;
    double nextTurn_ = 0.0;
};

}  // namespace platform
