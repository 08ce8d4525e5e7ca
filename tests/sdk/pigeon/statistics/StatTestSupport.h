// A fresh statistics module per test (folders, settings, sessions) and a real statistics endpoint on 127.0.0.1.
#pragma once
#include <gtest/gtest.h>
#include <json/json.h>
#include <stdlib.h>
#include <zlib.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/NetworkReachability.h"
#include "sdk/pigeon/statistics/PGStat.h"
#include "sdk/pigeon/statistics/PGStatConfig.h"
#include "sdk/pigeon/statistics/PGStatDataConfigHolder.h"
#include "sdk/pigeon/statistics/PGStatHelper.h"
#include "sdk/pigeon/statistics/PGStatOpenUDID.h"
#include "sdk/pigeon/statistics/PGStatStore.h"
#include "support/LoopbackHttpServer.h"
#include "support/TemporaryFolder.h"

namespace pigeon {
namespace test {

// What the tests' own bundle (StatTestBundle.cpp) names: a version the game has never had.
constexpr char kTestBundleIdentifier[] = "org.example.stargrid";
constexpr char kTestBundleVersion[] = "2.5";

// RC4 written from the published description, apart from the module's own.
inline std::string rc4(std::string bytes, const std::string& key = PGStatHelper::kRC4Key) {
    unsigned char s[256];
    for (int i = 0; i < 256; ++i) s[i] = static_cast<unsigned char>(i);
    unsigned j = 0;
    for (int i = 0; i < 256; ++i) {
        j = (j + s[i] + static_cast<unsigned char>(key[i % key.size()])) % 256;
        std::swap(s[i], s[j]);
    }
    unsigned a = 0, b = 0;
    for (char& c : bytes) {
        a = (a + 1) % 256;
        b = (b + s[a]) % 256;
        std::swap(s[a], s[b]);
        c = static_cast<char>(c ^ s[(s[a] + s[b]) % 256]);
    }
    return bytes;
}

// zlib's own gzip reading.
inline bool gunzip(const std::string& zipped, std::string* text) {
    z_stream stream{};
    if (inflateInit2(&stream, 31) != Z_OK) return false;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zipped.data()));
    stream.avail_in = static_cast<uInt>(zipped.size());
    char buffer[16384];
    int status = Z_OK;
    while (status == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        status = inflate(&stream, Z_NO_FLUSH);
        text->append(buffer, sizeof buffer - stream.avail_out);
    }
    inflateEnd(&stream);
    return status == Z_STREAM_END;
}

// One report as the endpoint received it.
struct Report {
    std::string encoding;  // the Content-Encoding header
    std::string plain;     // the body deciphered, still framed
    std::string json;      // the events' JSON text
    Json::Value events;    // the parsed array
};

// The statistics endpoint: deciphers, unframes and keeps every report; answers as told.
class StatServer {
public:
    StatServer() {
        server_.server().Post("/mstat/report", [this](const httplib::Request& request, httplib::Response& response) {
            Report report;
            report.encoding = request.get_header_value("Content-Encoding");
            report.plain = rc4(request.body);
            if (report.encoding == "rc4,gzip" && report.plain.size() >= 4) {
                const auto* p = reinterpret_cast<const unsigned char*>(report.plain.data());
                const std::uint32_t length = (p[0] << 24) | (p[1] << 16) | (p[2] << 8) | p[3];
                gunzip(report.plain.substr(4), &report.json);
                if (report.json.size() != length) report.json.clear();
            } else {
                report.json = report.plain;
            }
            Json::CharReaderBuilder builder;
            std::string errors;
            std::istringstream text(report.json);
            Json::parseFromStream(builder, text, &report.events, &errors);
            std::lock_guard<std::mutex> lock(mutex_);
            reports_.push_back(report);
            response.status = status_;
            if (!answer_.empty()) {
                response.set_content(cipherAnswer_ ? rc4(answer_) : answer_, "json");
                if (cipherAnswer_) response.set_header("Content-Encoding", "rc4");
            }
            changed_.notify_all();
        });
        EXPECT_TRUE(server_.start());
        PGStatConfig::getInstance().set(PGStatConfig::Text::statReportURL, server_.url("/mstat/report"));
    }

    void answer(int status, const std::string& body = "", bool cipher = true) {
        std::lock_guard<std::mutex> lock(mutex_);
        status_ = status;
        answer_ = body;
        cipherAnswer_ = cipher;
    }
    std::vector<Report> reports() {
        std::lock_guard<std::mutex> lock(mutex_);
        return reports_;
    }
    // Every event of every report, in arrival order.
    std::vector<Json::Value> events() {
        std::vector<Json::Value> all;
        for (const Report& report : reports()) {
            for (const Json::Value& event : report.events) all.push_back(event);
        }
        return all;
    }
    bool waitForReports(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return reports_.size() >= count; });
    }
    std::string url() const { return server_.url("/mstat/report"); }

private:
    kite::test::LoopbackHttpServer server_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Report> reports_;
    int status_ = 200;
    std::string answer_;
    bool cipherAnswer_ = true;
};

// Each test gets its own folders and a module as a fresh process would have it;
// the network is a mobile one unless the test says otherwise.
class StatTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.made());
        setenv("XDG_DATA_HOME", (folder_.path() + "/data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (folder_.path() + "/config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", folder_.path().c_str(), 1);
        resetModule();
        platform::setNetworkPathForTesting(platform::NetworkPath::Cellular);
        setStatClockForTesting([this] { return now_.load(); });
    }
    void TearDown() override {
        EXPECT_TRUE(idle());
        PGStatStore::getInstance().closeDB();
        setStatClockForTesting(nullptr);
        setStatLogSinkForTesting(nullptr);
        platform::setNetworkPathForTesting(std::nullopt);
    }
    static void resetModule() {
        StatQueue::waitUntilIdle(std::chrono::seconds(10));
        PGStatConfig::getInstance().restoreDefaults();
        PGStatStore::getInstance().closeDB();
        PGStatStore::getInstance().resetForTesting();
        PGStatHelper::getInstance().resetUserForTesting();
        PGStatHelper::getInstance().setPGStatEnableFlag(true);
        if (PGStatDataConfigHolder* holder = PGStatDataConfigHolder::getInstance()) holder->resetForTesting();
        PGStat::resetSessionForTesting();
        PGStatEvent::resetIndexForTesting();
        PGStatOpenUDID::clearCacheForTesting();
    }
    static bool idle() { return StatQueue::waitUntilIdle(std::chrono::seconds(10)); }
    // Lines the module logs from now on.
    void captureLog() {
        setStatLogSinkForTesting([this](const std::string& line) {
            std::lock_guard<std::mutex> lock(logMutex_);
            log_.push_back(line);
        });
    }
    bool logged(const std::string& line) {
        std::lock_guard<std::mutex> lock(logMutex_);
        for (const std::string& entry : log_) {
            if (entry == line) return true;
        }
        return false;
    }
    static std::uint32_t storedRows() { return PGStatStore::getInstance().getStoredEventsNum(); }

    kite::test::TemporaryFolder folder_{"stat"};
    std::atomic<std::int64_t> now_{1700000000};  // 2023-11-14, a fixed second
    std::mutex logMutex_;
    std::vector<std::string> log_;
};

}  // namespace test
}  // namespace pigeon
