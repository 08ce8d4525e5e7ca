// Reads a game-server reply the way every reply handler of the game does: the frame's log lines,
// the transfer result, the body parsed as JSON; then typed reads that treat a missing member or
// one of the wrong JSON type like a failure, never an exception.
#pragma once
#include <optional>
#include <string>

#include <json/value.h>

namespace kite::network {
class HttpResponse;
}

class ServerReply {
public:
    // Logs "Completed Tag : %s " and "StatusCode: %ld"; a failed transfer logs "response failed"
    // and "error buffer: %s"; a transferred body is printed as "Http Dump Data: %s" and parsed.
    static ServerReply read(kite::network::HttpResponse* response);

    const std::string& tag() const { return tag_; }
    bool transferred() const { return transferred_; }
    // The body is a JSON object whose "code" is the text "0000".
    bool succeeded() const { return code_ == "0000"; }
    // "code" when the body is an object holding it as a text; "" otherwise.
    const std::string& code() const { return code_; }

    // "bodymessage" as a text.
    std::optional<std::string> text() const;
    // A text member of the "bodymessage" object.
    std::optional<std::string> text(const char* member) const;
    // The same, read as a whole number the way the game reads numbers from texts.
    std::optional<int> integer() const;
    std::optional<int> integer(const char* member) const;
    // "bodymessage" whatever its type (null when absent), for replies that carry a list.
    const Json::Value& body() const { return body_; }

private:
    std::string tag_;
    bool transferred_ = false;
    std::string code_;
    Json::Value body_;
};
