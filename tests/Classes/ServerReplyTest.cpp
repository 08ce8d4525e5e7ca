#include "Classes/ServerReply.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "kite/foundation/Ref.h"
#include "kite/http/HttpRequest.h"
#include "kite/http/HttpResponse.h"
#include "support/LogCapture.h"
#include "support/TemporaryFolder.h"

namespace {

using kite::network::HttpRequest;
using kite::network::HttpResponse;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// A reply as the client would hand it over.
kite::RefPtr<HttpResponse> response(const std::string& tag, bool transferred, long status, const std::string& body) {
    kite::RefPtr<HttpRequest> request(HttpRequest::create());
    request->setTag(tag);
    kite::RefPtr<HttpResponse> made(HttpResponse::create(request.get()));
    made->setSucceed(transferred);
    made->setResponseCode(status);
    made->setResponseData(std::vector<char>(body.begin(), body.end()));
    if (!transferred) made->setErrorBuffer("Couldn't connect to server");
    return made;
}

TEST(ServerReply, FollowsTheFramesLogLinesAndReadsTheCode) {
    kite::test::LogCapture log;
    ServerReply reply = ServerReply::read(
        response("Version", true, 200, "{\"code\":\"0000\",\"bodymessage\":{\"version\":\"3\"}}").get());
    EXPECT_EQ(reply.tag(), "Version");
    EXPECT_TRUE(reply.succeeded());
    EXPECT_EQ(reply.integer("version"), 3);
    EXPECT_THAT(log.lines(), ElementsAre(StartsWith("Completed Tag : Version "), StartsWith("StatusCode: 200")));
}

TEST(ServerReply, ATransferFailureIsLoggedAndNeverASuccess) {
    kite::test::LogCapture log;
    ServerReply reply = ServerReply::read(response("WebSer", false, -1, "").get());
    EXPECT_FALSE(reply.transferred());
    EXPECT_FALSE(reply.succeeded());
    EXPECT_THAT(log.lines(),
                ElementsAre(StartsWith("Completed Tag : WebSer "), StartsWith("StatusCode: -1"),
                            StartsWith("response failed"), StartsWith("error buffer: Couldn't connect to server")));
}

// What a server sent is quoted with its control characters escaped, the dump keeping its form: a reply
// cannot split the line, nor clear the player's terminal.
TEST(ServerReply, TheDumpAndTheErrorQuoteTheServerWithControlCharactersEscaped) {
    kite::test::LogCapture log;
    testing::internal::CaptureStdout();
    ServerReply::read(response("Version", true, 200, "{\"code\":\"0000\",\n\"bodymessage\":\"\033[2J\"}").get());
    kite::RefPtr<HttpResponse> failed = response("WebSer", false, -1, "");
    failed->setErrorBuffer("Could not resolve host: x\033[2J\ny");
    ServerReply::read(failed.get());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_THAT(out, HasSubstr("\nHttp Dump Data: {\"code\":\"0000\",\\x0a\"bodymessage\":\"\\x1b[2J\"}\n"));
    EXPECT_THAT(log.lines(), ::testing::Contains("error buffer: Could not resolve host: x\\x1b[2J\\x0ay"));
    EXPECT_EQ(out.find('\033'), std::string::npos) << out;
}

// The README's first headless try shows the line as the game logs it, its closing space too.
TEST(ServerReply, TheReadmeShowsTheCompletedTagLineAsItIsLogged) {
    kite::test::LogCapture log;
    ServerReply::read(response("WebSer", true, 200, "{\"code\":\"0000\"}").get());
    ASSERT_FALSE(log.lines().empty());
    std::istringstream readme(kite::test::readWholeFile(STARGRID_SOURCE_DIR "/README.md"));
    std::vector<std::string> shown;
    for (std::string line; std::getline(readme, line);)
        if (line.rfind("Completed Tag : ", 0) == 0) shown.push_back(line);
    EXPECT_THAT(shown, ElementsAre(log.lines().front()));
}

TEST(ServerReply, OnlyTheBodyCountsNotTheHttpStatus) {
    EXPECT_TRUE(ServerReply::read(response("RedbagCount", true, 500, "{\"code\":\"0000\",\"bodymessage\":\"2\"}").get())
                    .succeeded());
}

TEST(ServerReply, BodiesOfTheWrongShapeReadAsFailuresWithoutThrowing) {
    kite::test::LogCapture log;
    for (const char* body : {"", "{\"code\":\"0000\",\"bodymessage\":", "[1,2]", "\"0000\"", "{\"code\":0}",
                             "{\"code\":null}", "{\"bodymessage\":\"x\"}", "{\"code\":[\"0000\"]}"}) {
        ServerReply reply = ServerReply::read(response("UserLogin", true, 200, body).get());
        EXPECT_FALSE(reply.succeeded()) << body;
        EXPECT_EQ(reply.code(), "") << body;
    }
    EXPECT_THAT(log.text(), HasSubstr("ServerReply: "));
}

TEST(ServerReply, PayloadMembersOfAnotherTypeAreAbsentNotCoerced) {
    ServerReply reply = ServerReply::read(
        response("UserLogin", true, 200,
                 "{\"code\":\"0000\",\"bodymessage\":{\"score\":12,\"diamond\":\"5x\",\"gametag\":{}}}")
            .get());
    EXPECT_TRUE(reply.succeeded());
    EXPECT_EQ(reply.integer("score"), std::nullopt);
    EXPECT_EQ(reply.integer("diamond"), 5);  // read as the game reads numbers: the leading digits
    EXPECT_EQ(reply.text("gametag"), std::nullopt);
    EXPECT_EQ(reply.text(), std::nullopt);
    ServerReply nulBytes = ServerReply::read(
        response("RedbagCount", true, 200, std::string("{\"code\":\"0000\",\0\"bodymessage\":\"7\"}", 35)).get());
    EXPECT_EQ(nulBytes.integer(), 7);
}

}  // namespace
