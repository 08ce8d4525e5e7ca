// Flat records the exchange codec reads and writes beside the public classes.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "sdk/pigeon/MediaMessage.h"

namespace pigeon {

// A sign-in request as the messenger reads it.
struct PGAuthInternal {
    std::string scope;
    std::string state;
};

// A media message with its object flattened into the exchange's own fields.
struct PGMediaInternalMessage {
    static std::shared_ptr<PGMediaInternalMessage> message() { return std::make_shared<PGMediaInternalMessage>(); }

    std::string title;
    std::string description;
    Bytes thumbData;
    std::string mediaTagName;
    std::uint64_t objectType = 0;
    std::string extInfo;
    std::string fileExt;
    Bytes fileData;
    std::string mediaUrl;
    std::string mediaLowBandUrl;
    std::string mediaDataUrl;
    std::string mediaLowBandDataUrl;
    std::string messageExt;
    std::string messageAction;
};

}  // namespace pigeon
