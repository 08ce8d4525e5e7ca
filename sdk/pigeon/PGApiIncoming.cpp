// The URLs the messenger (or the web sign-in) opens back into the application.
// They come from another program: the scheme and id are checked, the query is
// parsed strictly, and anything else is refused with a log line.
#include <json/value.h>

#include <cstdio>
#include <cstdlib>
#include <limits>

#include "platform/JsonReader.h"
#include "platform/PrintableText.h"
#include "platform/Utf16.h"
#include "sdk/pigeon/AppCommunicate.h"
#include "sdk/pigeon/ExchangeKeys.h"
#include "sdk/pigeon/PGApi.h"
#include "sdk/pigeon/PigeonApiUtil.h"
#include "sdk/pigeon/WapAuthHandler.h"

namespace pigeon {

// Each handler answers nothing for a URL that is not its own, else the
// result of handling it: a URL of its own with a malformed query ends the
// dispatch refused, rather than being taken for an exchange.
class PGApiIncoming {
public:
    using Outcome = std::optional<bool>;
    static Outcome handleAuthOpenUrl(const std::string& url, PGApiDelegate& delegate);
    static Outcome handlePayOpenUrl(const std::string& url, PGApiDelegate& delegate);
    static Outcome handleAddCardOpenUrl(const std::string& url, PGApiDelegate& delegate);
    static bool handleExchange(const std::string& url, PGApiDelegate& delegate);
};

namespace {

// The largest answer the messenger may send: 40 cards of a 1024-character id
// and a 2048-character extension, each character at most 9 bytes once its UTF-8
// is percent-escaped (1.1 MB), with room for the JSON around them.
constexpr std::size_t kMaxUrlLength = 2u << 20;

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string queryOf(const std::string& url) {
    const std::string::size_type mark = url.find('?');
    if (mark == std::string::npos) return std::string();
    const std::string::size_type fragment = url.find('#', mark);
    return url.substr(mark + 1, fragment == std::string::npos ? std::string::npos : fragment - mark - 1);
}

const std::string* param(const PGApi::URLParams& params, const char* key) {
    const auto found = params.find(key);
    return found == params.end() ? nullptr : &found->second;
}

void assignIfPresent(std::string& field, const PGApi::URLParams& params, const char* key) {
    if (const std::string* value = param(params, key)) field = *value;
}

// The leading decimal integer, 0 when there is none, clamped to 32 bits.
std::int32_t integerValue(const std::string* text) {
    if (!text) return 0;
    const long long value = std::strtoll(text->c_str(), nullptr, 10);
    if (value < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    return std::int32_t(value);
}

// The cards of an "addCardInfo" value as it came; none when it does not unescape or parse.
std::vector<PGCardItem> cardItems(const std::string* escapedCardInfo) {
    std::vector<PGCardItem> items;
    const std::optional<std::string> addCardInfo =
        escapedCardInfo ? percentDecodedUtf8(*escapedCardInfo) : std::nullopt;
    if (!addCardInfo) return items;
    std::string error = "not an array";
    const std::optional<Json::Value> cards = platform::readJson(*addCardInfo, &error);
    if (!cards || !cards->isArray()) {
        std::fprintf(stderr, "PGApi: the card list is not a JSON array: %s\n", error.c_str());
        return items;
    }
    for (const Json::Value& card : *cards) {
        if (!card.isObject() || !card["card_id"].isString() || card["card_id"].asString().empty()) continue;
        PGCardItem item;
        item.cardId = card["card_id"].asString();
        if (card["card_ext"].isString()) item.extMsg = card["card_ext"].asString();
        const Json::Value& state = card["is_succ"];
        if (state.isString()) {
            const std::string text = state.asString();
            item.cardState = std::uint32_t(integerValue(&text));
        }
        if (state.isUInt()) item.cardState = state.asUInt();
        items.push_back(std::move(item));
    }
    return items;
}

template <typename Message>
bool deliverRequest(const std::shared_ptr<BaseReq>& request, PGApiDelegate& delegate) {
    if (!std::dynamic_pointer_cast<Message>(request)) return false;
    delegate.onReq(request);
    return true;
}

template <typename Message>
bool deliverResponse(const std::shared_ptr<BaseResp>& response, PGApiDelegate& delegate) {
    if (!std::dynamic_pointer_cast<Message>(response)) return false;
    delegate.onResp(response);
    return true;
}

}  // namespace

PGApiIncoming::Outcome PGApiIncoming::handleAuthOpenUrl(const std::string& url, PGApiDelegate& delegate) {
    if (!startsWith(url, PGApi::registeredAppId() + "://oauth")) return std::nullopt;
    const std::optional<PGApi::URLParams> params = PGApi::parseURLParams(queryOf(url));
    if (!params) return false;
    auto response = std::make_shared<SendAuthResp>();
    const std::string* code = param(*params, "code");
    if (!code) {
        response->errCode = -1;
    } else if (*code == "authdeny") {
        response->errCode = -4;
    } else {
        response->code = *code;
    }
    assignIfPresent(response->errStr, *params, "reason");
    assignIfPresent(response->state, *params, "state");
    assignIfPresent(response->lang, *params, "lang");
    assignIfPresent(response->country, *params, "country");
    WapAuthHandler::shareWapAuthHandlerInstance().endWapAuth();
    delegate.onResp(response);
    return true;
}

PGApiIncoming::Outcome PGApiIncoming::handlePayOpenUrl(const std::string& url, PGApiDelegate& delegate) {
    const std::string prefix = PGApi::registeredAppId() + "://pay/";
    if (!startsWith(url, prefix) || url.size() <= prefix.size()) return std::nullopt;
    const std::optional<PGApi::URLParams> params = PGApi::parseURLParams(queryOf(url));
    if (!params) return false;
    auto response = std::make_shared<PayResp>();
    assignIfPresent(response->returnKey, *params, "returnKey");
    response->errCode = integerValue(param(*params, "ret"));
    assignIfPresent(response->errStr, *params, "notifyStr");
    delegate.onResp(response);
    return true;
}

PGApiIncoming::Outcome PGApiIncoming::handleAddCardOpenUrl(const std::string& url, PGApiDelegate& delegate) {
    const std::string prefix = PGApi::registeredAppId() + "://cardPackage/";
    if (!startsWith(url, prefix) || url.size() <= prefix.size()) return std::nullopt;
    const std::optional<PGApi::URLParams> params = PGApi::parseURLParams(queryOf(url));
    if (!params) return false;
    auto response = std::make_shared<AddCardToPGCardPackageResp>();
    response->errCode = integerValue(param(*params, "errCode"));
    response->cardAry = cardItems(param(*params, "addCardInfo"));
    delegate.onResp(response);
    return true;
}

bool PGApiIncoming::handleExchange(const std::string& url, PGApiDelegate& delegate) {
    const std::string& appid = PGApi::registeredAppId();
    if (!PigeonApiUtil::isAppOpenUrl(url, appid)) {
        std::fprintf(stderr, "PGApi: a URL of another scheme is ignored: \"%s\"\n",
                     platform::printableText(url, 200).c_str());
        return false;
    }
    const std::optional<AppCommunicateData> data = AppCommunicate::appCommunicateDataForAppID(appid);
    if (!data) return false;
    PGApi::conversationAccount() = data->conversationAccount();
    switch (data->command()) {
        case exchange::kMediaMessage: return deliverRequest<ShowMessageFromPGReq>(data->DataToReq(), delegate);
        case exchange::kGetMessageRequest: return deliverRequest<GetMessageFromPGReq>(data->DataToReq(), delegate);
        case exchange::kLaunchRequest: return deliverRequest<LaunchFromPGReq>(data->DataToReq(), delegate);
        case exchange::kSendMessageResponseWithLocale:
        case exchange::kSendMessageResponse: return deliverResponse<SendMessageToPGResp>(data->DataToResp(), delegate);
        case exchange::kAuthResponse: return deliverResponse<SendAuthResp>(data->DataToResp(), delegate);
        default: return true;
    }
}

bool PGApi::handleOpenURL(const std::string& url, PGApiDelegate* delegate) {
    if (!delegate || registeredAppId().empty()) return false;
    if (url.size() > kMaxUrlLength) {
        std::fprintf(stderr, "PGApi: a URL of %zu bytes is ignored\n", url.size());
        return false;
    }
    if (!platform::utf16Length(url)) {
        std::fprintf(stderr, "PGApi: a URL that is not UTF-8 is ignored\n");
        return false;
    }
    if (const auto outcome = PGApiIncoming::handleAuthOpenUrl(url, *delegate)) return *outcome;
    if (const auto outcome = PGApiIncoming::handlePayOpenUrl(url, *delegate)) return *outcome;
    if (WapAuthHandler::shareWapAuthHandlerInstance().handleWapOAuthOpenUrl(url)) return true;
    if (const auto outcome = PGApiIncoming::handleAddCardOpenUrl(url, *delegate)) return *outcome;
    return PGApiIncoming::handleExchange(url, *delegate);
}

}  // namespace pigeon
