// The local game server against clients that stall, nest their JSON past reason, claim odd
// content types, give their body two lengths or steer it with members of the wrong type.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "ServerTestSupport.h"

namespace stargrid_server::test {
namespace {

using HostileClientsTest = ServerTest;

// A connection to the server's port on the loopback address that has sent what it was given;
// the descriptor, or -1 when the connection or the sending failed.
int connectAndSend(int port, const std::string& sent) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        send(fd, sent.data(), sent.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(sent.size()))
        return fd;
    if (fd >= 0) close(fd);
    return -1;
}

// A connection that has sent what it was given (perhaps nothing) and then stalls; closed at the end.
class StalledClient {
public:
    StalledClient(int port, const std::string& sent) : fd_(connectAndSend(port, sent)), connected_(fd_ >= 0) {}
    ~StalledClient() {
        if (fd_ >= 0) close(fd_);
    }
    StalledClient(const StalledClient&) = delete;
    StalledClient& operator=(const StalledClient&) = delete;
    bool connected() const { return connected_; }

private:
    int fd_ = -1;
    bool connected_ = false;
};

// What the server sends back to bytes written on a connection of their own, and whether it closed
// the connection (waited for up to 10 s).
struct RawReply {
    std::string text;
    bool closed = false;
};

RawReply sendRaw(int port, const std::string& request) {
    RawReply reply;
    const int fd = connectAndSend(port, request);
    if (fd < 0) return reply;
    pollfd ready{fd, POLLIN, 0};
    char bytes[4096];
    while (poll(&ready, 1, 10000) > 0) {
        const ssize_t got = recv(fd, bytes, sizeof bytes, 0);
        if (got <= 0) {
            reply.closed = got == 0;
            break;
        }
        reply.text.append(bytes, static_cast<std::size_t>(got));
    }
    close(fd);
    return reply;
}

std::size_t countOf(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
    return count;
}

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

TEST_F(HostileClientsTest, DifferingContentLengthsAreRefusedWith400AndTheConnectionClosed) {
    // Read by the first length, the rest of this body would be a request of its own.
    const std::string smuggled = "GET /pages/icon.png HTTP/1.1\r\nHost: x\r\n\r\n";
    const std::string body = "{}" + smuggled;
    for (const std::string& lengths : {"Content-Length: 2\r\nContent-Length: " + std::to_string(body.size()),
                                       "Content-Length: 2, " + std::to_string(body.size())}) {
        const RawReply reply =
            sendRaw(server->port(), "POST /game/RedbagCount HTTP/1.1\r\nHost: x\r\n" + lengths + "\r\n\r\n" + body);
        EXPECT_EQ(reply.text.rfind("HTTP/1.1 400 ", 0), 0u) << lengths << "\n" << reply.text;
        EXPECT_EQ(countOf(reply.text, "HTTP/1.1 "), 1u) << lengths << "\n" << reply.text;
        EXPECT_TRUE(reply.closed) << lengths;
    }
    std::vector<LoggedRequest> log = server->requestLog().since(0);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].note, "refused: conflicting Content-Length values");

    // The same length twice is one length.
    const std::string read = R"({"cellphone":"13812345678"})";
    const std::string length = "Content-Length: " + std::to_string(read.size()) + "\r\n";
    const RawReply same =
        sendRaw(server->port(), "POST /game/RedbagCount HTTP/1.1\r\nHost: x\r\nConnection: close\r\n" + length +
                                    length + "\r\n" + read);
    EXPECT_EQ(same.text.rfind("HTTP/1.1 200 ", 0), 0u) << same.text;
    EXPECT_NE(same.text.find(R"("code":"1002")"), std::string::npos) << same.text;  // read: no such account
}

TEST_F(HostileClientsTest, ALengthThatIsNoWholeNumberIsRefusedWith400NamingTheHeader) {
    // Read as 0, the body would be taken for the next request on the connection.
    const std::string body = R"({"cellphone":"13812345678"})";
    for (const std::string length : {"abc", "-5", "12abc", "0x10"}) {
        const RawReply reply = sendRaw(server->port(), "POST /game/RedbagCount HTTP/1.1\r\nHost: x\r\nContent-Length: " +
                                                           length + "\r\n\r\n" + body);
        EXPECT_EQ(reply.text.rfind("HTTP/1.1 400 ", 0), 0u) << length << "\n" << reply.text;
        EXPECT_NE(reply.text.find("Content-Length \"" + length + "\" is not a whole number"), std::string::npos)
            << length << "\n" << reply.text;
        EXPECT_EQ(countOf(reply.text, "HTTP/1.1 "), 1u) << length << "\n" << reply.text;
        EXPECT_TRUE(reply.closed) << length;
    }
    std::vector<LoggedRequest> log = server->requestLog().since(0);
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].status, 400);
    EXPECT_EQ(log[0].note, "refused: Content-Length \"abc\" is not a whole number");
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
