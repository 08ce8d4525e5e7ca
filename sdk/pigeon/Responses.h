// Responses travelling between the messenger and the application.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sdk/pigeon/MediaMessage.h"
#include "sdk/pigeon/Requests.h"

namespace pigeon {

struct BaseResp {
    virtual ~BaseResp() = default;
    std::int32_t errCode = 0;
    std::string errStr;
    std::int32_t type = 0;
};

struct SendMessageToPGResp : BaseResp {
    std::string lang;
    std::string country;
};

struct SendAuthResp : BaseResp {
    std::string code;
    std::string state;
    std::string lang;
    std::string country;
};

struct PayResp : BaseResp {
    std::string returnKey;
};

struct GetMessageFromPGResp : BaseResp {
    std::string text;
    std::shared_ptr<PGMediaMessage> message;
    bool bText = false;
};

struct ShowMessageFromPGResp : BaseResp {};

struct AddCardToPGCardPackageResp : BaseResp {
    std::vector<PGCardItem> cardAry;
};

}  // namespace pigeon
