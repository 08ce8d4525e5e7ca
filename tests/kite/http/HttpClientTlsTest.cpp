// TLS peers are verified: a self-signed server is refused unless its certificate is trusted or its key pinned.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "kite/http/HttpClient.h"
#include "kite/http/HttpTestSupport.h"
#include "support/LoopbackHttpServer.h"
#include "support/TemporaryFolder.h"

using kite::network::HttpClient;
using kite::network::HttpRequest;
using kite::test::LoopbackHttpServer;
using kite::test::Reply;
using kite::test::sendRequest;
using kite::test::stepFramesUntil;

namespace {

class HttpClientTlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.made());
        server_ = std::make_unique<LoopbackHttpServer>(LoopbackHttpServer::Security::Tls, folder_.path());
        server_->server().Get("/hello", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("secure hello", "text/plain");
        });
        ASSERT_TRUE(server_->start());
        ASSERT_FALSE(server_->publicKeyPin().empty());
    }
    void TearDown() override {
        HttpClient::destroyInstance();
        HttpClient::setCertificateFileName("");
        HttpClient::setPinnedPublicKey("");
    }
    const Reply& fetch() {
        sendRequest(HttpRequest::Type::GET, server_->url("/hello"), "tls", replies_);
        EXPECT_TRUE(stepFramesUntil([&] { return replies_.size() == 1; }));
        if (replies_.empty()) replies_.emplace_back();
        return replies_.front();
    }

    kite::test::TemporaryFolder folder_{"http-tls"};
    std::unique_ptr<LoopbackHttpServer> server_;
    std::vector<Reply> replies_;
};

TEST_F(HttpClientTlsTest, ASelfSignedServerIsRefusedByDefault) {
    const Reply& reply = fetch();
    EXPECT_FALSE(reply.succeeded);
    EXPECT_EQ(reply.code, -1);
    EXPECT_FALSE(reply.error.empty());
}

TEST_F(HttpClientTlsTest, TrustingTheServersCertificateLetsTheRequestThrough) {
    HttpClient::setCertificateFileName(server_->certificateFile());
    const Reply& reply = fetch();
    EXPECT_TRUE(reply.succeeded) << reply.error;
    EXPECT_EQ(reply.body, "secure hello");
}

TEST_F(HttpClientTlsTest, PinningTheServersKeyLetsTheRequestThrough) {
    HttpClient::setPinnedPublicKey(server_->publicKeyPin());
    const Reply& reply = fetch();
    EXPECT_TRUE(reply.succeeded) << reply.error;
    EXPECT_EQ(reply.body, "secure hello");
}

TEST_F(HttpClientTlsTest, APinnedKeyDoesNotExcuseAnotherHostName) {
    HttpClient::setPinnedPublicKey(server_->publicKeyPin());
    sendRequest(HttpRequest::Type::GET, "https://localhost:" + std::to_string(server_->port()) + "/hello", "name",
                replies_);
    ASSERT_TRUE(stepFramesUntil([&] { return replies_.size() == 1; }));
    EXPECT_FALSE(replies_[0].succeeded);
    EXPECT_EQ(replies_[0].code, -1);
}

TEST_F(HttpClientTlsTest, PinningAnotherKeyFailsEvenWithTheCertificateTrusted) {
    HttpClient::setCertificateFileName(server_->certificateFile());
    HttpClient::setPinnedPublicKey("sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=");
    const Reply& reply = fetch();
    EXPECT_FALSE(reply.succeeded);
    EXPECT_EQ(reply.code, -1);
    EXPECT_FALSE(reply.error.empty());
    EXPECT_TRUE(reply.body.empty());
}

}  // namespace
