// Sends statistics events to the statistics endpoint, one report at a time.
#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sdk/pigeon/statistics/PGStatEvent.h"
#include "sdk/pigeon/statistics/PGStatHelper.h"
#include "sdk/pigeon/statistics/PGStatSupport.h"

namespace pigeon {

class PGStatDispatcher {
public:
    // Called on the dispatcher's queue: true when the batch counts as delivered.
    using Callback = std::function<void(bool delivered)>;

    static constexpr char kDefaultReportURL[] = "http://127.0.0.1:8088/mstat/report";
    static constexpr std::size_t kCompressFrom = 256;
    // A reply larger than this is no configuration update of ours.
    static constexpr std::size_t kMaxAnswerBytes = 64 * 1024;

    static PGStatDispatcher& getInstance();

    void sendEvent(PGStatEvent& event, Callback callback);
    // An empty batch does nothing (the callback is not called).
    void send(std::vector<std::string> eventTexts, Callback callback);

    // The body as it goes out, before enciphering: the JSON text, or past 255 bytes
    // its length (4 bytes, big-endian) and its gzip stream. False when gzip fails.
    static bool frameBody(const std::string& json, StatBytes* body, bool* compressed);
    // One synchronous exchange; the answer bytes (deciphered) when there are any.
    bool nsRequest(const std::string& json, std::optional<StatBytes>* answer);

    // Nothing to close: each exchange is over when it returns.
    void close() {}
    // The local time now as "yyyy/MM/dd HH:mm:ss:SSS".
    static std::string GetCurTime();
    // "host,port;host2,port2" as {"http://host:port", "http://host2:port2"}; empty pieces are skipped.
    static std::vector<std::string> splitSpeedString(const std::string& text);

private:
    PGStatDispatcher() : task_queue("HttpDispatcher") {}
    void handleAnswer(const StatBytes& answer);

    StatQueue task_queue;
};

}  // namespace pigeon
