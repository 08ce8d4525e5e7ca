// Requests and responses to and from the exchange dictionary.
#include "sdk/pigeon/AppCommunicateData.h"

#include "platform/ImageCodec.h"
#include "sdk/pigeon/ExchangeKeys.h"
#include "sdk/pigeon/MediaObjectMapping.h"
#include "sdk/pigeon/PigeonApiUtil.h"

namespace pigeon {

using namespace exchange;

namespace {

bool fitsOrEmpty(const std::string& text, std::size_t limit) { return text.empty() || fitsLength(text, limit); }

// The media fields of a message, as they are written and read.
struct MediaTextField {
    const char* key;
    std::string PGMediaInternalMessage::*field;
};
constexpr MediaTextField kMessageTextFields[] = {
    {"title", &PGMediaInternalMessage::title},
    {"description", &PGMediaInternalMessage::description},
    {"mediaTagName", &PGMediaInternalMessage::mediaTagName},
    {"messageExt", &PGMediaInternalMessage::messageExt},
    {"messageAction", &PGMediaInternalMessage::messageAction},
};
// The values a media object writes.
constexpr MediaTextField kLinkTextFields[] = {
    {"mediaUrl", &PGMediaInternalMessage::mediaUrl},
    {"mediaLowBandUrl", &PGMediaInternalMessage::mediaLowBandUrl},
    {"mediaDataUrl", &PGMediaInternalMessage::mediaDataUrl},
    {"mediaLowBandDataUrl", &PGMediaInternalMessage::mediaLowBandDataUrl},
    {"extInfo", &PGMediaInternalMessage::extInfo},
    {"fileExt", &PGMediaInternalMessage::fileExt},
};

bool hasLinkPayload(const PGMediaInternalMessage& flat) {
    return !flat.mediaUrl.empty() || !flat.fileData.empty() || !flat.extInfo.empty();
}

bool linkValuesFit(const PGMediaInternalMessage& flat) {
    return fitsOrEmpty(flat.mediaUrl, kMaxUrlLength) && fitsOrEmpty(flat.mediaLowBandUrl, kMaxUrlLength) &&
           fitsOrEmpty(flat.mediaDataUrl, kMaxUrlLength) && fitsOrEmpty(flat.mediaLowBandDataUrl, kMaxUrlLength) &&
           fitsOrEmpty(flat.extInfo, kMaxExtInfoLength) && fitsOrEmpty(flat.fileExt, kMaxFileExtLength) &&
           flat.fileData.size() <= kMaxFileDataSize;
}

bool messageFieldsFit(const std::string& title, const std::string& description, const Bytes& thumbData,
                      const std::string& mediaTagName, const std::string& messageExt,
                      const std::string& messageAction) {
    const bool thumbnailFits = thumbData.empty() || (thumbData.size() <= kMaxThumbDataSize &&
                                                     platform::isDecodableImage(thumbData.data(), thumbData.size()));
    return fitsOrEmpty(title, kMaxTitleLength) && fitsOrEmpty(description, kMaxDescriptionLength) && thumbnailFits &&
           fitsOrEmpty(mediaTagName, kMaxMediaTagNameLength) && fitsOrEmpty(messageExt, kMaxMessageExtLength) &&
           fitsOrEmpty(messageAction, kMaxMessageActionLength);
}

}  // namespace

std::optional<AppCommunicateData> AppCommunicateData::initWithPropertList(const Dictionary& received) {
    if (!isAcceptableReceived(received)) return std::nullopt;
    AppCommunicateData data;
    const std::string* command = stringAt(received, "command");
    if (!command) return data;
    data.command_ = *parseUnsigned(*command);
    data.dictionary_ = received;
    data.conversationAccount_ = data.text("account");
    const std::string* returnFromApp = stringAt(received, "returnFromApp");
    data.returnFromApp_ = !returnFromApp || *returnFromApp == "1";
    data.openID_ = data.text("openID");
    data.sdkVer_ = data.text("sdkver");
    data.lang_ = data.text("language");
    data.country_ = data.text("country");
    if (const std::string* result = stringAt(received, "result")) data.result_ = *parseInt32(*result);
    if (const std::string* scene = stringAt(received, "scene")) data.scene_ = *parseInt32(*scene);
    data.fileData_ = data.bytes("fileData");
    return data;
}

void AppCommunicateData::initCommonField(std::uint64_t command) {
    command_ = command;
    dictionary_.clear();
    putString("command", std::to_string(command));
    putString("returnFromApp", returnFromApp_ ? "1" : "0");
    putString("result", std::to_string(result_));
    putIfSet("account", conversationAccount_);
    putString("sdkver", kSdkVersion);
}

bool AppCommunicateData::MakeCommand(std::uint64_t command) {
    initCommonField(command);
    return true;
}

bool AppCommunicateData::ReqToData(const BaseReq& request, const PGMediaInternalMessage* internalMessage) {
    if (auto auth = dynamic_cast<const SendAuthReq*>(&request)) {
        initCommonField(kAuthRequest);
        return MakeAuthRequest(*auth);
    }
    if (auto send = dynamic_cast<const SendMessageToPGReq*>(&request)) {
        initCommonField(send->bText ? kTextMessage : kMediaMessage);
        const bool made = send->bText ? MakeTextMessage(send->text) : MakeMediaMessage(send->message.get());
        scene_ = send->scene;
        putString("scene", std::to_string(scene_));
        putIfSet("openID", send->openID);
        return made;
    }
    // What the messenger sends the application: media (if any) from the internal message.
    if (auto get = dynamic_cast<const GetMessageFromPGReq*>(&request)) {
        return putMessengerRequest(kGetMessageRequest, *get, get->lang, get->country, nullptr);
    }
    if (auto show = dynamic_cast<const ShowMessageFromPGReq*>(&request)) {
        return putMessengerRequest(kMediaMessage, *show, show->lang, show->country, internalMessage);
    }
    if (auto launch = dynamic_cast<const LaunchFromPGReq*>(&request)) {
        return putMessengerRequest(kLaunchRequest, *launch, launch->lang, launch->country, internalMessage);
    }
    return false;
}

bool AppCommunicateData::RespToData(const BaseResp& response) {
    returnFromApp_ = true;
    result_ = response.errCode;
    if (auto auth = dynamic_cast<const SendAuthResp*>(&response)) {
        initCommonField(kAuthResponse);
        return MakeAuthResp(*auth);
    }
    if (auto get = dynamic_cast<const GetMessageFromPGResp*>(&response)) {
        initCommonField(get->bText ? kTextMessage : kMediaMessage);
        return get->bText ? MakeTextMessage(get->text) : MakeMediaMessage(get->message.get());
    }
    if (dynamic_cast<const ShowMessageFromPGResp*>(&response)) {
        initCommonField(kShowMessageResponse);
        return true;
    }
    if (auto send = dynamic_cast<const SendMessageToPGResp*>(&response)) {
        initCommonField(kSendMessageResponse);
        putLocale(send->lang, send->country);
        return true;
    }
    return false;
}

std::shared_ptr<BaseReq> AppCommunicateData::DataToReq() const {
    if (command_ == kLaunchRequest) {
        auto launch = std::make_shared<LaunchFromPGReq>();
        launch->message = mediaMessage();
        launch->openID = openID_;
        launch->lang = lang_;
        launch->country = country_;
        return launch;
    }
    if (command_ == kGetMessageRequest) {
        auto get = std::make_shared<GetMessageFromPGReq>();
        get->openID = openID_;
        get->lang = lang_;
        get->country = country_;
        return get;
    }
    if (command_ == kMediaMessage) {
        std::shared_ptr<PGMediaMessage> message = mediaMessage();
        if (!message || !dynamic_cast<const PGAppExtendObject*>(message->mediaObject.get())) return nullptr;
        auto show = std::make_shared<ShowMessageFromPGReq>();
        show->openID = openID_;
        show->message = std::move(message);
        show->lang = lang_;
        show->country = country_;
        return show;
    }
    return nullptr;
}

std::shared_ptr<BaseResp> AppCommunicateData::DataToResp() const {
    if (command_ == kSendMessageResponseWithLocale || command_ == kSendMessageResponse) {
        auto send = std::make_shared<SendMessageToPGResp>();
        send->errCode = result_;
        if (command_ == kSendMessageResponseWithLocale) {
            send->lang = lang_;
            send->country = country_;
        }
        return send;
    }
    if (command_ == kAuthResponse) {
        auto auth = std::make_shared<SendAuthResp>();
        auth->errCode = result_;
        return auth;
    }
    return nullptr;
}

bool AppCommunicateData::MakeAuthRequest(const SendAuthReq& request) {
    if (request.scope.empty() || !fitsLength(request.scope, kMaxScopeLength)) return false;
    if (!fitsOrEmpty(request.state, kMaxStateLength)) return false;
    putString("scope", request.scope);
    putIfSet("state", request.state);
    return true;
}

bool AppCommunicateData::MakeAuthResp(const SendAuthResp& response) {
    if (!fitsOrEmpty(response.state, kMaxStateLength)) return false;
    putIfSet("state", response.state);
    return true;
}

bool AppCommunicateData::MakeTextMessage(const std::string& text) {
    if (text.empty() || !fitsLength(text, kMaxTextLength)) return false;
    putString("title", text);
    return true;
}

bool AppCommunicateData::MakeMediaMessage(const PGMediaMessage* message) {
    if (!message) return false;
    if (!messageFieldsFit(message->title, message->description, message->thumbData, message->mediaTagName,
                          message->messageExt, message->messageAction)) {
        return false;
    }
    putIfSet("title", message->title);
    putIfSet("description", message->description);
    if (!message->thumbData.empty()) dictionary_["thumbData"] = message->thumbData;
    putIfSet("mediaTagName", message->mediaTagName);
    putIfSet("messageExt", message->messageExt);
    putIfSet("messageAction", message->messageAction);
    return MakeLinkObject(message->mediaObject.get());
}

bool AppCommunicateData::MakeLinkObject(const PGMediaObject* object) {
    if (!object) return false;
    const std::optional<PGMediaInternalMessage> flat = flattenMediaObject(*object);
    if (!flat || !hasLinkPayload(*flat) || !linkValuesFit(*flat)) return false;
    putString("objectType", std::to_string(flat->objectType));
    for (const MediaTextField& field : kLinkTextFields) putIfSet(field.key, (*flat).*field.field);
    putFileData(flat->fileData);
    return true;
}

bool AppCommunicateData::MakeMediaInternalMessage(const PGMediaInternalMessage* message) {
    if (!message) return false;
    if (dictionary_.empty()) initCommonField(kMediaMessage);
    for (const MediaTextField& field : kMessageTextFields) putIfSet(field.key, message->*field.field);
    for (const MediaTextField& field : kLinkTextFields) putIfSet(field.key, message->*field.field);
    if (!message->thumbData.empty()) dictionary_["thumbData"] = message->thumbData;
    putString("objectType", std::to_string(message->objectType));
    putFileData(message->fileData);
    return true;
}

std::optional<PGAuthInternal> AppCommunicateData::authRequest() const {
    if (command_ != kAuthRequest) return std::nullopt;
    PGAuthInternal auth{text("scope"), text("state")};
    if (auth.scope.empty() || !fitsLength(auth.scope, kMaxScopeLength)) return std::nullopt;
    if (!fitsOrEmpty(auth.state, kMaxStateLength)) return std::nullopt;
    return auth;
}

std::shared_ptr<SendAuthResp> AppCommunicateData::authResp() const {
    // A sign-in response is written under its own command, so that is where it is read.
    if (command_ != kAuthResponse) return nullptr;
    auto response = std::make_shared<SendAuthResp>();
    response->errCode = result_;
    response->state = text("state");
    if (!fitsOrEmpty(response->state, kMaxStateLength)) return nullptr;
    return response;
}

std::optional<std::string> AppCommunicateData::textMessage() const {
    if (command_ != kTextMessage) return std::nullopt;
    std::string title = text("title");
    if (!fitsLength(title, kMaxTextLength)) return std::nullopt;
    return title;
}

std::shared_ptr<PGMediaMessage> AppCommunicateData::mediaMessage() const {
    if (dictionary_.empty()) return nullptr;
    auto message = PGMediaMessage::message();
    if (command_ == kLaunchRequest) {
        message->messageExt = text("messageExt");
        message->messageAction = text("messageAction");
        return message;
    }
    if (command_ != kMediaMessage || !stringAt(dictionary_, "objectType")) return nullptr;
    PGMediaInternalMessage flat;
    for (const MediaTextField& field : kMessageTextFields) flat.*field.field = text(field.key);
    for (const MediaTextField& field : kLinkTextFields) flat.*field.field = text(field.key);
    flat.objectType = *parseUnsigned(*stringAt(dictionary_, "objectType"));
    flat.fileData = fileData_;
    message->mediaObject = buildMediaObject(flat);
    if (!message->mediaObject) return nullptr;
    message->title = flat.title;
    message->description = flat.description;
    message->thumbData = bytes("thumbData");
    message->mediaTagName = flat.mediaTagName;
    message->messageExt = flat.messageExt;
    message->messageAction = flat.messageAction;
    return message;
}

std::shared_ptr<PGMediaInternalMessage> AppCommunicateData::mediaInternalMessage() const {
    if (command_ != kMediaMessage) return nullptr;
    auto message = PGMediaInternalMessage::message();
    for (const MediaTextField& field : kMessageTextFields) (*message).*field.field = text(field.key);
    for (const MediaTextField& field : kLinkTextFields) (*message).*field.field = text(field.key);
    message->thumbData = bytes("thumbData");
    if (const std::string* objectType = stringAt(dictionary_, "objectType")) {
        message->objectType = *parseUnsigned(*objectType);
    }
    message->fileData = fileData_;
    const bool fits = messageFieldsFit(message->title, message->description, message->thumbData, message->mediaTagName,
                                       message->messageExt, message->messageAction);
    if (!fits || !hasLinkPayload(*message) || !linkValuesFit(*message)) return nullptr;
    return message;
}

bool AppCommunicateData::putMessengerRequest(std::uint64_t command, const BaseReq& request, const std::string& lang,
                                             const std::string& country,
                                             const PGMediaInternalMessage* internalMessage) {
    initCommonField(command);
    if (internalMessage) MakeMediaInternalMessage(internalMessage);
    putIfSet("openID", request.openID);
    putLocale(lang, country);
    return true;
}

void AppCommunicateData::putString(const char* key, const std::string& value) { dictionary_[key] = value; }

void AppCommunicateData::putIfSet(const char* key, const std::string& value) {
    if (!value.empty()) dictionary_[key] = value;
}

void AppCommunicateData::putLocale(const std::string& lang, const std::string& country) {
    putIfSet("language", lang);
    putIfSet("country", country);
}

void AppCommunicateData::putFileData(const Bytes& bytes) {
    if (!PigeonApiUtil::isiOS7plus()) {
        fileData_ = bytes;
    } else if (!bytes.empty()) {
        dictionary_["fileData"] = bytes;
    }
}

std::string AppCommunicateData::text(const char* key) const {
    const std::string* value = stringAt(dictionary_, key);
    return value ? *value : std::string();
}

Bytes AppCommunicateData::bytes(const char* key) const {
    const platform::PlistValue::Data* value = dataAt(dictionary_, key);
    return value ? *value : Bytes();
}

}  // namespace pigeon
