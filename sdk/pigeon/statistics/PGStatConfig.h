// The statistics module's settings: defaults fixed here, some changed by the server.
#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace pigeon {

// Read from the module's queues and written at start and when online
// configuration is applied, so every setting is atomic or locked.
class PGStatConfig {
public:
    static PGStatConfig& getInstance();

    std::atomic<bool> debugEnable{false};
    std::atomic<bool> statEnable{true};
    std::atomic<std::uint32_t> sessionTimeoutSecs{30};
    std::atomic<std::uint32_t> maxLoadEventCount{30};
    std::atomic<std::uint32_t> maxSendRetryCount{10};
    std::atomic<std::uint32_t> minBatchReportCount{30};
    std::atomic<std::uint32_t> maxStoreEventCount{1024};
    std::atomic<std::uint32_t> sendPeriodMinutes{1440};
    std::atomic<int> reportStrategy{3};
    std::atomic<std::uint32_t> maxParallelTimingEvents{1024};
    std::atomic<bool> smartReporting{true};
    std::atomic<bool> autoExceptionCaught{true};
    std::atomic<int> maxSessionStatReportCount{-1};
    std::atomic<std::uint32_t> maxReportEventLength{4096};
    std::atomic<std::int8_t> accountType{0};

    // Text settings; none until set.
    enum class Text {
        appkey,
        channel,
        qq,
        account,
        accountExt,
        customerUserID,
        customerAppVersion,
        ifa,
        pushDeviceToken,
        op,
        cn,
        sp,
        statReportURL
    };
    std::optional<std::string> get(Text setting) const;
    void set(Text setting, std::optional<std::string> value);

    // The application property of that key from the online configuration, or the default.
    std::string getCustomProperty(const std::string& key, const std::string& defaultValue) const;

    // Every setting back to its default, the report URL from STARGRID_STAT_URL (tests start afresh with it).
    void restoreDefaults();

private:
    PGStatConfig();
    static constexpr int kTextCount = static_cast<int>(Text::statReportURL) + 1;
    mutable std::mutex textMutex_;
    std::optional<std::string> texts_[kTextCount];
};

}  // namespace pigeon
