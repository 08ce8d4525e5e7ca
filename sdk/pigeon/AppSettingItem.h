// An application's settings as the messenger keeps them: an archivable record.
#pragma once
#include <cstdint>
#include <string>

#include "sdk/pigeon/ArchiveCoding.h"

namespace pigeon {

struct AppSettingItem {
    std::string appID;
    std::string openID;
    std::uint32_t flag = 0;
    bool appAddedByUser = false;

    // The archive keys are "appID", "openID", "flag" and "appAddedByUser".
    void encodeWithCoder(archive::Archive& coder) const;
    static AppSettingItem initWithCoder(const archive::Archive& coder);
};

}  // namespace pigeon
