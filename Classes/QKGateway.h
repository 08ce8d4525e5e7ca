// The game's gateway to its server for scores: a passed level's groups and the end of a game.
// Also what every account login shares: the request body from the stored account, and how a
// successful reply merges into the progress.
#pragma once
#include <map>
#include <string>

namespace kite::network {
class HttpClient;
class HttpResponse;
}  // namespace kite::network

class ServerReply;

class QKGateway {
public:
    static QKGateway* getInstance();
    virtual ~QKGateway() = default;
    QKGateway(const QKGateway&) = delete;
    QKGateway& operator=(const QKGateway&) = delete;

    // Sent only with the network up, a bound phone, and groups plus pieces left covering the board.
    void submitScore();
    // Sent only with the network up and a bound phone.
    void submitGameover();
    void onHttpRequestCompleted(kite::network::HttpClient* client, kite::network::HttpResponse* response);

    // The body of a login with the stored account ("BindAccount", tag "0").
    static std::map<std::string, std::string> storedAccountLogin();
    // A successful login reply: best score, diamonds added, and a new game asked for when the
    // server's game tag differs. False, changing nothing, when a member is missing or mistyped.
    static bool applyLoginReply(const ServerReply& reply);

private:
    QKGateway() = default;
};
