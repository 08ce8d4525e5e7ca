// The local game server against clients that stall, nest their JSON past reason, claim odd
// content types or steer it with members of the wrong type.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "ServerTestSupport.h"

namespace stargrid_server::test {
namespace {

using HostileClientsTest = ServerTest;

// A connection that has sent what it was given (perhaps nothing) and then stalls; closed at the end.
class StalledClient {
public:
    StalledClient(int port, const std::string& sent) {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                     send(fd_, sent.data(), sent.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(sent.size());
    }
    ~StalledClient() { close(fd_); }
    StalledClient(const StalledClient&) = delete;
    StalledClient& operator=(const StalledClient&) = delete;
    bool connected() const { return connected_; }

private:
    int fd_ = -1;
    bool connected_ = false;
};

std::string nested(int depth) { return std::string(depth, '[') + std::string(depth, ']'); }

TEST_F(HostileClientsTest, SixtyFourStalledClientsDoNotHoldBackAnotherRequest) {
    std::vector<std::unique_ptr<StalledClient>> stalled;
    for (int i = 0; i < 64; ++i) {
        // Half say nothing, half stop in the middle of their request's head.
        stalled.push_back(
            std::make_unique<StalledClient>(server->port(), i % 2 ? "" : "POST /game/Version HTTP/1.1\r\nHost: x"));
        ASSERT_TRUE(stalled.back()->connected()) << i;
    }
    // Each stalled client holds its connection for the whole read time-out (5 s); one worker per
    // client, as the server had, would keep this request waiting far beyond the bound.
    httplib::Client probe("127.0.0.1", server->port());
    probe.set_connection_timeout(3);
    probe.set_read_timeout(3);
    const auto started = std::chrono::steady_clock::now();
    auto result = probe.Get("/bus_ser_ios.html");
    const auto took = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(result);
    EXPECT_EQ(parseJson(result->body)["code"].asString(), "0000");
    EXPECT_LT(took, std::chrono::seconds(3));
}

TEST_F(HostileClientsTest, DeeplyNestedBodiesAreRefusedWith400AndALogLine) {
    auto refused = client->Post("/game/RedbagCount", "{\"cellphone\":" + nested(1100) + "}", "application/json");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 400);
    EXPECT_EQ(parseJson(refused->body)["code"].asString(), "1001");
    auto control = client->Post("/control/reply", nested(100000), "application/json");
    ASSERT_TRUE(control);
    EXPECT_EQ(control->status, 400);

    std::vector<LoggedRequest> log = server->requestLog().since(0);
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].path, "/game/RedbagCount");
    EXPECT_EQ(log[0].status, 400);
    EXPECT_EQ(log[0].note, "refused: nested deeper than 64 levels");
}

TEST_F(HostileClientsTest, BodiesUpToTheLimitAreReadWhateverTheirContentType) {
    // A flat object of texts padded with white space to just under 1 MiB.
    const std::string body = "{\"cellphone\":\"13812345678\"}" + std::string((1 << 20) - 40, ' ');
    for (const char* type : {"text/plain", "application/json", "application/x-www-form-urlencoded",
                             "multipart/form-data; boundary=x", "multipart/form-data", ""}) {
        auto result = client->Post("/game/RedbagCount", body, type);
        ASSERT_TRUE(result) << type;
        EXPECT_EQ(result->status, 200) << type;
        EXPECT_EQ(parseJson(result->body)["code"].asString(), "1002") << type;  // read: no such account
    }
    auto tooLong = client->Post("/game/RedbagCount", body + std::string(64, ' '), "text/plain");
    ASSERT_TRUE(tooLong);
    EXPECT_EQ(tooLong->status, 413);
}

TEST_F(HostileClientsTest, ControlMembersOfTheWrongTypeAreRefused) {
    for (const char* spec : {R"({"status":"500"})", R"({"delayMs":"50"})", R"({"drop":1})", R"({"path":5})",
                             R"({"kind":["error"]})", R"({"code":0})", R"({"body":{}})"}) {
        auto result = client->Post("/control/reply", spec, "application/json");
        ASSERT_TRUE(result) << spec;
        EXPECT_EQ(result->status, 400) << spec;
    }
    // Nothing was queued: the next reply is the real one.
    EXPECT_EQ(get("/bus_ser_ios.html")["code"].asString(), "0000");
    // A number no 64-bit integer holds is no number of the account's either, never a failure of the server.
    auto huge = client->Post("/control/account", R"({"cellphone":"13812345678","password":"MTIzNA==","score":1e19})",
                             "application/json");
    ASSERT_TRUE(huge);
    EXPECT_NE(huge->status, 500);
}

}  // namespace
}  // namespace stargrid_server::test
