// What the statistics module's classes share: its log, its clock and its work queues.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/SerialQueue.h"

namespace pigeon {

// A line to the platform logger (standard error), always.
void statLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
// A line written only while PGStatConfig debugEnable is on.
void statDebugLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Tests read the module's lines here as well; null removes the sink.
void setStatLogSinkForTesting(std::function<void(const std::string&)> sink);

// Seconds since 1970. Tests fix the clock; null returns to the system's.
std::int64_t statNow();
void setStatClockForTesting(std::function<std::int64_t()> clock);

// A serial queue of the module. Jobs posted to any StatQueue are counted, so a
// test can wait until every queue of the module has nothing left to do.
class StatQueue {
public:
    // A queue whose thread cannot start says so; the work it gets is dropped, statistics being no part
    // of what the player keeps.
    explicit StatQueue(const std::string& name);
    void async(std::function<void()> work);
    // Runs the work on the queue and waits for it (never call it from the same queue); on the caller's
    // thread when the queue has none.
    void sync(std::function<void()> work);

    // True when every job of every StatQueue has run before the time-out.
    static bool waitUntilIdle(std::chrono::milliseconds timeout);

private:
    platform::SerialQueue queue_;
};

}  // namespace pigeon
