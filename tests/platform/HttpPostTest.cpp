// The synchronous HTTP POST: bodies and headers both ways, verified TLS, size cap, time-out.
#include "platform/HttpPost.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "support/LoopbackHttpServer.h"
#include "support/TemporaryFolder.h"

namespace {

using kite::test::LoopbackHttpServer;

platform::HttpPostRequest requestTo(const std::string& url) {
    platform::HttpPostRequest request;
    request.url = url;
    request.timeoutSeconds = 5;
    return request;
}

TEST(HttpPost, SendsBodyAndHeadersAndReadsTheReply) {
    LoopbackHttpServer server;
    std::string received, contentEncoding;
    server.server().Post("/echo", [&](const httplib::Request& request, httplib::Response& response) {
        received = request.body;
        contentEncoding = request.get_header_value("Content-Encoding");
        response.status = 202;
        response.set_header("X-Answer", "yes");
        response.set_content(std::string("a\0b", 3), "application/octet-stream");
    });
    ASSERT_TRUE(server.start());
    platform::HttpPostRequest request = requestTo(server.url("/echo"));
    request.body = {'x', 0, 'y'};
    request.headers = {"Content-Encoding: rc4", "Bad: line\r\nInjected: 1"};
    const platform::HttpPostResult result = platform::httpPost(request);
    ASSERT_TRUE(result.transported) << result.error;
    EXPECT_EQ(result.status, 202);
    EXPECT_EQ(received, std::string("x\0y", 3));
    EXPECT_EQ(contentEncoding, "rc4");
    EXPECT_EQ(result.header("x-answer"), "yes");
    EXPECT_EQ(std::string(result.body.begin(), result.body.end()), std::string("a\0b", 3));
}

TEST(HttpPost, ReplyOverTheCapIsRefusedWithItsStatus) {
    LoopbackHttpServer server;
    server.server().Post("/big", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(std::string(2000, 'z'), "text/plain");
    });
    ASSERT_TRUE(server.start());
    platform::HttpPostRequest request = requestTo(server.url("/big"));
    request.maxResponseBytes = 1000;
    const platform::HttpPostResult result = platform::httpPost(request);
    EXPECT_FALSE(result.transported);
    EXPECT_TRUE(result.bodyTooLarge);
    EXPECT_EQ(result.status, 200);
    EXPECT_TRUE(result.body.empty());
}

TEST(HttpPost, UnverifiedPeersOtherSchemesAndSilentServersFail) {
    kite::test::TemporaryFolder folder("post-tls");
    LoopbackHttpServer tls(LoopbackHttpServer::Security::Tls, folder.path());
    tls.server().Post("/x", [](const httplib::Request&, httplib::Response& response) { response.status = 200; });
    ASSERT_TRUE(tls.start());
    EXPECT_FALSE(platform::httpPost(requestTo(tls.url("/x"))).transported);  // self-signed: refused
    EXPECT_FALSE(platform::httpPost(requestTo("file:///etc/hostname")).transported);

    LoopbackHttpServer slow;
    slow.server().Post("/slow", [](const httplib::Request&, httplib::Response& response) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // the peer's delay, not a wait of the test
        response.status = 200;
    });
    ASSERT_TRUE(slow.start());
    platform::HttpPostRequest request = requestTo(slow.url("/slow"));
    request.timeoutSeconds = 1;
    const platform::HttpPostResult result = platform::httpPost(request);
    EXPECT_FALSE(result.transported);
    EXPECT_FALSE(result.error.empty());
}

}  // namespace
