// The messenger SDK's public face: registration, the messenger's presence,
// sending requests and handling the URLs the messenger opens back.
#pragma once
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "sdk/pigeon/Requests.h"
#include "sdk/pigeon/Responses.h"

namespace pigeon {

// Implemented by the application. Both calls are optional: the defaults do nothing.
class PGApiDelegate {
public:
    virtual ~PGApiDelegate() = default;
    // A request coming from the messenger.
    virtual void onReq(const std::shared_ptr<BaseReq>& request) { (void)request; }
    // The answer to a request the application sent earlier.
    virtual void onResp(const std::shared_ptr<BaseResp>& response) { (void)response; }
};

// Class operations only; main thread. Every failure is a false result.
class PGApi {
public:
    using URLParams = std::map<std::string, std::string>;

    static bool registerApp(const std::string& appid);
    static bool registerApp(const std::string& appid, const std::string& description);
    static const std::string& registeredAppId();

    static bool handleOpenURL(const std::string& url, PGApiDelegate* delegate);
    static bool isPGAppInstalled();
    static bool isPGAppSupportApi();
    static std::string getPGAppInstallUrl();
    static std::string getApiVersion() { return "1.5"; }
    static bool openPGApp();

    static bool sendReq(const BaseReq* request);
    // Through the messenger when it is installed, else the web sign-in.
    static bool sendAuthReq(const SendAuthReq* request, PGApiDelegate* delegate);
    static bool sendResp(const BaseResp* response);

    // The query's "key=value" pairs as they stand (nothing is unescaped): the
    // first "=" of a pair splits it, pairs without "=" are skipped, a later key
    // wins. Nothing (with a log line) for a query of more than 128 pairs.
    static std::optional<URLParams> parseURLParams(const std::string& query);

    // Forgets the id and the conversation account (tests).
    static void resetForTesting();

private:
    friend class PGApiIncoming;

    static bool packReq(const BaseReq& request);
    static bool packResp(const BaseResp& response);
    static bool auth(const SendAuthReq& request);
    static bool pay(const PayReq& request);
    static bool openProfile(const JumpToBizProfileReq& request);
    static bool jumpToBizWebview(const JumpToBizWebviewReq& request);
    static bool addCardToPGCardPackageReq(const AddCardToPGCardPackageReq& request);
    static bool openMessengerUrl(const std::string& suffix);

    static std::string& conversationAccount();
};

}  // namespace pigeon
