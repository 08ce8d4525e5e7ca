// The cookie store: cookies go only where they match, and the cookie file has the Netscape layout.
#include "kite/http/CookieStore.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "kite/http/HttpClient.h"
#include "kite/http/HttpTestSupport.h"
#include "support/LoopbackHttpServer.h"
#include "support/ScopedLocale.h"
#include "support/TemporaryFolder.h"

using kite::network::CookieStore;
using kite::network::HttpClient;
using kite::network::HttpRequest;
using kite::test::Reply;
using kite::test::sendRequest;
using kite::test::stepFramesUntil;

namespace {

constexpr std::time_t kNow = 1700000000;

TEST(CookieStore, ACookieGoesOnlyToItsHostPathAndScheme) {
    CookieStore store("unused");
    store.storeFromHeader("http://game.example.com/api/login", "sid=1; Path=/api", kNow);
    store.storeFromHeader("https://game.example.com/", "safe=2; Secure", kNow);
    EXPECT_EQ(store.cookieHeaderFor("http://game.example.com/api/rank?x=1", kNow), "sid=1");
    EXPECT_EQ(store.cookieHeaderFor("https://game.example.com/api", kNow), "sid=1; safe=2");
    EXPECT_EQ(store.cookieHeaderFor("http://game.example.com/apix", kNow), "");
    EXPECT_EQ(store.cookieHeaderFor("http://game.example.com/", kNow), "");  // secure one needs https
    EXPECT_EQ(store.cookieHeaderFor("http://evil.test/api?game.example.com", kNow), "");
    EXPECT_EQ(store.cookieHeaderFor("http://notgame.example.com/api", kNow), "");
    EXPECT_EQ(store.cookieHeaderFor("http://sub.game.example.com/api", kNow), "");  // host-only
}

TEST(CookieStore, ADomainCookieReachesSubdomainsButAForeignDomainIsRefused) {
    CookieStore store("unused");
    store.storeFromHeader("http://www.example.com/", "wide=1; Domain=.example.com", kNow);
    store.storeFromHeader("http://www.example.com/", "foreign=1; Domain=other.com", kNow);
    store.storeFromHeader("http://www.example.com/", "tld=1; Domain=com", kNow);
    store.storeFromHeader("http://www.example.com/", "tab=a\tb", kNow);
    EXPECT_EQ(store.cookieHeaderFor("http://api.example.com/", kNow), "wide=1");
    EXPECT_EQ(store.cookieHeaderFor("http://badexample.com/", kNow), "");
    ASSERT_EQ(store.getCookies().size(), 1u);
    EXPECT_TRUE(store.getCookies()[0].tailMatch);
}

// Host and attribute names are lowered in ASCII: under a Turkish locale std::tolower leaves 'I' as it is.
TEST(CookieStore, NamesAreLoweredInAsciiUnderATurkishLocale) {
    kite::test::TurkishCase turkish;
    ASSERT_TRUE(turkish.active());
    CookieStore store("unused");
    store.storeFromHeader("http://WIKI.example.org/", "wide=1; DOMAIN=WIKI.EXAMPLE.ORG", kNow);
    store.storeFromHeader("http://wiki.example.org/", "old=1; EXPIRES=Wed, 01 Jan 2020 00:00:00 GMT", kNow);
    EXPECT_EQ(store.cookieHeaderFor("http://api.wiki.example.org/", kNow), "wide=1");
}

TEST(CookieStore, ExpiredCookiesAreNotSentAndAnExpiringReplyRemovesOne) {
    CookieStore store("unused");
    store.storeFromHeader("http://h.example.com/", "a=1; Max-Age=60", kNow);
    store.storeFromHeader("http://h.example.com/", "b=2; Expires=Wed, 01 Jan 2020 00:00:00 GMT", kNow);
    EXPECT_EQ(store.cookieHeaderFor("http://h.example.com/", kNow), "a=1");
    EXPECT_EQ(store.cookieHeaderFor("http://h.example.com/", kNow + 61), "");
    store.storeFromHeader("http://h.example.com/", "a=gone; Max-Age=0", kNow);
    EXPECT_TRUE(store.getCookies().empty());
}

TEST(CookieStore, AMaxAgePastTheClocksEndKeepsTheCookieForever) {
    CookieStore store("unused");
    store.storeFromHeader("http://h.example.com/", "far=1; Max-Age=9223372036854775807", kNow);
    store.storeFromHeader("http://h.example.com/", "farther=2; Max-Age=99999999999999999999999", kNow);
    EXPECT_EQ(store.cookieHeaderFor("http://h.example.com/", kNow + 100LL * 365 * 86400), "far=1; farther=2");
}

TEST(CookieStore, ACookieOfTheSameDomainPathAndNameIsReplacedOthersAreKept) {
    CookieStore store("unused");
    store.storeFromHeader("http://h.example.com/", "a=1", kNow);
    store.storeFromHeader("http://h.example.com/", "b=1", kNow);
    store.storeFromHeader("http://h.example.com/", "a=2", kNow);
    EXPECT_EQ(store.cookieHeaderFor("http://h.example.com/", kNow), "a=2; b=1");
}

TEST(CookieStore, TheFileIsTheOwnersOnly) {
    kite::test::TemporaryFolder folder("cookies");
    const std::string path = folder.path() + "/cookies.txt";
    std::ofstream(path) << "# an older file, open to others\n";
    ASSERT_EQ(::chmod(path.c_str(), 0644), 0);
    CookieStore store(path);
    store.storeFromHeader("http://h.example.com/", "session=secret", kNow);
    ASSERT_TRUE(store.writeFile());
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(CookieStore, TheFileIsReplacedWholeOrLeftAlone) {
    kite::test::TemporaryFolder folder("cookies");
    CookieStore store(folder.path() + "/missing/cookies.txt");
    store.storeFromHeader("http://h.example.com/", "a=1", kNow);
    EXPECT_FALSE(store.writeFile());
}

class CookieExchangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder_.made());
        cookieFile_ = folder_.path() + "/cookies.txt";
        HttpClient::setCookieFileName(cookieFile_);
        auto& routes = server_.server();
        routes.Get("/account/login", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("Set-Cookie", "session=abc123; Path=/account; Max-Age=3600");
            res.set_content("in", "text/plain");
        });
        auto echoCookie = [](const httplib::Request& req, httplib::Response& res) {
            res.set_content(req.get_header_value("Cookie"), "text/plain");
        };
        routes.Get("/loud/login", [](const httplib::Request&, httplib::Response& res) {
            res.set_header("SET-COOKIE", "loud=1; PATH=/loud");
            res.set_content("in", "text/plain");
        });
        routes.Get("/account/info", echoCookie).Get("/public", echoCookie).Get("/loud/info", echoCookie);
        ASSERT_TRUE(server_.start());
    }
    void TearDown() override {
        HttpClient::destroyInstance();
        HttpClient::setCookieFileName("");
    }

    kite::test::TemporaryFolder folder_{"cookies"};
    std::string cookieFile_;
    kite::test::LoopbackHttpServer server_;
    std::vector<Reply> replies_;
};

TEST_F(CookieExchangeTest, AReplysCookieIsSentBackWhereItMatchesAndWrittenOnDestroy) {
    sendRequest(HttpRequest::Type::GET, server_.url("/account/login"), "login", replies_);
    ASSERT_TRUE(stepFramesUntil([&] { return replies_.size() == 1; }));
    sendRequest(HttpRequest::Type::GET, server_.url("/account/info"), "info", replies_);
    sendRequest(HttpRequest::Type::GET, server_.url("/public"), "public", replies_);
    ASSERT_TRUE(stepFramesUntil([&] { return replies_.size() == 3; }));
    EXPECT_EQ(replies_[1].body, "session=abc123");
    EXPECT_EQ(replies_[2].body, "");

    HttpClient::destroyInstance();
    const std::string text = kite::test::readWholeFile(cookieFile_);
    const std::string header =
        "# Netscape HTTP Cookie File\n"
        "# https://curl.se/docs/http-cookies.html\n"
        "# This file was generated by kite! Edit at your own risk.\n"
        "# Test kite cookie write.\n"
        "\n";
    ASSERT_THAT(text, ::testing::StartsWith(header));
    const std::string line = text.substr(header.size());
    EXPECT_THAT(line, ::testing::MatchesRegex("127\\.0\\.0\\.1\tFALSE\t/account\tFALSE\t[0-9]+\tsession\tabc123\n"));
}

// A header name in capitals is the same header under any locale.
TEST_F(CookieExchangeTest, AHeaderInCapitalsSetsItsCookieUnderATurkishLocale) {
    kite::test::TurkishCase turkish;
    ASSERT_TRUE(turkish.active());
    sendRequest(HttpRequest::Type::GET, server_.url("/loud/login"), "login", replies_);
    ASSERT_TRUE(stepFramesUntil([&] { return replies_.size() == 1; }));
    sendRequest(HttpRequest::Type::GET, server_.url("/loud/info"), "info", replies_);
    ASSERT_TRUE(stepFramesUntil([&] { return replies_.size() == 2; }));
    EXPECT_EQ(replies_[1].body, "loud=1");
}

}  // namespace
