#include "tools/server/StatReport.h"

#include <zlib.h>

#include <string>

#include "ServerTestSupport.h"

namespace stargrid_server::test {
namespace {

std::string gzip(const std::string& text) {
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, text.size()), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    stream.avail_in = static_cast<uInt>(text.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// A report as the statistics module frames it.
std::string frame(const std::string& json, bool compress) {
    std::string body = json;
    if (compress) {
        const auto size = static_cast<std::uint32_t>(json.size());
        body = std::string{static_cast<char>(size >> 24), static_cast<char>(size >> 16), static_cast<char>(size >> 8),
                           static_cast<char>(size)} +
               gzip(json);
    }
    rc4(body, kStatReportKey);
    return body;
}

TEST(StatReport, RC4IsItsOwnInverseAndMatchesThePublishedVector) {
    std::string text = "Plaintext";
    rc4(text, "Key");
    const unsigned char expected[] = {0xBB, 0xF3, 0x16, 0xE8, 0xD9, 0x40, 0xAF, 0x0A, 0xD3};
    EXPECT_EQ(text, std::string(reinterpret_cast<const char*>(expected), sizeof expected));
    rc4(text, "Key");
    EXPECT_EQ(text, "Plaintext");
}

TEST(StatReport, ShortAndCompressedReportsBothGiveTheirEvents) {
    std::string error;
    auto shortReport = decodeStatReport(frame("[{\"t\":1},{\"t\":2}]", false), "rc4", &error);
    ASSERT_TRUE(shortReport) << error;
    EXPECT_EQ(shortReport->eventCount, 2);
    const std::string longJson = "[" + std::string(300, ' ') + "{\"t\":3}]";
    auto longReport = decodeStatReport(frame(longJson, true), "rc4,gzip", &error);
    ASSERT_TRUE(longReport) << error;
    EXPECT_TRUE(longReport->compressed);
    EXPECT_EQ(longReport->json, longJson);
}

TEST(StatReport, DamagedReportsAreRefusedWithAReason) {
    std::string error;
    EXPECT_FALSE(decodeStatReport(frame("not json", false), "rc4", &error));
    EXPECT_FALSE(decodeStatReport(frame("[]", false).substr(0, 2), "rc4,gzip", &error));
    std::string lying = frame("[1,2,3]", true);
    rc4(lying, kStatReportKey);
    lying[3] = 100;  // announces more than the stream holds
    rc4(lying, kStatReportKey);
    EXPECT_FALSE(decodeStatReport(lying, "rc4,gzip", &error));
    EXPECT_FALSE(error.empty());
}

using StatEndpointTest = ServerTest;

TEST_F(StatEndpointTest, ReportsAreAcceptedAndLoggedWithTheirEventCount) {
    httplib::Headers headers{{"Content-Encoding", "rc4"}};
    auto result = client->Post("/mstat/report", headers, frame("[{\"t\":1}]", false), "json");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, 200);
    auto refused = client->Post("/mstat/report", headers, std::string("\x01\x02", 2), "json");
    EXPECT_EQ(refused->status, 400);
    std::vector<LoggedRequest> log = server->requestLog().since(0);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].note, "statistics: 1 events");
    EXPECT_EQ(log[0].body, "[{\"t\":1}]");
}

}  // namespace
}  // namespace stargrid_server::test
