// One request or response as the exchange dictionary that travels on a pasteboard.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/PlistValue.h"
#include "sdk/pigeon/InternalMessages.h"
#include "sdk/pigeon/MediaMessage.h"
#include "sdk/pigeon/Requests.h"
#include "sdk/pigeon/Responses.h"

namespace pigeon {

// Lives for one send or one receipt. Writers check every limit before they
// write and answer false on any failure; readers answer null for a message of
// another command or one that breaks the limits.
class AppCommunicateData {
public:
    using Dictionary = platform::PlistValue::Dictionary;

    AppCommunicateData() = default;
    // A dictionary received from another program. Nothing (with a log line)
    // when a value the codec reads is of the wrong type, too large or not a
    // number where one belongs; without "command" the command stays 0.
    static std::optional<AppCommunicateData> initWithPropertList(const Dictionary& received);

    const Dictionary& propertList() const { return dictionary_; }
    std::uint64_t command() const { return command_; }
    const Bytes& fileData() const { return fileData_; }
    void setFileData(Bytes bytes) { fileData_ = std::move(bytes); }
    bool returnFromApp() const { return returnFromApp_; }
    void setReturnFromApp(bool value) { returnFromApp_ = value; }
    std::int32_t result() const { return result_; }
    void setResult(std::int32_t value) { result_ = value; }
    std::int32_t scene() const { return scene_; }
    void setScene(std::int32_t value) { scene_ = value; }
    const std::string& conversationAccount() const { return conversationAccount_; }
    void setConversationAccount(std::string account) { conversationAccount_ = std::move(account); }
    const std::string& openID() const { return openID_; }
    const std::string& sdkVer() const { return sdkVer_; }
    const std::string& lang() const { return lang_; }
    const std::string& country() const { return country_; }

    // Starts a new dictionary with the fields every message carries.
    void initCommonField(std::uint64_t command);
    bool MakeCommand(std::uint64_t command);

    bool ReqToData(const BaseReq& request, const PGMediaInternalMessage* internalMessage = nullptr);
    bool RespToData(const BaseResp& response);
    std::shared_ptr<BaseReq> DataToReq() const;
    std::shared_ptr<BaseResp> DataToResp() const;

    bool MakeAuthRequest(const SendAuthReq& request);
    bool MakeAuthResp(const SendAuthResp& response);
    bool MakeTextMessage(const std::string& text);
    bool MakeMediaMessage(const PGMediaMessage* message);
    bool MakeLinkObject(const PGMediaObject* object);
    bool MakeMediaInternalMessage(const PGMediaInternalMessage* message);

    std::optional<PGAuthInternal> authRequest() const;
    std::shared_ptr<SendAuthResp> authResp() const;
    std::optional<std::string> textMessage() const;
    std::shared_ptr<PGMediaMessage> mediaMessage() const;
    std::shared_ptr<PGMediaInternalMessage> mediaInternalMessage() const;

private:
    bool putMessengerRequest(std::uint64_t command, const BaseReq& request, const std::string& lang,
                             const std::string& country, const PGMediaInternalMessage* internalMessage);
    void putString(const char* key, const std::string& value);
    void putIfSet(const char* key, const std::string& value);
    void putLocale(const std::string& lang, const std::string& country);
    void putFileData(const Bytes& bytes);
    std::string text(const char* key) const;
    Bytes bytes(const char* key) const;

    std::uint64_t command_ = 0;
    Dictionary dictionary_;
    Bytes fileData_;
    bool returnFromApp_ = false;
    std::int32_t result_ = 1;
    std::int32_t scene_ = 0;
    std::string conversationAccount_;
    std::string openID_;
    std::string sdkVer_;
    std::string lang_;
    std::string country_;
};

}  // namespace pigeon
