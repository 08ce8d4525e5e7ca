// The statistics module's settings.
#include "sdk/pigeon/statistics/PGStatConfig.h"

#include <cstdlib>

#include "sdk/pigeon/statistics/PGStatDataConfigHolder.h"

namespace pigeon {

PGStatConfig::PGStatConfig() { restoreDefaults(); }

PGStatConfig& PGStatConfig::getInstance() {
    static PGStatConfig instance;
    return instance;
}

std::optional<std::string> PGStatConfig::get(Text setting) const {
    std::lock_guard<std::mutex> lock(textMutex_);
    return texts_[static_cast<int>(setting)];
}

void PGStatConfig::set(Text setting, std::optional<std::string> value) {
    std::lock_guard<std::mutex> lock(textMutex_);
    texts_[static_cast<int>(setting)] = std::move(value);
}

std::string PGStatConfig::getCustomProperty(const std::string& key, const std::string& defaultValue) const {
    PGStatDataConfigHolder* holder = PGStatDataConfigHolder::getInstance();
    const std::optional<std::string> property = holder ? holder->getAppProperty(key) : std::nullopt;
    return property ? *property : defaultValue;
}

void PGStatConfig::restoreDefaults() {
    debugEnable = false;
    statEnable = true;
    sessionTimeoutSecs = 30;
    maxLoadEventCount = 30;
    maxSendRetryCount = 10;
    minBatchReportCount = 30;
    maxStoreEventCount = 1024;
    sendPeriodMinutes = 1440;
    reportStrategy = 3;
    maxParallelTimingEvents = 1024;
    smartReporting = true;
    autoExceptionCaught = true;
    maxSessionStatReportCount = -1;
    maxReportEventLength = 4096;
    accountType = 0;
    std::lock_guard<std::mutex> lock(textMutex_);
    for (auto& text : texts_) text.reset();
    texts_[static_cast<int>(Text::channel)] = "appstore";
    // The endpoint is configurable; without it the module's fixed report URL serves.
    if (const char* url = std::getenv("STARGRID_STAT_URL"); url && *url)
        texts_[static_cast<int>(Text::statReportURL)] = url;
}

}  // namespace pigeon
