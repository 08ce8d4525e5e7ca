// Requests the application sends to the messenger or receives from it.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sdk/pigeon/MediaMessage.h"

namespace pigeon {

// Requests are plain values; the exchange codec and the URL builders tell
// their kinds apart and apply the limits a message must respect.
struct BaseReq {
    virtual ~BaseReq() = default;
    std::int32_t type = 0;
    std::string openID;
};

struct SendMessageToPGReq : BaseReq {
    std::string text;
    std::shared_ptr<PGMediaMessage> message;
    bool bText = false;      // true sends `text`, false sends `message`
    std::int32_t scene = 0;  // 0 a chat, 1 the timeline
};

struct SendAuthReq : BaseReq {
    std::string scope;
    std::string state;
};

struct PayReq : BaseReq {
    std::string partnerId;
    std::string prepayId;
    std::string nonceStr;
    std::uint32_t timeStamp = 0;
    std::string package;
    std::string sign;
};

struct GetMessageFromPGReq : BaseReq {
    std::string lang;
    std::string country;
};

struct ShowMessageFromPGReq : BaseReq {
    std::shared_ptr<PGMediaMessage> message;
    std::string lang;
    std::string country;
};

struct LaunchFromPGReq : BaseReq {
    std::shared_ptr<PGMediaMessage> message;
    std::string lang;
    std::string country;
};

struct JumpToBizProfileReq : BaseReq {
    std::string username;
    std::string extMsg;
    std::int32_t profileType = 0;
};

struct JumpToBizWebviewReq : BaseReq {
    std::int32_t webType = 0;
    std::string tousrname;
    std::string extMsg;
};

struct PGCardItem {
    std::string cardId;
    std::string extMsg;
    std::uint32_t cardState = 0;
};

struct AddCardToPGCardPackageReq : BaseReq {
    std::vector<PGCardItem> cardAry;
};

}  // namespace pigeon
