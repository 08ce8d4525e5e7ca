// The HTTP client against a real server on 127.0.0.1.
#include "kite/http/HttpClient.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "kite/http/HttpAsynConnection.h"
#include "kite/http/HttpTestSupport.h"
#include "support/LoopbackHttpServer.h"
#include "support/NoThreads.h"
#include "support/TemporaryFolder.h"

using kite::network::HttpClient;
using kite::network::HttpRequest;
using kite::test::Reply;
using kite::test::sendRequest;
using kite::test::stepFramesUntil;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

// Holds the slow route's replies back until the test lets them go.
class Gate {
public:
    void enterAndWait() {
        std::unique_lock<std::mutex> lock(mutex_);
        ++entered_;
        changed_.notify_all();
        changed_.wait_for(lock, std::chrono::seconds(10), [this] { return open_; });
    }
    bool waitEntered(int count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return entered_ >= count; });
    }
    void open() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    bool isOpen() {
        std::lock_guard<std::mutex> lock(mutex_);
        return open_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int entered_ = 0;
    bool open_ = false;
};

// What the echo route saw of one request.
struct Seen {
    std::string method;
    std::string body;
    std::string token;
    std::string contentType;
};

class HttpClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        httplib::Server& routes = server_.server();
        routes.Get("/hello",
                   [](const httplib::Request&, httplib::Response& res) { res.set_content("hello", "text/plain"); });
        routes.Get(R"(/n/(\d+))", [](const httplib::Request& req, httplib::Response& res) {
            res.set_content("n" + req.matches[1].str(), "text/plain");
        });
        auto echo = [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard<std::mutex> lock(seenMutex_);
            seen_.push_back(
                {req.method, req.body, req.get_header_value("X-Token"), req.get_header_value("Content-Type")});
            res.set_content(req.body, "application/octet-stream");
        };
        routes.Get("/echo", echo).Post("/echo", echo).Put("/echo", echo).Delete("/echo", echo);
        routes.Get("/slow", [this](const httplib::Request&, httplib::Response& res) {
            gate_.enterAndWait();
            res.set_content("late", "text/plain");
        });
        routes.Get("/huge", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(std::string(kite::network::HttpAsynConnection::kMaxBodyBytes + 1, 'x'), "text/plain");
        });
        routes.Get("/once", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/hello"); });
        routes.Get("/loop", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/loop"); });
        ASSERT_TRUE(server_.start());
    }
    void TearDown() override {
        HttpClient::destroyInstance();
        gate_.open();
    }
    std::vector<Seen> seen() {
        std::lock_guard<std::mutex> lock(seenMutex_);
        return seen_;
    }

    Gate gate_;
    std::mutex seenMutex_;
    std::vector<Seen> seen_;
    kite::test::LoopbackHttpServer server_;  // last: stops before what its routes use
    std::vector<Reply> replies_;
};

TEST_F(HttpClientTest, TwoRequestsAreAnsweredInOrderOnceEachOnTheMainThread) {
    sendRequest(HttpRequest::Type::GET, server_.url("/n/1"), "first", replies_);
    sendRequest(HttpRequest::Type::GET, server_.url("/n/2"), "second", replies_);
    ASSERT_TRUE(stepFramesUntil([&] { return replies_.size() == 2; }));
    EXPECT_EQ(replies_[0].tag, "first");
    EXPECT_EQ(replies_[0].body, "n1");
    EXPECT_EQ(replies_[1].tag, "second");
    EXPECT_EQ(replies_[1].body, "n2");
    for (const Reply& reply : replies_) {
        EXPECT_TRUE(reply.succeeded);
        EXPECT_EQ(reply.code, 200);
        EXPECT_EQ(reply.thread, std::this_thread::get_id());
    }
    stepFramesUntil([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_EQ(replies_.size(), 2u);
}

TEST_F(HttpClientTest, AnUnreachablePortFailsWithCodeMinusOneAndAnErrorText) {
    int closedPort = 0;
    {
        kite::test::LoopbackHttpServer gone;
        ASSERT_TRUE(gone.start());
        closedPort = gone.port();
    }
    sendRequest(HttpRequest::Type::GET, "http://127.0.0.1:" + std::to_string(closedPort) + "/", "x", replies_);
    ASSERT_TRUE(stepFramesUntil([&] { return replies_.size() == 1; }));
    EXPECT_FALSE(replies_[0].succeeded);
    EXPECT_EQ(replies_[0].code, -1);
    EXPECT_FALSE(replies_[0].error.empty());
    EXPECT_LE(replies_[0].error.size(), 255u);
}

TEST_F(HttpClientTest, HeaderTextStartsWithTheStatusLineAndEndsWithoutANewline) {
    sendRequest(HttpRequest::Type::GET, server_.url("/hello"), "ok", replies_);
    sendRequest(HttpRequest::Type::GET, server_.url("/missing"), "missing", replies_);
    ASSERT_TRUE(stepFramesUntil([&] { return replies_.size() == 2; }));
    const Reply& ok = replies_[0];
    EXPECT_THAT(ok.header, StartsWith("HTTP/1.1 200 OK\n"));
    EXPECT_THAT(ok.header, HasSubstr("\nContent-Type: text/plain"));
    EXPECT_NE(ok.header.back(), '\n');
    EXPECT_EQ(ok.body, "hello");

    const Reply& missing = replies_[1];
    EXPECT_TRUE(missing.succeeded);
    EXPECT_EQ(missing.code, 404);
    EXPECT_THAT(missing.header, StartsWith("HTTP/1.1 404 Not Found\n"));
    EXPECT_TRUE(missing.body.empty());
    EXPECT_TRUE(missing.error.empty());
}

TEST_F(HttpClientTest, PostAndPutBodiesAndHeaderLinesArriveByteForByte) {
    const std::string binary("\0body\xff\n", 7);  // a leading zero byte must not cut it
    const std::vector<std::string> token = {"X-Token: secret"};
    sendRequest(HttpRequest::Type::POST, server_.url("/echo"), "post", replies_, binary, token);
    sendRequest(HttpRequest::Type::PUT, server_.url("/echo"), "put", replies_, "a=1&b=2", token);
    ASSERT_TRUE(stepFramesUntil([&] { return replies_.size() == 2; }));
    const std::vector<Seen> seen = this->seen();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].method, "POST");
    EXPECT_EQ(seen[0].body, binary);
    EXPECT_EQ(replies_[0].body, binary);
    EXPECT_EQ(seen[1].method, "PUT");
    EXPECT_EQ(seen[1].body, "a=1&b=2");
    EXPECT_EQ(seen[1].contentType, "application/x-www-form-urlencoded");
    for (const Seen& request : seen) EXPECT_EQ(request.token, "secret") << request.method;
}

TEST_F(HttpClientTest, GetAndDeleteCarryNeitherHeaderLinesNorABody) {
    const std::vector<std::string> token = {"X-Token: secret"};
    sendRequest(HttpRequest::Type::DELETE, server_.url("/echo"), "delete", replies_, "gone", token);
    sendRequest(HttpRequest::Type::GET, server_.url("/echo"), "get", replies_, "query", token);
    ASSERT_TRUE(stepFramesUntil([&] { return replies_.size() == 2; }));
    const std::vector<Seen> seen = this->seen();
    ASSERT_EQ(seen.size(), 2u);
    for (const Seen& request : seen) {
        EXPECT_TRUE(request.body.empty()) << request.method;
        EXPECT_TRUE(request.token.empty()) << request.method;
        EXPECT_TRUE(request.contentType.empty()) << request.method;
    }
    EXPECT_EQ(seen[0].method, "DELETE");
    EXPECT_EQ(seen[1].method, "GET");
    EXPECT_TRUE(replies_[0].succeeded);
}

TEST_F(HttpClientTest, OnlyHttpAndHttpsAreSpoken) {
    kite::test::TemporaryFolder folder("http-scheme");
    const std::string local = folder.put("secret.txt", "local secret");
    sendRequest(HttpRequest::Type::GET, "file://" + local, "file", replies_);
    sendRequest(HttpRequest::Type::GET, "not a url", "garbage", replies_);
    ASSERT_TRUE(stepFramesUntil([&] { return replies_.size() == 2; }));
    for (const Reply& reply : replies_) {
        EXPECT_FALSE(reply.succeeded) << reply.tag;
        EXPECT_EQ(reply.code, -1);
        EXPECT_TRUE(reply.body.empty());
        EXPECT_FALSE(reply.error.empty());
    }
}

TEST_F(HttpClientTest, ANullRequestIsIgnoredAndTheNextOneIsServed) {
    HttpClient::getInstance()->send(nullptr);
    sendRequest(HttpRequest::Type::GET, server_.url("/hello"), "after", replies_);
    ASSERT_TRUE(stepFramesUntil([&] { return replies_.size() == 1; }));
    EXPECT_EQ(replies_[0].tag, "after");
}

TEST_F(HttpClientTest, ASlowServerTimesOutWithinTheConnectTimeout) {
    HttpClient::getInstance()->setConnectTimeout(1);
    sendRequest(HttpRequest::Type::GET, server_.url("/slow"), "slow", replies_);
    ASSERT_TRUE(stepFramesUntil([&] { return replies_.size() == 1; }));
    EXPECT_FALSE(gate_.isOpen());  // failed while the server still held its reply
    EXPECT_FALSE(replies_[0].succeeded);
    EXPECT_EQ(replies_[0].code, -1);
    EXPECT_THAT(replies_[0].error, HasSubstr("imed out"));
}

TEST_F(HttpClientTest, DestroyingTheClientCallsNothingBackAndANewClientWorksAtOnce) {
    sendRequest(HttpRequest::Type::GET, server_.url("/slow"), "old slow", replies_);
    sendRequest(HttpRequest::Type::GET, server_.url("/hello"), "old queued", replies_);
    ASSERT_TRUE(gate_.waitEntered(1));
    HttpClient::destroyInstance();

    HttpClient* fresh = HttpClient::getInstance();
    EXPECT_EQ(fresh->getConnectTimeout(), 30);
    EXPECT_EQ(fresh->getReadTimeout(), 60);
    sendRequest(HttpRequest::Type::GET, server_.url("/n/7"), "new", replies_);
    ASSERT_TRUE(stepFramesUntil([&] { return !replies_.empty(); }));
    EXPECT_FALSE(gate_.isOpen());  // answered while the old worker is still stuck
    gate_.open();
    sendRequest(HttpRequest::Type::GET, server_.url("/n/8"), "new again", replies_);
    ASSERT_TRUE(stepFramesUntil([&] { return replies_.size() >= 2; }));
    stepFramesUntil([] { return false; }, std::chrono::milliseconds(100));
    ASSERT_EQ(replies_.size(), 2u);
    EXPECT_EQ(replies_[0].tag, "new");
    EXPECT_EQ(replies_[1].tag, "new again");
}

TEST_F(HttpClientTest, TheProcessExitsCleanlyWhileADestroyedClientsRequestIsUnanswered) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            sendRequest(HttpRequest::Type::GET, server_.url("/slow"), "slow", replies_);
            if (!gate_.waitEntered(1)) std::exit(2);
            HttpClient::destroyInstance();
            std::exit(replies_.empty() ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(HttpClientTest, ARedirectIsFollowedButAnEndlessOneFails) {
    sendRequest(HttpRequest::Type::GET, server_.url("/once"), "once", replies_);
    sendRequest(HttpRequest::Type::GET, server_.url("/loop"), "loop", replies_);
    ASSERT_TRUE(stepFramesUntil([&] { return replies_.size() == 2; }));
    EXPECT_EQ(replies_[0].code, 200);
    EXPECT_EQ(replies_[0].body, "hello");
    EXPECT_FALSE(replies_[1].succeeded);
    EXPECT_EQ(replies_[1].code, -1);
    EXPECT_THAT(replies_[1].error, HasSubstr("redirects"));
}

TEST_F(HttpClientTest, ABodyOverTheCapFailsInsteadOfFillingMemory) {
    sendRequest(HttpRequest::Type::GET, server_.url("/huge"), "huge", replies_);
    ASSERT_TRUE(stepFramesUntil([&] { return replies_.size() == 1; }));
    EXPECT_FALSE(replies_[0].succeeded);
    EXPECT_EQ(replies_[0].code, -1);
    EXPECT_TRUE(replies_[0].body.empty());
    EXPECT_THAT(replies_[0].error, HasSubstr("body"));
}

TEST_F(HttpClientTest, ABurstOfAThousandRequestsCallsEachCallbackOnceInOrder) {
    constexpr int kCount = 1000;
    for (int i = 0; i < kCount; ++i) {
        sendRequest(HttpRequest::Type::GET, server_.url("/n/" + std::to_string(i)), std::to_string(i), replies_);
    }
    ASSERT_TRUE(stepFramesUntil([&] { return replies_.size() == kCount; }, std::chrono::seconds(120)));
    for (int i = 0; i < kCount; ++i) {
        ASSERT_EQ(replies_[i].tag, std::to_string(i));
        ASSERT_EQ(replies_[i].body, "n" + std::to_string(i));
    }
}

TEST_F(HttpClientTest, ACallbackMayDestroyTheClient) {
    HttpRequest* request = HttpRequest::create();
    request->setRequestType(HttpRequest::Type::GET);
    request->setUrl(server_.url("/hello"));
    int calls = 0;
    request->setResponseCallback([&calls](HttpClient* client, kite::network::HttpResponse* response) {
        ++calls;
        EXPECT_EQ(client, HttpClient::getInstance());
        HttpClient::destroyInstance();
        EXPECT_EQ(response->getResponseCode(), 200);  // still valid during the call
    });
    HttpClient::getInstance()->send(request);
    ASSERT_TRUE(stepFramesUntil([&] { return calls == 1; }));
    sendRequest(HttpRequest::Type::GET, server_.url("/hello"), "next", replies_);
    ASSERT_TRUE(stepFramesUntil([&] { return replies_.size() == 1; }));
}

// Where no thread can start, a request fails at once: its reply comes at the next frame, saying why.
TEST(HttpClientDeathTest, WithoutTheWorkerThreadARequestFailsAtOnceWithItsReply) {
    if (getuid() != 0) GTEST_SKIP() << "needs root to become a user held to the limit";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::vector<Reply> replies;
            if (!kite::test::startNoMoreThreads()) std::_Exit(2);
            sendRequest(HttpRequest::Type::GET, "http://127.0.0.1:9/", "alone", replies);
            if (!replies.empty()) std::_Exit(3);  // never inside the call
            kite::Director::getInstance()->getScheduler()->update(1.0f / 60);
            for (const Reply& r : replies) std::fprintf(stderr, "%d %ld %s\n", r.succeeded, r.code, r.error.c_str());
            std::_Exit(replies.size() == 1 && replies[0].thread == std::this_thread::get_id() ? 0 : 4);
        },
        ::testing::ExitedWithCode(0), "0 -1 the HTTP worker thread cannot start: Resource temporarily unavailable\n$");
}

}  // namespace
