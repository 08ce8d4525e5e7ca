// The game's requests and their replies, apart from HTTP: each request is a name ("BindAccount")
// with flat text fields (the POST body's members or the GET query), each reply a JSON object
// with a "code" ("0000" for success) and, on success, a "bodymessage".
#pragma once
#include <map>
#include <string>

#include <json/value.h>

#include "tools/server/GameStore.h"

namespace stargrid_server {

using Fields = std::map<std::string, std::string>;

// Codes besides success: the ones the game tells apart, then the server's own.
namespace codes {
inline const char* const kSuccess = "0000";
inline const char* const kWrongPassword = "1111";
inline const char* const kBadRequest = "1001";
inline const char* const kUnknownAccount = "1002";
inline const char* const kNothingToClaim = "2001";
inline const char* const kInconsistentScore = "3001";
inline const char* const kServerFailure = "9999";
}  // namespace codes

class GameProtocol {
public:
    enum class Method { Get, Post };
    struct Endpoint {
        const char* name;
        Method method;
    };

    explicit GameProtocol(GameStore& store) : store_(store) {}

    static const Endpoint* endpoints(std::size_t* count);
    // baseUrl is where this server is reached ("http://127.0.0.1:8080"): pages are linked below it.
    Json::Value handle(const std::string& name, const Fields& fields, const std::string& baseUrl);

    // The bootstrap page's reply: the base every other request is sent to.
    static Json::Value bootstrap(const std::string& baseUrl);
    static Json::Value failure(const char* code);
    static Json::Value success(Json::Value body);

private:
    Json::Value bindAccount(const Fields& fields);
    Json::Value redbagCount(const Fields& fields);
    Json::Value version(const Fields& fields);
    Json::Value submitScore(const Fields& fields);
    Json::Value submitGameover(const Fields& fields);
    Json::Value shareInfo(const std::string& baseUrl);
    Json::Value receiveRedbag(const Fields& fields);
    Json::Value gameRanked(const Fields& fields);
    Json::Value rewardsType(const Fields& fields);
    Json::Value receivePrize(const Fields& fields, int type);

    GameStore& store_;
};

// The text of a field, or empty when it is absent.
std::string field(const Fields& fields, const char* name);
// A whole decimal number, or empty.
std::optional<long> decimal(const std::string& text);

}  // namespace stargrid_server
