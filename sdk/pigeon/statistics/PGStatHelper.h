// The statistics module's small services: cipher, compression, device facts, JSON text, enable flag.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sdk/pigeon/statistics/PGStatRecords.h"

namespace Json {
class Value;
}

namespace pigeon {

using StatBytes = std::vector<std::uint8_t>;

class PGStatHelper {
public:
    // The RC4 key: these 32 characters used as they stand.
    static constexpr char kRC4Key[] = "7c2e94b05a1fd3689e0b4c7a21f5d8e3";
    static constexpr char kSdkVersion[] = "1.4.1";

    // RC4 in place; its own inverse.
    static void ChiperRC4(StatBytes& bytes);
    // 0 on success, -1 for empty input, no output place or a zlib failure.
    static int GZip(const StatBytes& input, StatBytes* output);
    // The inverse, refusing output over maxOutput bytes.
    static int GUnzip(const StatBytes& input, StatBytes* output, std::size_t maxOutput = 16u << 20);
    static std::optional<std::string> getMacAddress();
    static bool isWiFiAvailable();
    // Lowercase hexadecimal MD5 of the bytes (OpenSSL EVP), and a fresh UUID text (libuuid).
    static std::string md5Hex(const std::string& bytes);
    static std::string uuidString();

    static PGStatHelper& getInstance();

    const PGStatEnv& getEnv() const { return env_; }
    // Read once, with the environment: events read it on the queues, which may still run at exit.
    const std::optional<std::string>& macAddress() const { return macAddress_; }
    // Loaded from the store on first use, with the day and version bookkeeping.
    PGStatUser getUser();
    std::string fetchSSIDInfo() const;
    std::string getMid() const;
    void saveMid(const std::string& mid) const;
    // Compact JSON text of an object; anything else logs and answers "".
    static std::string getJson(const Json::Value& value);
    bool checkPGStatEnable() const;
    bool PGStatEnableFlag() const { return enableFlag_; }
    void setPGStatEnableFlag(bool enabled) { enableFlag_ = enabled; }

    // The day and version bookkeeping of a loaded user record at time now.
    static void updateUser(PGStatUser& user, std::int64_t now, const std::string& appVersion);
    void resetUserForTesting();

private:
    PGStatHelper();
    static PGStatEnv gatherEnv();

    const PGStatEnv env_;
    const std::optional<std::string> macAddress_;
    std::atomic<bool> enableFlag_{false};
    std::mutex userMutex_;
    std::optional<PGStatUser> user_;
};

}  // namespace pigeon
