#include "tools/server/StatReport.h"

#include <zlib.h>

#include <array>
#include <cstdint>
#include <memory>
#include <utility>

#include "platform/JsonReader.h"

namespace stargrid_server {

const char* const kStatReportKey = "7c2e94b05a1fd3689e0b4c7a21f5d8e3";

namespace {

// Reports are small; anything claiming more than this is refused before inflating.
constexpr std::uint32_t kLargestReport = 16u << 20;

std::optional<std::string> gunzip(const std::string& compressed, std::uint32_t expectedSize) {
    z_stream stream{};
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) return std::nullopt;
    std::string out(expectedSize, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&stream, Z_FINISH);
    const bool whole = status == Z_STREAM_END && stream.total_out == expectedSize;
    inflateEnd(&stream);
    if (!whole) return std::nullopt;
    return out;
}

}  // namespace

void rc4(std::string& bytes, const std::string& key) {
    if (key.empty()) return;
    std::array<std::uint8_t, 256> state;
    for (int i = 0; i < 256; ++i) state[i] = static_cast<std::uint8_t>(i);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + state[i] + static_cast<std::uint8_t>(key[i % key.size()])) & 0xff;
        std::swap(state[i], state[j]);
    }
    int i = 0;
    int j = 0;
    for (char& byte : bytes) {
        i = (i + 1) & 0xff;
        j = (j + state[i]) & 0xff;
        std::swap(state[i], state[j]);
        byte = static_cast<char>(static_cast<std::uint8_t>(byte) ^ state[(state[i] + state[j]) & 0xff]);
    }
}

std::optional<StatReport> decodeStatReport(std::string body, const std::string& contentEncoding, std::string* error) {
    StatReport report;
    if (contentEncoding.find("rc4") != std::string::npos) rc4(body, kStatReportKey);
    report.compressed = contentEncoding.find("gzip") != std::string::npos;
    if (report.compressed) {
        if (body.size() < 4) {
            *error = "compressed report shorter than its length prefix";
            return std::nullopt;
        }
        const auto byte = [&](int index) { return static_cast<std::uint32_t>(static_cast<std::uint8_t>(body[index])); };
        const std::uint32_t size = byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
        std::optional<std::string> text = size <= kLargestReport ? gunzip(body.substr(4), size) : std::nullopt;
        if (!text) {
            *error = "the gzip stream does not inflate to its announced length";
            return std::nullopt;
        }
        body = std::move(*text);
    }
    std::string parseError = "not an array";
    const std::optional<Json::Value> events =
        platform::readJson(body, &parseError, platform::JsonLimits{kLargestReport, platform::JsonLimits().maxDepth});
    if (!events || !events->isArray()) {
        *error = "the report is not a JSON array of events: " + parseError;
        return std::nullopt;
    }
    report.eventCount = static_cast<int>(events->size());
    report.json = std::move(body);
    return report;
}

}  // namespace stargrid_server
