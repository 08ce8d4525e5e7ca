// An application's settings record and its archive form.
#include "sdk/pigeon/AppSettingItem.h"

namespace pigeon {

void AppSettingItem::encodeWithCoder(archive::Archive& coder) const {
    archive::encodeObject(coder, "appID", appID);
    archive::encodeObject(coder, "openID", openID);
    archive::encodeInt32(coder, "flag", flag);
    archive::encodeBool(coder, "appAddedByUser", appAddedByUser);
}

AppSettingItem AppSettingItem::initWithCoder(const archive::Archive& coder) {
    AppSettingItem item;
    archive::decodeObject(coder, "appID", item.appID, "AppSettingItem");
    archive::decodeObject(coder, "openID", item.openID, "AppSettingItem");
    archive::decodeUnsigned32(coder, "flag", item.flag, "AppSettingItem");
    archive::decodeBool(coder, "appAddedByUser", item.appAddedByUser, "AppSettingItem");
    return item;
}

}  // namespace pigeon
