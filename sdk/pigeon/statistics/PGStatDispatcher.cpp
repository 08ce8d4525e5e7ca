// Report framing, the exchange with the statistics endpoint and its answers.
#include "sdk/pigeon/statistics/PGStatDispatcher.h"

#include <json/json.h>
#include <strings.h>

#include <chrono>
#include <cstdio>
#include <ctime>

#include "platform/HttpPost.h"
#include "platform/JsonReader.h"
#include "platform/PrintableText.h"
#include "sdk/pigeon/statistics/PGStatConfig.h"
#include "sdk/pigeon/statistics/PGStatDataConfigHolder.h"

namespace pigeon {

namespace {

bool containsNoCase(const std::string& text, const char* part) {
    const std::size_t length = std::strlen(part);
    for (std::size_t i = 0; i + length <= text.size(); ++i) {
        if (strncasecmp(text.c_str() + i, part, length) == 0) return true;
    }
    return false;
}

std::string joinBatch(const std::vector<std::string>& texts) {
    std::string json = "[";
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (i) json += ',';
        json += texts[i];
    }
    return json + "]";
}

}  // namespace

PGStatDispatcher& PGStatDispatcher::getInstance() {
    static PGStatDispatcher instance;
    return instance;
}

void PGStatDispatcher::sendEvent(PGStatEvent& event, Callback callback) {
    const std::string text = event.toJsonString();
    const std::size_t length = eventTextLength(text);
    if (length > PGStatConfig::getInstance().maxReportEventLength && event.getType() != 3) {
        statDebugLog("[ERROR]Too large event content length to report:%lu", static_cast<unsigned long>(length));
        if (callback) callback(true);  // dropped as if delivered
        return;
    }
    send({text}, std::move(callback));
}

void PGStatDispatcher::send(std::vector<std::string> eventTexts, Callback callback) {
    if (eventTexts.empty()) return;
    task_queue.async([this, texts = std::move(eventTexts), callback = std::move(callback)] {
        std::optional<StatBytes> answer;
        if (!nsRequest(joinBatch(texts), &answer)) {
            if (callback) callback(false);
            return;
        }
        statDebugLog("Send stat request success");
        if (callback) callback(true);
        if (answer) handleAnswer(*answer);
    });
}

void PGStatDispatcher::handleAnswer(const StatBytes& answer) {
    std::string errors;
    const std::optional<Json::Value> parsed =
        platform::readJson(std::string_view(reinterpret_cast<const char*>(answer.data()), answer.size()), &errors);
    if (!parsed) {
        statDebugLog("Decode JSON error :%s", errors.c_str());
        return;
    }
    const Json::Value& decoded = *parsed;
    if (!decoded.isObject()) return;
    statDebugLog("online cfg is %s", platform::printableText(PGStatHelper::getJson(decoded)).c_str());
    if (PGStatDataConfigHolder* holder = PGStatDataConfigHolder::getInstance()) holder->updateOnlineConfig(decoded);
}

std::string PGStatDispatcher::GetCurTime() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[80];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d:%03d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(milliseconds));
    return text;
}

std::vector<std::string> PGStatDispatcher::splitSpeedString(const std::string& text) {
    std::vector<std::string> addresses;
    std::string::size_type start = 0;
    while (start <= text.size()) {
        std::string::size_type end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        std::string piece = text.substr(start, end - start);
        start = end + 1;
        if (piece.empty()) continue;
        for (char& c : piece) {
            if (c == ',') c = ':';
        }
        addresses.push_back("http://" + piece);
    }
    return addresses;
}

bool PGStatDispatcher::frameBody(const std::string& json, StatBytes* body, bool* compressed) {
    const StatBytes text(json.begin(), json.end());
    *compressed = text.size() >= kCompressFrom;
    if (!*compressed) {
        *body = text;
        return true;
    }
    StatBytes zipped;
    if (PGStatHelper::GZip(text, &zipped) != 0) {
        statDebugLog("Failed to gzip data.");
        return false;
    }
    const auto length = static_cast<std::uint32_t>(text.size());
    *body = {static_cast<std::uint8_t>(length >> 24), static_cast<std::uint8_t>(length >> 16),
             static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
    body->insert(body->end(), zipped.begin(), zipped.end());
    return true;
}

bool PGStatDispatcher::nsRequest(const std::string& json, std::optional<StatBytes>* answer) {
    statDebugLog("Send stat events to access server.");
    platform::HttpPostRequest request;
    request.url = PGStatConfig::getInstance().get(PGStatConfig::Text::statReportURL).value_or(kDefaultReportURL);
    request.timeoutSeconds = 10;
    request.maxResponseBytes = kMaxAnswerBytes;
    bool compressed = false;
    StatBytes body;
    if (!frameBody(json, &body, &compressed)) return false;
    PGStatHelper::ChiperRC4(body);
    request.body.assign(body.begin(), body.end());
    request.headers = {"Connection: keep-alive", "Content-Type: json",
                       compressed ? "Content-Encoding: rc4,gzip" : "Content-Encoding: rc4"};
    platform::HttpPostResult result = platform::httpPost(request);
    if (result.bodyTooLarge && result.status == 200) {
        // The report arrived; an answer this large is no configuration of ours.
        statLog("PGStatDispatcher: answer over %lu bytes ignored", static_cast<unsigned long>(kMaxAnswerBytes));
        return true;
    }
    if (!result.transported) {
        statDebugLog("Failed to send request for reason:%s", platform::printableText(result.error).c_str());
        return false;
    }
    if (result.status != 200) {
        statDebugLog("Receive invalid response:%ld", result.status);
        if (!result.body.empty()) {
            statDebugLog("[ERROR]%s",
                         platform::printableText(std::string(result.body.begin(), result.body.end())).c_str());
        }
        return false;
    }
    if (result.body.empty()) return true;
    StatBytes bytes(result.body.begin(), result.body.end());
    if (containsNoCase(result.header("Content-Encoding"), "rc4")) PGStatHelper::ChiperRC4(bytes);
    statDebugLog("Report response content is %s with length:%lu",
                 platform::printableText(std::string(bytes.begin(), bytes.end())).c_str(),
                 static_cast<unsigned long>(bytes.size()));
    *answer = std::move(bytes);
    return true;
}

}  // namespace pigeon
