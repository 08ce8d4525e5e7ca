// An application's registration record and its archive form.
#include "sdk/pigeon/AppRegisterInfo.h"

namespace pigeon {
namespace {

constexpr char kRecord[] = "AppRegisterInfo";

template <typename Field>
struct KeyedField {
    const char* key;
    Field AppRegisterInfo::*field;
};

constexpr KeyedField<std::string> kObjects[] = {
    {"appID", &AppRegisterInfo::appID},
    {"appIdentifier", &AppRegisterInfo::appIdentifier},
    {"appName", &AppRegisterInfo::appName},
    {"appName4ZhTw", &AppRegisterInfo::appName4ZhTw},
    {"appName4EnUs", &AppRegisterInfo::appName4EnUs},
    {"description", &AppRegisterInfo::appDescription},
    {"description4EnUs", &AppRegisterInfo::appDescription4EnUs},
    {"description4ZhTw", &AppRegisterInfo::appDescription4ZhTw},
    {"appurl", &AppRegisterInfo::appInstallUrl},
    {"appiconurl", &AppRegisterInfo::appIconUrl},
    {"appwatermarkurl", &AppRegisterInfo::appWatermarkUrl},
    {"apptypelist", &AppRegisterInfo::appTypeList},
    {"appdevinfo", &AppRegisterInfo::appDevInfo},
    {"appdownloadurl", &AppRegisterInfo::appDownloadUrl},
    {"appdownloadurlmd5", &AppRegisterInfo::appDownloadUrlMD5},
};

constexpr KeyedField<bool> kBooleans[] = {
    {"added", &AppRegisterInfo::appAddedByUser},
    {"needUpdateInfo", &AppRegisterInfo::needUpdateInfo},
    {"needUpdateIcon", &AppRegisterInfo::needUpdateIcon},
    {"needUpdateWaterMark", &AppRegisterInfo::needUpdateWatermark},
    {"appcanshownew", &AppRegisterInfo::appCanShowNew},
    {"isnewapp", &AppRegisterInfo::isNewApp},
};

// Coded as 32-bit integers.
constexpr KeyedField<std::uint32_t> kInt32s[] = {
    {"appinfoflag", &AppRegisterInfo::appInfoFlag},
    {"appupdateversion", &AppRegisterInfo::appUpdateVersion},
    {"nextupdateinfotime", &AppRegisterInfo::nextUpdateInfoTime},
};

// Unsigned 32-bit fields coded as (64-bit) integers.
constexpr KeyedField<std::uint32_t> kIntegers[] = {
    {"lastUpdateInfoTime", &AppRegisterInfo::lastUpdateInfoTime},
    {"lastUpdateWatermarkTime", &AppRegisterInfo::lastUpdateWatermarkTime},
    {"lastUpdateIconTime", &AppRegisterInfo::lastUpdateIconTime},
};

std::string orNull(const std::string& text) { return text.empty() ? "(null)" : text; }

}  // namespace

void AppRegisterInfo::encodeWithCoder(archive::Archive& coder) const {
    for (const auto& entry : kObjects) archive::encodeObject(coder, entry.key, this->*entry.field);
    for (const auto& entry : kBooleans) archive::encodeBool(coder, entry.key, this->*entry.field);
    for (const auto& entry : kInt32s) archive::encodeInt32(coder, entry.key, this->*entry.field);
    for (const auto& entry : kIntegers) archive::encodeInteger(coder, entry.key, this->*entry.field);
    archive::encodeInteger(coder, "appInfoVer", appInfoVer);
}

AppRegisterInfo AppRegisterInfo::initWithCoder(const archive::Archive& coder) {
    AppRegisterInfo info;
    for (const auto& entry : kObjects) archive::decodeObject(coder, entry.key, info.*entry.field, kRecord);
    for (const auto& entry : kBooleans) archive::decodeBool(coder, entry.key, info.*entry.field, kRecord);
    for (const auto& entry : kInt32s) archive::decodeUnsigned32(coder, entry.key, info.*entry.field, kRecord);
    for (const auto& entry : kIntegers) archive::decodeUnsigned32(coder, entry.key, info.*entry.field, kRecord);
    archive::decodeUnsigned64(coder, "appInfoVer", info.appInfoVer, kRecord);
    return info;
}

std::string AppRegisterInfo::description() const {
    return "{ name:" + orNull(appName) + " appid:" + orNull(appID) + "}";
}

}  // namespace pigeon
