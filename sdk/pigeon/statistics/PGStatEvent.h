// Statistics events: one record per reported fact, writing itself as one JSON object.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sdk/pigeon/statistics/PGStatRecords.h"

namespace Json {
class Value;
}

namespace pigeon {

class PGStatEvent {
public:
    PGStatEvent();
    virtual ~PGStatEvent() = default;

    virtual std::int32_t getType() const { return 0; }
    // Adds the kind's own keys to the envelope being built.
    virtual void encode(Json::Value& d);

    // The counting form (the core's debug line and the transport) advances the event index first.
    std::string toJsonString() { return toJsonString(true); }
    std::string toJsonString(bool count);

    std::uint32_t sid = 0;
    std::uint32_t ts = 0;
    std::optional<std::string> appkey;
    bool isRealTime = false;

    // The process-wide event index (starts at 1).
    static std::int64_t currentIndex();
    static void resetIndexForTesting();

private:
    static std::atomic<std::int64_t> index_;
};

using PGStatEventPtr = std::unique_ptr<PGStatEvent>;

// The length the size limit (maxReportEventLength) measures an event's JSON text
// by: its characters in UTF-16 units, not its bytes.
std::size_t eventTextLength(const std::string& json);

class PGStatPageView : public PGStatEvent {
public:
    std::int32_t getType() const override { return 1; }
    void encode(Json::Value& d) override;
    std::uint32_t duration = 0;
    std::optional<std::string> page;
    std::optional<std::string> refer;
};

class PGStatSessionEnv : public PGStatEvent {
public:
    std::int32_t getType() const override { return 2; }
    void encode(Json::Value& d) override;
};

class PGStatErrorEvent : public PGStatEvent {
public:
    static constexpr int kMaxLines = 100;
    std::int32_t getType() const override { return 3; }
    void encode(Json::Value& d) override;
    std::optional<std::string> error;
    std::uint32_t attr = 0;  // 1 for an exception, 0 for an error text
    std::optional<std::string> availableMemory;
    std::optional<std::string> freeDiskSpace;
    std::optional<std::string> processName;
};

class PGStatCustomEvent : public PGStatEvent {
public:
    PGStatCustomEvent();
    ~PGStatCustomEvent() override;
    std::int32_t getType() const override { return 1000; }
    void encode(Json::Value& d) override;
    std::optional<std::string> eventID;
    std::unique_ptr<Json::Value> args;  // an array, or none
    std::unique_ptr<Json::Value> kvs;   // an object, or none
    std::uint32_t duration = 0;
};

class PGStatAdditionEvent : public PGStatEvent {
public:
    std::int32_t getType() const override { return 1001; }
    void encode(Json::Value& d) override;
};

class PGStatAccountEvent : public PGStatEvent {
public:
    std::int32_t getType() const override { return 1001; }
    void encode(Json::Value& d) override;
};

class PGStatMonitorStatEvent : public PGStatEvent {
public:
    std::int32_t getType() const override { return 1002; }
    void encode(Json::Value& d) override;
    std::optional<PGStatAppMonitorStat> stat;
};

class PGStatGameUserEvent : public PGStatEvent {
public:
    std::int32_t getType() const override { return 1003; }
    void encode(Json::Value& d) override;
    std::optional<std::string> uid, world, level;
};

class PGStatTestSpeedEvent : public PGStatEvent {
public:
    std::int32_t getType() const override { return 1004; }
    void encode(Json::Value& d) override;
    std::optional<std::string> sp, op, cn;
};

}  // namespace pigeon
