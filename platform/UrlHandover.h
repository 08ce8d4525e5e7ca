// Hands URLs of the game's own scheme to the running game: a second launch connects to a Unix
// socket in the player's runtime folder and writes one line, the URL (or an empty line: show
// yourself); the running game accepts on that socket from its host loop and answers "accepted" or
// "refused: <reason>". A sender that heard "accepted" confirms with "ok", and only then is its
// request carried out: a sender that gave up before the answer reached it never confirms, so
// its URL is never opened behind its back. One that only asked whether a game answers says "no"
// instead, and nothing is done. Both ends talk only to a process of their own user
// (the peer's credentials on the socket). What arrives is checked before anyone sees it:
// length-capped, printable ASCII, a scheme and nothing after the first line. A flood of them
// cannot swamp the game: they reach it one at a time at a bounded pace, and only a bounded
// number waits. When the game quits, it stops taking requests and opens every URL it confirmed
// before its background step. From the moment the game holds the player's folders until its loop
// runs, a thread of its own answers each launch "starting", again and again, and keeps what it
// asked for: the loop answers it then as above, and a game that ends first tells it "refused: the
// game is quitting".
#pragma once
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/UserFolders.h"

namespace platform {

class UrlHandover {
public:
    // The longest URL a launch can carry: the kernel caps one argument at 128 KiB with its NUL.
    // The messenger's card answers run that long.
    static constexpr std::size_t kLongestUrl = 128 * 1024 - 1;
    // The handler gets at most one URL per this many seconds of the frame clock.
    static constexpr double kUrlInterval = 0.25;
    // URLs waiting for their turn (those accepted but not yet confirmed count too); one beyond
    // them is refused with a log line.
    static constexpr std::size_t kMostWaiting = 16;
    // How long a second launch waits, from its start to the running game's answer, in all; and, for a game its
    // caller sees at work (running, not stopped: one drawing slow first frames under load), how long at most.
    static constexpr std::chrono::seconds kPatience{2};
    static constexpr std::chrono::seconds kAtWorkPatience{30};
    // How long a second launch waits at most, from its start, for a game that keeps answering that it is
    // starting (a cold start on a loaded machine takes tens of seconds): each answer is awaited kPatience.
    static constexpr std::chrono::seconds kStartingPatience{60};

    // "<runtime folder>/<name>.sock" (see runtimeFolder in UserFolders.h); empty when the runtime
    // folder is refused.
    static std::string socketPath(const std::string& name);

    // The URL as handed over, when it is a well-formed URL: "scheme:rest", scheme letters,
    // digits, "+", "-", "." starting with a letter, every byte printable ASCII, within the cap.
    // Otherwise nothing, and `reason`, when given, says what is wrong ("a space at byte 8").
    static std::optional<std::string> checkUrl(const std::string& text, std::string* reason = nullptr);

    // What became of a request a second launch handed over.
    struct Receipt {
        enum class Outcome {
            NobodyListens,  // no game listened on the socket within the patience
            Accepted,       // the running game took it and carries it out in its turn
            Refused,        // it will not be carried out: reason says why
            Gone,           // the game quits (or stopped listening to this launch) before it took
                            // it: not carried out; reason says what was seen
        };
        Outcome outcome = Outcome::NobodyListens;
        // Refused: the running game's own reason ("16 URLs wait already"), or what went wrong
        // on the way ("no answer within 2 s"); one line, its control characters as \xNN. Empty
        // otherwise.
        std::string reason;
        // A game answered, accepting or refusing in its own words: a process that takes the
        // connection and says nothing (one that is stopped) is no game that answers.
        bool answered = false;
        // The game answered that it is starting: Refused when it did so past kStartingPatience (or then fell
        // silent); an ask (askRunning) that heard it is Accepted.
        bool starting = false;
    };
    // Asked between tries to connect while nobody listens yet: false ends the wait at once
    // (NobodyListens), as when the game that was starting or quitting let its folders go. As `atWork`,
    // asked once the patience is over while a game listens on the socket (it took the connection, or
    // takes no one just now): true while the caller sees the game at work, which is then waited for
    // on, up to kAtWorkPatience in all. Where nothing listens, the patience is all.
    using KeepWaiting = std::function<bool()>;
    // Told once, as the game first answers that it is starting: how long the launch waits for it at most.
    using Starting = std::function<void(std::chrono::steady_clock::duration most)>;
    // What the caller has a launch wait on, as above.
    struct Waits {
        KeepWaiting keepWaiting;
        KeepWaiting atWork;
        Starting starting;
    };

    // The second launch of a game that runs (or is starting): hands the URL over to the first of
    // the sockets named that a game of this user listens on, and waits for the answer, kPatience
    // at most in all, connecting included. A URL that checkUrl refuses is refused here, without
    // asking anyone; a socket of another user is refused without a word written to it.
    // A game that answers that it is starting is waited for while it keeps doing so, up to kStartingPatience.
    static Receipt sendToRunning(const std::vector<std::string>& names, const std::string& url,
                                 const Waits& waits = {});
    static Receipt sendToRunning(const std::string& name, const std::string& url) {
        return sendToRunning(std::vector<std::string>{name}, url);
    }
    // The same for a launch without a URL: asks the running game to show its window.
    static Receipt showRunning(const std::vector<std::string>& names, const Waits& waits = {});
    // Whether a game answers on one of the sockets: asks it to show its window and withdraws the request
    // once accepted, or once the game answers that it is starting, so the game does nothing (Accepted: it answers).
    static Receipt askRunning(const std::vector<std::string>& names, const Waits& waits = {});
    static Receipt showRunning(const std::string& name) { return showRunning(std::vector<std::string>{name}); }
    // Whether a game of this user listens on one of the sockets now (asking it nothing).
    static bool listening(const std::vector<std::string>& names);

    struct Handlers {
        // Only URLs of this scheme ("<scheme>://...") are taken; others are refused on the socket,
        // as the game would drop them. Empty: any.
        std::string scheme;
        std::function<void(const std::string&)> open;  // a URL's turn came
        std::function<void()> show;                    // a second launch without a URL
    };
    // The game as soon as it holds the player's folders: listens on a socket for each name (replacing a
    // stale one no game answers on; anything else at its path is left alone), and answers on them from a
    // thread of its own that the game is starting, until serve() hands them to the main host loop and the
    // loop first polls them. Null when no socket could be made; error gets what went wrong with any
    // (another running game listens on it, a file in its place...).
    static std::unique_ptr<UrlHandover> listenWhileStarting(const std::vector<std::string>& names,
                                                            std::string* error = nullptr);
    // The main host loop serves the sockets from its next pass on: it takes over the launches that wait and
    // answers them; received URLs go to open there, in order and paced as above. When the main host loop
    // quits, settle runs before its background step. Once.
    void serve(Handlers handlers);
    // The running game: listens and serves from the loop's next pass, nothing answering before it.
    static std::unique_ptr<UrlHandover> listen(const std::vector<std::string>& names, Handlers handlers,
                                               std::string* error = nullptr);
    static std::unique_ptr<UrlHandover> listen(const std::string& name, Handlers handlers,
                                               std::string* error = nullptr) {
        return listen(std::vector<std::string>{name}, std::move(handlers), error);
    }
    // A game that ends before its loop polled the sockets tells each launch that waits on it that it quits.
    ~UrlHandover();
    UrlHandover(const UrlHandover&) = delete;
    UrlHandover& operator=(const UrlHandover&) = delete;

    // The first socket's path.
    const std::string& path() const { return paths_.front(); }
    const std::vector<std::string>& paths() const { return paths_; }
    // One pass: accepts waiting senders, reads what they wrote and hands the next URL over
    // when its turn has come (never blocks).
    void poll();
    // The game quits: takes no more requests (new senders are refused, the sockets go), settles
    // the accepted ones (a confirmation already sent counts, none can be sent any more) and opens
    // every confirmed URL that still waits, at once. Once; polls do nothing afterwards.
    void settle();

private:
    struct Sender;
    UrlHandover() = default;
    void receive(double now);
    void accept(double now);
    // Reads the sender's request; true once it was answered (and the sender is done with, unless
    // it now owes its confirmation).
    bool answer(Sender& sender, double now);
    // Reads the confirmation of an accepted sender; true once the sender is done with.
    bool confirm(Sender& sender, double now);
    // Why the request would not be carried out, or empty when it would.
    std::string refusalOf(const std::string& line, bool whole) const;

    // Takes in the senders waiting on the sockets (all of them when quitting: they are refused).
    void acceptOn(int listener, double now, bool quitting);
    // The sockets, without anyone answering on them yet.
    static std::unique_ptr<UrlHandover> open(const std::vector<std::string>& names, std::string* error);
    // The thread that answers while the game starts, and its end: the senders it kept then wait here.
    void answerWhileStarting();
    // Takes in the launches waiting on the sockets, as many as are kept; false when one could not be taken.
    bool acceptWhileStarting(std::chrono::steady_clock::time_point now);
    void stopAnsweringWhileStarting(double now);

    HeldFolder runtime_;              // the sockets' folder, as checked when they were made
    std::vector<std::string> files_;  // the sockets' names in it
    std::vector<std::string> paths_;  // and their paths as the player knows them
    std::vector<int> fds_;
    std::uint64_t source_ = 0;
    std::uint64_t quitStep_ = 0;
    bool settled_ = false;
    Handlers handlers_;
    std::vector<std::unique_ptr<Sender>> senders_;
    std::deque<std::string> waiting_;
    double nextTurn_ = 0.0;
    std::thread starting_;
    int stopStarting_[2] = {-1, -1};                        // a pipe that ends the thread's wait
    std::vector<std::unique_ptr<Sender>> startingSenders_;  // the thread's while it runs
};

}  // namespace platform
