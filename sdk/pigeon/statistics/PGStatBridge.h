// Connects the messenger SDK to its statistics module: registration starts it, the background is recorded.
#pragma once
#include <mutex>
#include <optional>
#include <string>

namespace pigeon {

class PGStatBridge {
public:
    static PGStatBridge& getInstance();

    // The statistics key: a fixed prefix and the messenger application id; none for none.
    static std::optional<std::string> ConvertPGappkey(const std::optional<std::string>& appid);
    static void startWithAppkey(const std::optional<std::string>& appid);
    // Records "onBackground_PG", real-time, under the stored key.
    static void onBackground();

    std::optional<std::string> appkey() const;

private:
    PGStatBridge() = default;
    mutable std::mutex mutex_;
    std::optional<std::string> appkey_;
};

}  // namespace pigeon
