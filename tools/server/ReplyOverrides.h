// Replies a test asks for in place of the next ordinary ones: another code, a raw body,
// an HTTP status, a delay, or no reply at all.
#pragma once
#include <deque>
#include <mutex>
#include <optional>
#include <string>

namespace stargrid_server {

struct ReplyOverride {
    std::string path;                 // the game path it waits for ("/game/Version"); empty: any
    std::optional<std::string> code;  // the reply's "code" instead of the real one
    std::optional<std::string> body;  // this body, byte for byte, instead of the real reply
    int status = 200;
    int delayMs = 0;    // answer this much later (bounded)
    bool drop = false;  // close the connection without a complete reply

    // "malformed", "deep", "wrongtype", "empty", "error", "drop" or "slow"; false for another word.
    bool applyKind(const std::string& kind);
    std::string describe() const;
};

class ReplyOverrides {
public:
    static constexpr int kLongestDelayMs = 60000;

    void push(ReplyOverride override);
    // The first waiting override that matches this path, taken off the queue.
    std::optional<ReplyOverride> take(const std::string& path);
    void clear();

private:
    std::mutex mutex_;
    std::deque<ReplyOverride> waiting_;
};

}  // namespace stargrid_server
