// Exchange dictionaries another program leaves on the messenger's pasteboard, as property lists
// (XML or binary), read into requests, responses and media messages.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/PlistBinary.h"
#include "sdk/pigeon/AppCommunicateData.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error;
    const std::optional<platform::PlistValue> value = platform::decodePlist(data, size, &error);
    if (!value || !value->asDictionary()) return 0;
    const std::optional<pigeon::AppCommunicateData> exchange =
        pigeon::AppCommunicateData::initWithPropertList(*value->asDictionary());
    if (!exchange) return 0;
    exchange->DataToReq();
    exchange->DataToResp();
    exchange->authRequest();
    exchange->authResp();
    exchange->textMessage();
    exchange->mediaMessage();
    exchange->mediaInternalMessage();
    return 0;
}
