#include "tools/server/GameProtocol.h"

#include <cerrno>
#include <cstdlib>

namespace stargrid_server {
namespace {

constexpr GameProtocol::Endpoint kEndpoints[] = {
    {"BindAccount", GameProtocol::Method::Post},    {"RedbagCount", GameProtocol::Method::Post},
    {"Version", GameProtocol::Method::Get},         {"SubmitScore", GameProtocol::Method::Post},
    {"SubmitGameover", GameProtocol::Method::Post}, {"ShareInfo_iOS", GameProtocol::Method::Get},
    {"ReceiveRedbag", GameProtocol::Method::Post},  {"ActivityURL", GameProtocol::Method::Get},
    {"AgreementURL", GameProtocol::Method::Get},    {"GameRanked", GameProtocol::Method::Get},
    {"RewardsType", GameProtocol::Method::Post},    {"ReceiveDiamond", GameProtocol::Method::Post},
    {"ReceiveTelFee", GameProtocol::Method::Post},
};

// Phone numbers as the game checks them: eleven digits starting with 1.
bool isCellphone(const std::string& text) {
    return text.size() == 11 && text[0] == '1' && text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

std::string field(const Fields& fields, const char* name) {
    auto found = fields.find(name);
    return found == fields.end() ? std::string() : found->second;
}

std::optional<long> decimal(const std::string& text) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("-0123456789") != std::string::npos)
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') return std::nullopt;
    return value;
}

const GameProtocol::Endpoint* GameProtocol::endpoints(std::size_t* count) {
    *count = sizeof kEndpoints / sizeof kEndpoints[0];
    return kEndpoints;
}

Json::Value GameProtocol::failure(const char* code) {
    Json::Value reply(Json::objectValue);
    reply["code"] = code;
    return reply;
}

Json::Value GameProtocol::success(Json::Value body) {
    Json::Value reply = failure(codes::kSuccess);
    reply["bodymessage"] = std::move(body);
    return reply;
}

Json::Value GameProtocol::bootstrap(const std::string& baseUrl) { return success(baseUrl + "/game"); }

Json::Value GameProtocol::handle(const std::string& name, const Fields& fields, const std::string& baseUrl) {
    if (name == "BindAccount") return bindAccount(fields);
    if (name == "RedbagCount") return redbagCount(fields);
    if (name == "Version") return version(fields);
    if (name == "SubmitScore") return submitScore(fields);
    if (name == "SubmitGameover") return submitGameover(fields);
    if (name == "ShareInfo_iOS") return shareInfo(baseUrl);
    if (name == "ReceiveRedbag") return receiveRedbag(fields);
    if (name == "ActivityURL") return success(baseUrl + "/pages/activity.html");
    if (name == "AgreementURL") return success(baseUrl + "/pages/agreement.html");
    if (name == "GameRanked") return gameRanked(fields);
    if (name == "RewardsType") return rewardsType(fields);
    if (name == "ReceiveDiamond") return receivePrize(fields, Prize::Diamonds);
    if (name == "ReceiveTelFee") return receivePrize(fields, Prize::PhoneCredit);
    return failure(codes::kBadRequest);
}

Json::Value GameProtocol::bindAccount(const Fields& fields) {
    const std::string phone = field(fields, "cellphone");
    const std::string password = field(fields, "password");
    if (!isCellphone(phone) || password.empty()) return failure(codes::kBadRequest);
    LoginResult login = store_.login(phone, password);
    if (login.outcome == LoginResult::Outcome::WrongPassword) return failure(codes::kWrongPassword);
    if (login.outcome != LoginResult::Outcome::Success) return failure(codes::kServerFailure);
    Json::Value body(Json::objectValue);
    body["score"] = std::to_string(login.bestScore);
    body["diamond"] = std::to_string(login.diamonds);
    body["gametag"] = login.gameTag;
    return success(body);
}

Json::Value GameProtocol::redbagCount(const Fields& fields) {
    std::optional<long> count = store_.redPacketCount(field(fields, "cellphone"));
    if (!count) return failure(codes::kUnknownAccount);
    return success(std::to_string(*count));
}

Json::Value GameProtocol::version(const Fields& fields) {
    if (!decimal(field(fields, "version"))) return failure(codes::kBadRequest);
    Json::Value body(Json::objectValue);
    body["version"] = store_.setting("version", "1");
    body["forcedupdate"] = store_.setting("forcedupdate", "0");
    return success(body);
}

Json::Value GameProtocol::submitScore(const Fields& fields) {
    std::optional<long> level = decimal(field(fields, "level"));
    std::optional<long> remain = decimal(field(fields, "remain"));
    const std::string gameId = field(fields, "gameid");
    if (!level || !remain || gameId.empty()) return failure(codes::kBadRequest);
    ScoreResult result =
        store_.submitScore(field(fields, "cellphone"), gameId, *level, field(fields, "score"), *remain);
    switch (result.outcome) {
        case ScoreResult::Outcome::Counted:
        case ScoreResult::Outcome::AlreadyCounted: {
            Json::Value body(Json::objectValue);
            body["score"] = std::to_string(result.levelScore);
            body["total"] = std::to_string(result.gameTotal);
            return success(body);
        }
        case ScoreResult::Outcome::Inconsistent: return failure(codes::kInconsistentScore);
        case ScoreResult::Outcome::UnknownAccount: return failure(codes::kUnknownAccount);
        case ScoreResult::Outcome::Failed: break;
    }
    return failure(codes::kServerFailure);
}

Json::Value GameProtocol::submitGameover(const Fields& fields) {
    const std::string gameId = field(fields, "gameid");
    std::optional<long> level = decimal(field(fields, "level"));
    if (gameId.empty() || !level) return failure(codes::kBadRequest);
    if (!store_.submitGameover(field(fields, "cellphone"), gameId, *level)) return failure(codes::kUnknownAccount);
    return success("");
}

Json::Value GameProtocol::shareInfo(const std::string& baseUrl) {
    Json::Value body(Json::objectValue);
    body["title"] = "Stargrid";
    body["message"] = "一起来消除星星，赢取红包和钻石！";
    body["iconurl"] = baseUrl + "/pages/icon.png";
    body["shareurl"] = baseUrl + "/pages/share.html";
    return success(body);
}

Json::Value GameProtocol::receiveRedbag(const Fields& fields) {
    std::optional<long> diamonds = store_.openRedPackets(field(fields, "cellphone"));
    if (!diamonds) return failure(codes::kNothingToClaim);
    Json::Value body(Json::objectValue);
    body["diamond"] = std::to_string(*diamonds);
    body["redbag"] = "0";
    return success(body);
}

Json::Value GameProtocol::gameRanked(const Fields& fields) {
    Json::Value rows(Json::arrayValue);
    for (const RankedRow& row : store_.leaderboard(field(fields, "cellphone"))) {
        Json::Value entry(Json::objectValue);
        entry["oneself"] = row.oneself ? "1" : "0";
        entry["cellphone"] = row.cellphone;
        entry["ranked"] = std::to_string(row.rank);
        entry["score"] = std::to_string(row.score);
        rows.append(entry);
    }
    return success(rows);
}

Json::Value GameProtocol::rewardsType(const Fields& fields) {
    return success(std::to_string(store_.unclaimedPrize(field(fields, "cellphone")).type));
}

Json::Value GameProtocol::receivePrize(const Fields& fields, int type) {
    const std::string awardPhone = field(fields, "awardphone");
    if (type == Prize::PhoneCredit && !isCellphone(awardPhone)) return failure(codes::kBadRequest);
    std::optional<long> amount = store_.claimPrize(field(fields, "cellphone"), type, awardPhone);
    if (!amount) return failure(codes::kNothingToClaim);
    return success(std::to_string(*amount));
}

}  // namespace stargrid_server
