// An application's registration data as the messenger keeps it: an archivable record.
#pragma once
#include <cstdint>
#include <string>

#include "sdk/pigeon/ArchiveCoding.h"

namespace pigeon {

struct AppRegisterInfo {
    bool appAddedByUser = false;
    std::string appID;
    std::string appIdentifier;
    std::string appName;
    std::string appName4ZhTw;
    std::string appName4EnUs;
    std::string appDescription;
    std::string appDescription4EnUs;
    std::string appDescription4ZhTw;
    std::string appInstallUrl;
    bool needUpdateInfo = false;
    bool needUpdateIcon = false;
    bool needUpdateWatermark = false;
    std::uint64_t appInfoVer = 0;
    std::string appIconUrl;
    std::string appWatermarkUrl;
    std::uint32_t lastUpdateInfoTime = 0;
    std::uint32_t lastUpdateWatermarkTime = 0;
    std::uint32_t lastUpdateIconTime = 0;
    std::string appTypeList;
    std::string appDevInfo;
    std::uint32_t appInfoFlag = 0;
    std::uint32_t appUpdateVersion = 0;
    bool appCanShowNew = false;
    bool isNewApp = false;
    std::string appDownloadUrl;
    std::string appDownloadUrlMD5;
    std::uint32_t nextUpdateInfoTime = 0;
    // Kept in memory only: not archived.
    std::uint32_t rankWeight = 0;

    // Every field but rankWeight under its archive key ("added", "description",
    // "appurl", "needUpdateWaterMark", "appiconurl" and so on).
    void encodeWithCoder(archive::Archive& coder) const;
    static AppRegisterInfo initWithCoder(const archive::Archive& coder);
    // "{ name:NAME appid:ID}", "(null)" standing for a missing name or id.
    std::string description() const;
};

}  // namespace pigeon
