// Registration, the messenger's presence and the requests the application sends.
#include "sdk/pigeon/PGApi.h"

#include <json/json.h>

#include <cstdio>

#include "platform/UrlOpener.h"
#include "platform/Utf16.h"
#include "sdk/pigeon/AppCommunicate.h"
#include "sdk/pigeon/MMApiRegister.h"
#include "sdk/pigeon/PigeonApiUtil.h"
#include "sdk/pigeon/WapAuthHandler.h"

namespace pigeon {
namespace {

constexpr std::size_t kMaxNameLength = 1024;
constexpr std::size_t kMaxExtMsgLength = 2048;
constexpr std::size_t kMaxCards = 40;
// An answer has a handful of pairs; more only cost memory.
constexpr std::size_t kMaxQueryPairs = 128;

std::string& appId() {
    static std::string id;
    return id;
}

bool lengthWithin(const std::string& text, std::size_t least, std::size_t most) {
    const std::optional<std::size_t> length = platform::utf16Length(text);
    return length && *length >= least && *length <= most;
}

std::string cardPackageJson(const AddCardToPGCardPackageReq& request) {
    Json::Value cards(Json::objectValue);
    int index = 0;
    for (const PGCardItem& card : request.cardAry) {
        cards["id" + std::to_string(index)] = card.cardId;
        cards["ext" + std::to_string(index)] = card.extMsg;
        ++index;
    }
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "  ";
    return Json::writeString(writer, cards);
}

}  // namespace

std::string& PGApi::conversationAccount() {
    static std::string account;
    return account;
}

bool PGApi::registerApp(const std::string& appid) { return registerApp(appid, std::string()); }

bool PGApi::registerApp(const std::string& appid, const std::string& description) {
    if (appid.empty()) return false;
    appId() = appid;
    return MMApiRegister::registerApp(appid, description);
}

const std::string& PGApi::registeredAppId() { return appId(); }

void PGApi::resetForTesting() {
    appId().clear();
    conversationAccount().clear();
}

bool PGApi::isPGAppInstalled() {
    const std::string url = PigeonApiUtil::getPigeonUrl(appId());
    return !url.empty() && platform::canOpenUrl(url);
}

bool PGApi::isPGAppSupportApi() { return PigeonApiUtil::isPGAppSupportApi(); }

std::string PGApi::getPGAppInstallUrl() { return "https://apps.apple.com/app/pigeon"; }

bool PGApi::openPGApp() {
    conversationAccount().clear();
    const std::string url = PigeonApiUtil::getPigeonUrl(appId());
    return !url.empty() && platform::openUrl(url);
}

bool PGApi::openMessengerUrl(const std::string& suffix) {
    const std::string url = PigeonApiUtil::getPigeonUrl(appId(), suffix);
    return !url.empty() && platform::openUrl(url);
}

bool PGApi::sendReq(const BaseReq* request) {
    if (!request) return false;
    if (auto* authReq = dynamic_cast<const SendAuthReq*>(request)) return auth(*authReq);
    if (auto* payReq = dynamic_cast<const PayReq*>(request)) return pay(*payReq);
    if (auto* profile = dynamic_cast<const JumpToBizProfileReq*>(request)) return openProfile(*profile);
    if (auto* webview = dynamic_cast<const JumpToBizWebviewReq*>(request)) return jumpToBizWebview(*webview);
    if (auto* cards = dynamic_cast<const AddCardToPGCardPackageReq*>(request)) return addCardToPGCardPackageReq(*cards);
    return packReq(*request);
}

bool PGApi::sendAuthReq(const SendAuthReq* request, PGApiDelegate* delegate) {
    if (!request) return false;
    if (isPGAppInstalled()) return sendReq(request);
    return WapAuthHandler::shareWapAuthHandlerInstance().beginWapAuth(*request, appId(), delegate);
}

bool PGApi::sendResp(const BaseResp* response) { return response && packResp(*response); }

bool PGApi::packReq(const BaseReq& request) {
    if (appId().empty()) return false;
    AppCommunicateData data;
    data.setConversationAccount(conversationAccount());
    if (!data.ReqToData(request) || !AppCommunicate::setAppCommunicateData(data, appId())) return false;
    conversationAccount().clear();
    return openMessengerUrl("sendreq/?");
}

bool PGApi::packResp(const BaseResp& response) {
    if (appId().empty()) return false;
    AppCommunicateData data;
    data.setConversationAccount(conversationAccount());
    data.setReturnFromApp(true);
    data.setResult(response.errCode);
    if (!data.RespToData(response) || !AppCommunicate::setAppCommunicateData(data, appId())) return false;
    conversationAccount().clear();
    return openMessengerUrl("sendresp/?");
}

bool PGApi::auth(const SendAuthReq& request) {
    if (!PigeonApiUtil::isiOS7plus()) return packReq(request);
    if (request.scope.empty() || appId().empty()) return false;
    const std::string suffix = "auth/?scope=" + pgApi_stringByEscapingForURLArgument(request.scope) +
                               "&state=" + pgApi_stringByEscapingForURLArgument(request.state);
    conversationAccount().clear();
    return openMessengerUrl(suffix);
}

bool PGApi::pay(const PayReq& request) {
    for (const std::string* field :
         {&request.nonceStr, &request.package, &request.partnerId, &request.prepayId, &request.sign}) {
        if (field->empty()) return false;
    }
    if (appId().empty()) return false;
    const std::string suffix = "pay/?nonceStr=" + pgApi_stringByEscapingForURLArgument(request.nonceStr) +
                               "&package=" + pgApi_stringByEscapingForURLArgument(request.package) +
                               "&partnerId=" + pgApi_stringByEscapingForURLArgument(request.partnerId) +
                               "&prepayId=" + pgApi_stringByEscapingForURLArgument(request.prepayId) +
                               "&timeStamp=" + std::to_string(request.timeStamp) +
                               "&sign=" + pgApi_stringByEscapingForURLArgument(request.sign) + "&signType=SHA1";
    conversationAccount().clear();
    return openMessengerUrl(suffix);
}

bool PGApi::openProfile(const JumpToBizProfileReq& request) {
    if (!lengthWithin(request.username, 1, kMaxNameLength) || !lengthWithin(request.extMsg, 0, kMaxExtMsgLength)) {
        return false;
    }
    std::string suffix =
        "openprofile/?username=" + request.username + "&profiletype=" + std::to_string(request.profileType);
    if (!request.extMsg.empty()) suffix += "&extmsg=" + request.extMsg;
    return openMessengerUrl(suffix);
}

bool PGApi::jumpToBizWebview(const JumpToBizWebviewReq& request) {
    if (request.webType != 0 || !lengthWithin(request.tousrname, 1, kMaxNameLength) ||
        !lengthWithin(request.extMsg, 0, kMaxExtMsgLength)) {
        return false;
    }
    std::string suffix = "jumptobizwebview/?webtype=0&tousername=" + request.tousrname;
    if (!request.extMsg.empty()) suffix += "&extmsg=" + request.extMsg;
    return openMessengerUrl(suffix);
}

bool PGApi::addCardToPGCardPackageReq(const AddCardToPGCardPackageReq& request) {
    if (request.cardAry.empty() || request.cardAry.size() > kMaxCards) return false;
    for (const PGCardItem& card : request.cardAry) {
        if (!lengthWithin(card.cardId, 1, kMaxNameLength) || !lengthWithin(card.extMsg, 0, kMaxExtMsgLength)) {
            return false;
        }
    }
    return openMessengerUrl(pgApi_stringByEscapingForURLArgumentOnly("cardpackage/?" + cardPackageJson(request)));
}

std::optional<PGApi::URLParams> PGApi::parseURLParams(const std::string& query) {
    URLParams params;
    std::size_t pairs = 0;
    std::string::size_type start = 0;
    while (start <= query.size()) {
        std::string::size_type end = query.find('&', start);
        if (end == std::string::npos) end = query.size();
        const std::string::size_type equals = query.find('=', start);
        if (equals < end) {
            if (++pairs > kMaxQueryPairs) {
                std::fprintf(stderr, "PGApi: a query of more than %zu pairs is refused\n", kMaxQueryPairs);
                return std::nullopt;
            }
            params[query.substr(start, equals - start)] = query.substr(equals + 1, end - equals - 1);
        }
        start = end + 1;
    }
    return params;
}

}  // namespace pigeon
