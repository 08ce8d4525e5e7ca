// The statistics module's plain records: the user, the device environment and an interface-monitor sample.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace pigeon {

struct PGStatUser {
    std::string uid;
    std::int32_t userType = 0;
    std::string appVer;
    std::uint32_t tagTime = 0;  // seconds since 1970
};

// Gathered once by PGStatHelper; a fact that cannot be had is none.
struct PGStatEnv {
    std::optional<std::string> platform;
    std::optional<std::string> os_version;
    std::optional<std::string> language;
    std::optional<std::string> resolution;
    std::optional<std::string> deviceid;
    std::optional<std::string> mccmnc;
    std::optional<std::string> timezone;
    std::optional<std::string> app_version;
    std::optional<std::string> sdk_version;
    std::optional<std::string> devicename;
    std::optional<std::string> modulename;
    std::optional<std::string> ifa;
    std::optional<std::string> ifv;  // UUID text
    bool jailbroken = false;
    std::optional<std::string> wf;
};

// A host fills one per monitored call; interface is required.
struct PGStatAppMonitorStat {
    std::optional<std::string> interface;
    std::uint32_t requestPackageSize = 0;
    std::uint32_t responsePackageSize = 0;
    std::uint64_t consumedMilliseconds = 0;
    std::int32_t returnCode = 0;
    std::int32_t resultType = 0;
    std::uint32_t sampling = 0;  // 0 becomes 1 when the record is encoded
};

}  // namespace pigeon
