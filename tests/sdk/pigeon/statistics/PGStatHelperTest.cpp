// The statistics utilities: cipher, compression, reachability flags, pasteboard name, device id.
#include "sdk/pigeon/statistics/PGStatHelper.h"

#include <openssl/evp.h>
#include <openssl/provider.h>

#include "StatTestSupport.h"
#include "sdk/pigeon/statistics/PGStat.h"
#include "sdk/pigeon/statistics/PGStatPasteboard.h"

namespace pigeon {
namespace test {
namespace {

// OpenSSL's RC4, when its legacy provider is there.
std::optional<std::string> opensslRc4(const std::string& bytes) {
    // Loading one provider by hand ends the automatic default one: load both, for the rest of the process.
    static OSSL_PROVIDER* const standard = OSSL_PROVIDER_load(nullptr, "default");
    static OSSL_PROVIDER* const legacy = OSSL_PROVIDER_load(nullptr, "legacy");
    (void)standard;
    (void)legacy;
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, "RC4", nullptr);
    std::optional<std::string> result;
    if (cipher) {
        EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
        std::string out(bytes.size(), '\0');
        int written = 0;
        if (EVP_EncryptInit_ex2(context, cipher, nullptr, nullptr, nullptr) &&
            EVP_CIPHER_CTX_set_key_length(context, 32) &&
            EVP_EncryptInit_ex2(context, nullptr, reinterpret_cast<const unsigned char*>(PGStatHelper::kRC4Key),
                                nullptr, nullptr) &&
            EVP_EncryptUpdate(context, reinterpret_cast<unsigned char*>(out.data()), &written,
                              reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()))) {
            result = out;
        }
        EVP_CIPHER_CTX_free(context);
        EVP_CIPHER_free(cipher);
    }
    return result;
}

TEST(PGStatHelper, Rc4MatchesIndependentImplementationsAndIsItsOwnInverse) {
    std::string text(1000, '\0');
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(i * 7 + 3);
    StatBytes bytes(text.begin(), text.end());
    PGStatHelper::ChiperRC4(bytes);
    const std::string enciphered(bytes.begin(), bytes.end());
    EXPECT_NE(enciphered, text);
    EXPECT_EQ(enciphered, rc4(text));
    if (const std::optional<std::string> openssl = opensslRc4(text)) {
        EXPECT_EQ(enciphered, *openssl);
    }
    PGStatHelper::ChiperRC4(bytes);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), text);
}

TEST(PGStatHelper, GzipWritesStreamsThatZlibReadsBack) {
    StatBytes zipped;
    EXPECT_EQ(PGStatHelper::GZip({}, &zipped), -1);
    EXPECT_EQ(PGStatHelper::GZip({'a', 'b', 'c'}, nullptr), -1);
    ASSERT_EQ(PGStatHelper::GZip({'a', 'b', 'c'}, &zipped), 0);
    ASSERT_GE(zipped.size(), 2u);
    EXPECT_EQ(zipped[0], 0x1F);
    EXPECT_EQ(zipped[1], 0x8B);
    // Past the first output buffer's 8192 bytes, from bytes that barely compress.
    std::string large;
    std::uint32_t seed = 12345;
    for (int i = 0; i < 40000; ++i) large += static_cast<char>((seed = seed * 1103515245 + 12345) >> 24);
    ASSERT_EQ(PGStatHelper::GZip(StatBytes(large.begin(), large.end()), &zipped), 0);
    std::string text;
    ASSERT_TRUE(gunzip(std::string(zipped.begin(), zipped.end()), &text));
    EXPECT_EQ(text, large);
    StatBytes back;
    ASSERT_EQ(PGStatHelper::GUnzip(zipped, &back), 0);
    EXPECT_EQ(std::string(back.begin(), back.end()), large);
    EXPECT_EQ(PGStatHelper::GUnzip({1, 2, 3}, &back), -1);
}

TEST(PGStatHelper, JsonTextOnlyForObjects) {
    Json::Value object(Json::objectValue);
    object["a"] = 1;
    EXPECT_EQ(PGStatHelper::getJson(object), "{\"a\":1}");
    EXPECT_EQ(PGStatHelper::getJson(Json::Value("text")), "");
    EXPECT_EQ(PGStatHelper::getJson(Json::Value(Json::arrayValue)), "");
}

TEST(PGStatHelper, UserBecomesNewDayAndNewVersionUser) {
    PGStatUser user{"u", 0, "1.0", 1700000000};
    PGStatHelper::updateUser(user, 1700000000 + 60, "1.0");
    EXPECT_EQ(user.userType, 0);
    // The same day of the year one year later is another day.
    PGStatHelper::updateUser(user, 1700000000 + 365 * 86400, "1.0");
    EXPECT_EQ(user.userType, 1);
    PGStatHelper::updateUser(user, 1700000000 + 365 * 86400 + 1, "1.1");
    EXPECT_EQ(user.userType, 3);
    EXPECT_EQ(user.appVer, "1.1");
    EXPECT_EQ(user.tagTime, 1700000000u + 365 * 86400 + 1);
}

TEST(PGStatPasteboard, CompanyDomainDropsTheLastComponent) {
    EXPECT_EQ(PGStatPasteboard::companyDomainOf("x.y.z"), "x.y");
    EXPECT_EQ(PGStatPasteboard::companyDomainOf("x.y"), "x");
    EXPECT_EQ(PGStatPasteboard::companyDomainOf("a.b.a"), "a.b") << "a component like the last one stays";
    EXPECT_EQ(PGStatPasteboard::getCompanyDomain(), "org.example") << "from the bundle's identifier";
}

class PGStatBundleVersion : public StatTest {
protected:
    void TearDown() override {
        StatTest::TearDown();
        server_.reset();
    }
    std::unique_ptr<StatServer> server_;
};

TEST_F(PGStatBundleVersion, ANewBundleVersionReachesTheRecordsAndMarksTheUser) {
    // The record a run of version 1.0 left today.
    std::optional<PGStatUser> earlier = PGStatStore::getInstance().loadUser();
    ASSERT_TRUE(earlier);
    earlier->appVer = "1.0";
    earlier->userType = 0;
    PGStatStore::getInstance().storeUser(*earlier);
    ASSERT_TRUE(idle());
    PGStatHelper::getInstance().resetUserForTesting();

    server_ = std::make_unique<StatServer>();
    platform::setNetworkPathForTesting(platform::NetworkPath::WiFi);
    PGStat::startWithAppkey("KEY");
    PGStat::trackCustomEvent("tap", {}, std::nullopt, true);
    ASSERT_TRUE(idle());
    std::vector<Json::Value> taps;
    for (const Json::Value& event : server_->events()) {
        if (event["et"].asInt() == 1000) taps.push_back(event);
    }
    ASSERT_EQ(taps.size(), 1u);
    EXPECT_EQ(taps[0]["av"].asString(), kTestBundleVersion);
    EXPECT_EQ(taps[0]["ut"].asInt(), 2) << "the new-version bit, on the day of the last run";
    const std::optional<PGStatUser> now = PGStatStore::getInstance().loadUser();
    ASSERT_TRUE(now);
    EXPECT_EQ(now->appVer, kTestBundleVersion);
}

class PGStatMid : public StatTest {};

TEST_F(PGStatMid, DeviceIdIsZeroUntilSaved) {
    PGStatHelper& helper = PGStatHelper::getInstance();
    EXPECT_EQ(helper.getMid(), "0");
    helper.saveMid("");
    EXPECT_EQ(helper.getMid(), "0");
    helper.saveMid("m-42");
    EXPECT_EQ(helper.getMid(), "m-42");
    EXPECT_EQ(PGStatPasteboard::get("xgDeviceToken"), "m-42");
}

}  // namespace
}  // namespace test
}  // namespace pigeon
