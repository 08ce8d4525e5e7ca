#include "Classes/QKGateway.h"

#include <optional>
#include <vector>

#include "Classes/GameData.h"
#include "Classes/GameHelpers.h"
#include "Classes/QKSingleton.h"
#include "Classes/ServerExchange.h"
#include "Classes/ServerReply.h"
#include "kite/foundation/Log.h"

namespace {

std::string decodedCellphone() { return base64Decode(QKSingleton::getInstance()->getCellphone()); }

std::string nextLevelText() { return intToString(GameData::getInstance()->getSavedLevel() + 1); }

void sendScoreRequest(const char* path, const ServerExchange::Fields& body, int connectTimeout) {
    ServerExchange::post(
        ServerExchange::url(path), path, body, nullptr,
        [](kite::network::HttpClient* client, kite::network::HttpResponse* response) {
            QKGateway::getInstance()->onHttpRequestCompleted(client, response);
        },
        connectTimeout);
}

}  // namespace

QKGateway* QKGateway::getInstance() {
    static QKGateway* instance = new QKGateway();  // lives as long as the process
    return instance;
}

void QKGateway::submitScore() {
    QKSingleton* state = QKSingleton::getInstance();
    GameData* data = GameData::getInstance();
    std::vector<std::string> groups;
    splitString(data->getGameScore(), "|", groups);
    int popped = 0;
    for (const std::string& group : groups) popped += stringToInt(group);
    if (!state->networkReachable || state->getCellphone().empty()) return;
    if (popped + data->getRemainStarCount() != 100) return;
    sendScoreRequest("SubmitScore",
                     {{"devicetype", "0"},
                      {"cellphone", decodedCellphone()},
                      {"gameid", data->getGameId()},
                      {"level", nextLevelText()},
                      {"score", data->getGameScore()},
                      {"remain", intToString(data->getRemainStarCount())}},
                     ServerExchange::kSubmitScoreTimeout);
}

void QKGateway::submitGameover() {
    QKSingleton* state = QKSingleton::getInstance();
    if (!state->networkReachable || state->getCellphone().empty()) return;
    GameData* data = GameData::getInstance();
    sendScoreRequest("SubmitGameover",
                     {{"devicetype", "0"},
                      {"cellphone", decodedCellphone()},
                      {"gameid", data->getGameId()},
                      {"level", nextLevelText()}},
                     ServerExchange::kConnectTimeout);
}

void QKGateway::onHttpRequestCompleted(kite::network::HttpClient*, kite::network::HttpResponse* response) {
    // Neither submission changes anything on the device, whatever the reply: it is only logged.
    ServerReply::read(response);
}

std::map<std::string, std::string> QKGateway::storedAccountLogin() {
    QKSingleton* state = QKSingleton::getInstance();
    return {{"devicetype", "0"},
            {"cellphone", base64Decode(state->getCellphone())},
            {"password", state->getPassword()},
            {"channel", "8888"},
            {"tag", "0"}};
}

bool QKGateway::applyLoginReply(const ServerReply& reply) {
    std::optional<int> score = reply.integer("score");
    std::optional<int> diamonds = reply.integer("diamond");
    std::optional<std::string> gameTag = reply.text("gametag");
    if (!reply.succeeded() || !score || !diamonds || !gameTag) return false;
    GameData* data = GameData::getInstance();
    if (*score < 0) {
        kite::log("QKGateway: refused a negative best score (%d) from the login reply", *score);
    } else {
        data->highestScore = *score;
        data->saveHighestScore();
    }
    data->creditDiamonds(*diamonds, "the login reply");
    if (*gameTag != data->getGameTag()) {
        data->pendingGameTag = *gameTag;
        data->newGameRequested = true;
    } else {
        data->newGameRequested = false;
    }
    return true;
}
