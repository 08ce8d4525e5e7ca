// The settings and registration records and their archive form.
#include "sdk/pigeon/AppRegisterInfo.h"

#include <gtest/gtest.h>

#include <limits>

#include "platform/PlistBinary.h"
#include "sdk/pigeon/AppSettingItem.h"

namespace pigeon {
namespace {

using platform::PlistValue;

AppRegisterInfo everyFieldSet() {
    AppRegisterInfo info;
    info.appAddedByUser = true;
    info.appID = "pg5e18c0a7d94b2f63";
    info.appIdentifier = "com.quarnwell.stargrid";
    info.appName = "星格";
    info.appName4ZhTw = "星格（繁）";
    info.appName4EnUs = "Stargrid";
    info.appDescription = "消除";
    info.appDescription4EnUs = "Pop tiles";
    info.appDescription4ZhTw = "消除（繁）";
    info.appInstallUrl = "https://install.test/app";
    info.needUpdateInfo = true;
    info.needUpdateIcon = false;
    info.needUpdateWatermark = true;
    info.appInfoVer = std::numeric_limits<std::uint64_t>::max();
    info.appIconUrl = "https://install.test/icon.png";
    info.appWatermarkUrl = "https://install.test/mark.png";
    info.lastUpdateInfoTime = 4294967295u;
    info.lastUpdateWatermarkTime = 1700000001;
    info.lastUpdateIconTime = 1700000002;
    info.appTypeList = "game;puzzle";
    info.appDevInfo = "Quarnwell";
    info.appInfoFlag = 0x80000001u;
    info.appUpdateVersion = 12;
    info.appCanShowNew = true;
    info.isNewApp = true;
    info.appDownloadUrl = "https://install.test/dl";
    info.appDownloadUrlMD5 = "0123456789abcdef0123456789abcdef";
    info.nextUpdateInfoTime = 1700086400;
    info.rankWeight = 7;
    return info;
}

archive::Archive encoded(const AppRegisterInfo& info) {
    archive::Archive coder;
    info.encodeWithCoder(coder);
    return coder;
}

// Through the stored form: a binary property list.
archive::Archive stored(const archive::Archive& coder) {
    const auto bytes = platform::encodePlistBinary(PlistValue(coder));
    const auto read = platform::decodePlistBinary(bytes->data(), bytes->size());
    return *read->asDictionary();
}

}  // namespace

TEST(AppRegisterInfo, EveryArchivedFieldComesBackUnderItsKey) {
    const archive::Archive coder = encoded(everyFieldSet());
    EXPECT_EQ(coder.size(), 28u) << "every field but the rank weight";
    EXPECT_EQ(coder.at("added"), PlistValue::boolean(true));
    EXPECT_EQ(coder.at("description"), PlistValue("消除"));
    EXPECT_EQ(coder.at("appurl"), PlistValue("https://install.test/app"));
    EXPECT_EQ(coder.at("needUpdateWaterMark"), PlistValue::boolean(true));
    EXPECT_EQ(coder.at("appdownloadurlmd5"), PlistValue("0123456789abcdef0123456789abcdef"));
    EXPECT_EQ(coder.at("nextupdateinfotime"), PlistValue::integer(1700086400));
    EXPECT_EQ(coder.count("rankWeight"), 0u);

    const AppRegisterInfo back = AppRegisterInfo::initWithCoder(stored(coder));
    EXPECT_EQ(encoded(back), coder);
    EXPECT_EQ(back.appInfoVer, std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(back.appInfoFlag, 0x80000001u);
    EXPECT_EQ(back.lastUpdateInfoTime, 4294967295u);
    EXPECT_EQ(back.rankWeight, 0u);
}

TEST(AppRegisterInfo, ANewRecordIsEmptyAndDescribesItselfByNameAndId) {
    const AppRegisterInfo empty;
    const archive::Archive coder = encoded(empty);
    for (const auto& [key, value] : coder) {
        EXPECT_TRUE(value == PlistValue::boolean(false) || value == PlistValue::integer(0)) << key;
    }
    EXPECT_EQ(coder.count("appID"), 0u) << "no object, no key";
    EXPECT_EQ(empty.description(), "{ name:(null) appid:(null)}");
    EXPECT_EQ(everyFieldSet().description(), "{ name:星格 appid:pg5e18c0a7d94b2f63}");
}

TEST(AppRegisterInfo, ValuesOfAnotherKindOrWidthAreSkippedAndTheRestRead) {
    archive::Archive coder = encoded(everyFieldSet());
    coder["appName"] = PlistValue::integer(3);
    coder["added"] = PlistValue("yes");
    coder["appinfoflag"] = PlistValue::integer(4294967296);
    coder["lastUpdateIconTime"] = PlistValue::integer(-5000000000);
    coder["appInfoVer"] = PlistValue::real(1.5);
    const AppRegisterInfo read = AppRegisterInfo::initWithCoder(coder);
    EXPECT_EQ(read.appName, "");
    EXPECT_FALSE(read.appAddedByUser);
    EXPECT_EQ(read.appInfoFlag, 0u);
    EXPECT_EQ(read.lastUpdateIconTime, 0u);
    EXPECT_EQ(read.appInfoVer, 0u);
    EXPECT_EQ(read.appID, "pg5e18c0a7d94b2f63");
    EXPECT_EQ(read.appUpdateVersion, 12u);
}

TEST(AppSettingItem, FieldsComeBackUnderTheirKeys) {
    AppSettingItem item;
    item.appID = "pg5e18c0a7d94b2f63";
    item.openID = "o-1";
    item.flag = 0xffffffffu;
    item.appAddedByUser = true;
    archive::Archive coder;
    item.encodeWithCoder(coder);
    EXPECT_EQ(coder, (archive::Archive{{"appID", PlistValue("pg5e18c0a7d94b2f63")},
                                       {"openID", PlistValue("o-1")},
                                       {"flag", PlistValue::integer(-1)},
                                       {"appAddedByUser", PlistValue::boolean(true)}}));
    const AppSettingItem back = AppSettingItem::initWithCoder(stored(coder));
    EXPECT_EQ(back.appID, item.appID);
    EXPECT_EQ(back.openID, item.openID);
    EXPECT_EQ(back.flag, item.flag);
    EXPECT_TRUE(back.appAddedByUser);

    const AppSettingItem fresh = AppSettingItem::initWithCoder({{"flag", PlistValue::integer(4294967295)}});
    EXPECT_EQ(fresh.flag, 0xffffffffu) << "an unsigned writer's form reads the same";
    EXPECT_EQ(fresh.appID, "");
    EXPECT_FALSE(fresh.appAddedByUser);
}

}  // namespace pigeon
