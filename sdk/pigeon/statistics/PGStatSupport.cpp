// The statistics module's log, clock and counted work queues.
#include "sdk/pigeon/statistics/PGStatSupport.h"

#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <future>
#include <mutex>

#include "sdk/pigeon/statistics/PGStatConfig.h"

namespace pigeon {

namespace {

std::mutex sinkMutex;
std::function<void(const std::string&)> logSink;

std::mutex clockMutex;
std::function<std::int64_t()> fixedClock;

std::mutex idleMutex;
std::condition_variable idleChanged;
long jobsInFlight = 0;

void writeLine(const char* format, va_list arguments) {
    char line[2048];
    std::vsnprintf(line, sizeof line, format, arguments);
    std::fprintf(stderr, "PGStat: %s\n", line);
    std::lock_guard<std::mutex> lock(sinkMutex);
    if (logSink) logSink(line);
}

class CountedJob : public platform::SerialQueue::Job {
public:
    explicit CountedJob(std::function<void()> work) : work_(std::move(work)) {}
    void run() override {
        work_();
        work_ = nullptr;  // what the work holds goes before the job counts as done
        std::lock_guard<std::mutex> lock(idleMutex);
        if (--jobsInFlight == 0) idleChanged.notify_all();
    }

private:
    std::function<void()> work_;
};

}  // namespace

void statLog(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    writeLine(format, arguments);
    va_end(arguments);
}

void statDebugLog(const char* format, ...) {
    if (!PGStatConfig::getInstance().debugEnable) return;
    va_list arguments;
    va_start(arguments, format);
    writeLine(format, arguments);
    va_end(arguments);
}

void setStatLogSinkForTesting(std::function<void(const std::string&)> sink) {
    std::lock_guard<std::mutex> lock(sinkMutex);
    logSink = std::move(sink);
}

std::int64_t statNow() {
    std::lock_guard<std::mutex> lock(clockMutex);
    return fixedClock ? fixedClock() : static_cast<std::int64_t>(std::time(nullptr));
}

void setStatClockForTesting(std::function<std::int64_t()> clock) {
    std::lock_guard<std::mutex> lock(clockMutex);
    fixedClock = std::move(clock);
}

StatQueue::StatQueue(const std::string& name) : queue_(name) {
    if (!queue_.running())
        statLog("the %s queue's thread cannot start (%s); the statistics it would keep are dropped", name.c_str(),
                queue_.startError().c_str());
}

void StatQueue::async(std::function<void()> work) {
    {
        std::lock_guard<std::mutex> lock(idleMutex);
        ++jobsInFlight;
    }
    if (!queue_.post(std::make_unique<CountedJob>(std::move(work)))) {
        std::lock_guard<std::mutex> lock(idleMutex);
        if (--jobsInFlight == 0) idleChanged.notify_all();
    }
}

void StatQueue::sync(std::function<void()> work) {
    if (!queue_.running()) {
        work();
        return;
    }
    std::promise<void> done;
    async([&] {
        work();
        done.set_value();
    });
    done.get_future().wait();
}

bool StatQueue::waitUntilIdle(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(idleMutex);
    return idleChanged.wait_for(lock, timeout, [] { return jobsInFlight == 0; });
}

}  // namespace pigeon
