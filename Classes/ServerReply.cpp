#include "Classes/ServerReply.h"

#include <cstdio>

#include "Classes/GameHelpers.h"
#include "kite/foundation/Log.h"
#include "kite/http/HttpRequest.h"
#include "kite/http/HttpResponse.h"
#include "platform/JsonReader.h"
#include "platform/PrintableText.h"

ServerReply ServerReply::read(kite::network::HttpResponse* response) {
    ServerReply reply;
    if (!response) return reply;
    kite::network::HttpRequest* request = response->getHttpRequest();
    reply.tag_ = request ? request->getTag() : "";
    if (!reply.tag_.empty()) kite::log("Completed Tag : %s ", reply.tag_.c_str());
    char status[64];
    std::snprintf(status, sizeof status, "StatusCode: %ld", response->getResponseCode());
    kite::log("%s", status);
    if (!response->isSucceed()) {
        kite::log("response failed");
        kite::log("error buffer: %s", platform::printableText(response->getErrorBuffer()).c_str());
        return reply;
    }
    reply.transferred_ = true;
    std::string text;
    for (char byte : *response->getResponseData()) {
        if (byte != '\0') text += byte;
    }
    std::printf("Http Dump Data: %s\n", platform::printableText(text).c_str());
    std::fflush(stdout);

    std::string error = "not an object";
    std::optional<Json::Value> parsed = platform::readJson(text, &error);
    if (!parsed || !parsed->isObject()) {
        kite::log("ServerReply: the reply to %s is not a JSON object: %s", reply.tag_.c_str(), error.c_str());
        return reply;
    }
    const Json::Value& root = *parsed;
    if (!root["code"].isString()) {
        kite::log("ServerReply: the reply to %s has no text \"code\"", reply.tag_.c_str());
        return reply;
    }
    reply.code_ = root["code"].asString();
    reply.body_ = root["bodymessage"];
    return reply;
}

std::optional<std::string> ServerReply::text() const {
    if (!body_.isString()) return std::nullopt;
    return body_.asString();
}

std::optional<std::string> ServerReply::text(const char* member) const {
    if (!body_.isObject() || !body_[member].isString()) {
        kite::log("ServerReply: \"bodymessage\" of %s has no text \"%s\"", tag_.c_str(), member);
        return std::nullopt;
    }
    return body_[member].asString();
}

std::optional<int> ServerReply::integer() const {
    std::optional<std::string> value = text();
    if (!value) return std::nullopt;
    return stringToInt(*value);
}

std::optional<int> ServerReply::integer(const char* member) const {
    std::optional<std::string> value = text(member);
    if (!value) return std::nullopt;
    return stringToInt(*value);
}
