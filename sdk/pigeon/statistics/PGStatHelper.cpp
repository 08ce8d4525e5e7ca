// The statistics module's small services.
#include "sdk/pigeon/statistics/PGStatHelper.h"

#include <ifaddrs.h>
#include <json/json.h>
#include <net/if.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <uuid/uuid.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>

#include "platform/ApplicationInfo.h"
#include "platform/DeviceProfile.h"
#include "platform/DeviceSystem.h"
#include "platform/Utf16.h"
#include "platform/WirelessNetwork.h"
#include "sdk/pigeon/statistics/PGStatConfig.h"
#include "sdk/pigeon/statistics/PGStatOpenUDID.h"
#include "sdk/pigeon/statistics/PGStatPasteboard.h"
#include "sdk/pigeon/statistics/PGStatStore.h"
#include "sdk/pigeon/statistics/PGStatSupport.h"

namespace pigeon {

namespace {

constexpr std::size_t kZipStep = 8192;

std::string hex(const unsigned char* bytes, std::size_t size) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

std::string firstLine(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

std::optional<std::string> timeZoneName() {
    if (const char* tz = std::getenv("TZ"); tz && *tz) return std::string(*tz == ':' ? tz + 1 : tz);
    std::error_code error;
    const std::string target = std::filesystem::read_symlink("/etc/localtime", error).string();
    const auto at = target.find("zoneinfo/");
    if (!error && at != std::string::npos) return target.substr(at + 9);
    const std::string named = firstLine("/etc/timezone");
    return named.empty() ? std::optional<std::string>("UTC") : named;
}

}  // namespace

void PGStatHelper::ChiperRC4(StatBytes& bytes) {
    std::uint8_t state[256];
    for (int i = 0; i < 256; ++i) state[i] = static_cast<std::uint8_t>(i);
    const std::size_t keyLength = sizeof kRC4Key - 1;
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + state[i] + static_cast<std::uint8_t>(kRC4Key[i % keyLength])) & 255;
        std::swap(state[i], state[j]);
    }
    int i = 0, j = 0;
    for (std::uint8_t& byte : bytes) {
        i = (i + 1) & 255;
        j = (j + state[i]) & 255;
        std::swap(state[i], state[j]);
        byte ^= state[(state[i] + state[j]) & 255];
    }
}

int PGStatHelper::GZip(const StatBytes& input, StatBytes* output) {
    if (input.empty() || !output) return -1;
    z_stream stream{};
    if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY) != Z_OK) return -1;
    output->assign(kZipStep, 0);
    stream.next_in = const_cast<Bytef*>(input.data());
    stream.avail_in = static_cast<uInt>(input.size());
    int status = Z_OK;
    while (status == Z_OK) {
        if (stream.total_out >= output->size()) output->resize(output->size() + kZipStep);
        stream.next_out = output->data() + stream.total_out;
        stream.avail_out = static_cast<uInt>(output->size() - stream.total_out);
        status = deflate(&stream, Z_FINISH);
    }
    output->resize(stream.total_out);
    deflateEnd(&stream);
    return status == Z_STREAM_END ? 0 : -1;
}

int PGStatHelper::GUnzip(const StatBytes& input, StatBytes* output, std::size_t maxOutput) {
    if (input.empty() || !output) return -1;
    z_stream stream{};
    if (inflateInit2(&stream, 31) != Z_OK) {
        statDebugLog("Failed to init gunzip.");
        return -1;
    }
    output->assign(kZipStep, 0);
    stream.next_in = const_cast<Bytef*>(input.data());
    stream.avail_in = static_cast<uInt>(input.size());
    int status = Z_OK;
    while (status == Z_OK && stream.total_out <= maxOutput) {
        if (stream.total_out >= output->size()) output->resize(output->size() + kZipStep);
        stream.next_out = output->data() + stream.total_out;
        stream.avail_out = static_cast<uInt>(output->size() - stream.total_out);
        status = inflate(&stream, Z_NO_FLUSH);
    }
    output->resize(stream.total_out);
    if (inflateEnd(&stream) != Z_OK) statDebugLog("Gunzip inflateEnd failed.");
    if (status != Z_STREAM_END || output->size() > maxOutput) {
        statDebugLog("Gunzip failed with status == %d", status);
        return -1;
    }
    return 0;
}

std::optional<std::string> PGStatHelper::getMacAddress() {
    // The first network interface (by name) that has a hardware address, loopback aside.
    std::error_code error;
    std::string best;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/net", error)) {
        const std::string name = entry.path().filename().string();
        const std::string address = firstLine(entry.path().string() + "/address");
        if (name == "lo" || address.size() != 17 || address == "00:00:00:00:00:00") continue;
        if (best.empty() || name < best.substr(18)) best = address + " " + name;
    }
    if (best.empty()) {
        statDebugLog("Error: %s", "if_nametoindex failure");
        return std::nullopt;
    }
    std::string upper = best.substr(0, 17);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

bool PGStatHelper::isWiFiAvailable() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return false;
    bool found = false;
    for (ifaddrs* entry = list; entry && !found; entry = entry->ifa_next) {
        found = entry->ifa_addr && entry->ifa_addr->sa_family == AF_INET && !(entry->ifa_flags & IFF_LOOPBACK);
    }
    freeifaddrs(list);
    return found;
}

std::string PGStatHelper::md5Hex(const std::string& bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_md5(), nullptr)) return {};
    return hex(digest, size);
}

std::string PGStatHelper::uuidString() {
    uuid_t id;
    uuid_generate(id);
    char text[37];
    uuid_unparse_upper(id, text);
    return text;
}

PGStatHelper& PGStatHelper::getInstance() {
    static PGStatHelper instance;
    return instance;
}

PGStatHelper::PGStatHelper() : env_(gatherEnv()), macAddress_(getMacAddress()) {}

PGStatEnv PGStatHelper::gatherEnv() {
    PGStatEnv env;
    utsname system{};
    if (uname(&system) == 0) {
        env.platform = system.sysname;
        env.devicename = system.machine;
    }
    env.os_version = platform::systemVersionString();
    if (std::atof(env.os_version->c_str()) >= 6.0) {
        // The vendor identifier: stable for this machine, as the phone's is for one vendor's apps.
        const std::string digest = md5Hex(firstLine("/etc/machine-id") + PGStatPasteboard::getCompanyDomain());
        if (digest.size() == 32) {
            env.ifv = digest.substr(0, 8) + "-" + digest.substr(8, 4) + "-" + digest.substr(12, 4) + "-" +
                      digest.substr(16, 4) + "-" + digest.substr(20, 12);
        }
    }
    const platform::DeviceProfile& profile = platform::currentDeviceProfile();
    env.modulename = profile.name;
    env.jailbroken = false;  // nothing on this system is a sign of a modified phone
    const std::string version = platform::bundleShortVersion();
    env.app_version = version.empty() ? "unknown" : version;
    env.language = platform::preferredLanguageCode();
    env.deviceid = PGStatOpenUDID::value();
    char resolution[64];
    std::snprintf(resolution, sizeof resolution, "%.fx%.f", static_cast<double>(profile.width),
                  static_cast<double>(profile.height));
    env.resolution = resolution;
    env.timezone = timeZoneName();
    env.sdk_version = kSdkVersion;
    env.mccmnc = "";
    return env;
}

void PGStatHelper::updateUser(PGStatUser& user, std::int64_t now, const std::string& appVersion) {
    const std::time_t nowTime = static_cast<std::time_t>(now);
    const std::time_t tagTime = static_cast<std::time_t>(user.tagTime);
    std::tm today{}, tagged{};
    localtime_r(&nowTime, &today);
    localtime_r(&tagTime, &tagged);
    // Another day is another year or another day of the year.
    if (now > static_cast<std::int64_t>(user.tagTime) &&
        (today.tm_year != tagged.tm_year || today.tm_yday != tagged.tm_yday)) {
        user.userType = 1;
    }
    if (user.appVer != appVersion) {
        user.userType |= 2;
        user.appVer = appVersion;
    }
    user.tagTime = static_cast<std::uint32_t>(now);
}

PGStatUser PGStatHelper::getUser() {
    std::lock_guard<std::mutex> lock(userMutex_);
    if (!user_) {
        std::optional<PGStatUser> stored = PGStatStore::getInstance().loadUser();
        PGStatUser user = stored ? *stored : PGStatUser{};
        if (stored) {
            updateUser(user, statNow(), env_.app_version.value_or("unknown"));
            PGStatStore::getInstance().storeUser(user);
        }
        user_ = user;
    }
    return *user_;
}

void PGStatHelper::resetUserForTesting() {
    std::lock_guard<std::mutex> lock(userMutex_);
    user_.reset();
}

std::string PGStatHelper::fetchSSIDInfo() const {
    // The network of the first interface that speaks wireless, as the phone asks its first one.
    const std::vector<std::string> interfaces = platform::supportedWirelessInterfaces();
    std::optional<platform::WirelessNetwork> network;
    if (!interfaces.empty()) network = platform::currentWirelessNetwork(interfaces.front());
    Json::Value info(Json::objectValue);
    // A name is any 32 bytes; one that is not text is not reported.
    const bool named = network && !network->ssid.empty() && platform::utf16Length(network->ssid);
    info["ss"] = named ? network->ssid : "Not Found";
    info["bs"] = network && !network->bssid.empty() ? network->bssid : "Not Found";
    return getJson(info);
}

std::string PGStatHelper::getMid() const {
    const std::optional<std::string> mid = PGStatPasteboard::get("xgDeviceToken");
    return mid && !mid->empty() ? *mid : "0";
}

void PGStatHelper::saveMid(const std::string& mid) const { PGStatPasteboard::set("xgDeviceToken", mid); }

std::string PGStatHelper::getJson(const Json::Value& value) {
    if (!value.isObject()) {
        statLog("error json format");
        return {};
    }
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    builder["emitUTF8"] = true;
    return Json::writeString(builder, value);
}

bool PGStatHelper::checkPGStatEnable() const {
    if (!enableFlag_) statDebugLog("PGStat is not enabled , because of the online config");
    return enableFlag_;
}

}  // namespace pigeon
