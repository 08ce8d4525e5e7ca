// Reads a statistics report as the game's statistics module sends it: RC4 over the body,
// and for long reports a 4-byte big-endian length followed by a gzip stream of the JSON text.
#pragma once
#include <optional>
#include <string>

namespace stargrid_server {

struct StatReport {
    std::string json;  // the JSON array of events
    int eventCount = 0;
    bool compressed = false;
};

// The cipher is its own inverse.
void rc4(std::string& bytes, const std::string& key);

// Empty, with a reason, when the body is not a report.
std::optional<StatReport> decodeStatReport(std::string body, const std::string& contentEncoding, std::string* error);

// The key the game's statistics module enciphers with.
extern const char* const kStatReportKey;

}  // namespace stargrid_server
