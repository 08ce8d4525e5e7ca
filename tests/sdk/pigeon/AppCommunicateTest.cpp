#include "sdk/pigeon/AppCommunicate.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

#include "platform/Pasteboard.h"
#include "platform/UrlOpener.h"
#include "sdk/pigeon/PigeonFixture.h"
#include "support/BinaryPlistBuilder.h"
#include "support/SchemeHandlers.h"

extern char** environ;

using namespace pigeon;
using platform::PlistValue;

namespace {

using AppCommunicateTest = test::PigeonTest;

AppCommunicateData shareRequest(const std::string& title) {
    auto page = PGWebpageObject::object();
    page->webpageUrl = "https://example.org/p";
    SendMessageToPGReq request;
    request.message = PGMediaMessage::message();
    request.message->title = title;
    request.message->thumbData = test::sampleJpeg();
    request.message->mediaObject = page;
    request.scene = 1;
    AppCommunicateData data;
    EXPECT_TRUE(data.ReqToData(request));
    return data;
}

int runToEnd(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string fileText(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

}  // namespace

TEST_F(AppCommunicateTest, AnExchangeIsDeliveredOnceThroughTheGeneralPasteboard) {
    ASSERT_TRUE(AppCommunicate::setAppCommunicateData(shareRequest("first"), "pg123"));
    EXPECT_TRUE(platform::Pasteboard::general().data("content"));

    auto received = AppCommunicate::appCommunicateDataForAppID("pg123");
    ASSERT_TRUE(received);
    EXPECT_EQ(received->command(), 1010u);
    EXPECT_EQ(received->mediaMessage()->title, "first");
    EXPECT_FALSE(AppCommunicate::appCommunicateDataForAppID("pg123")) << "the read wiped it";
    EXPECT_FALSE(AppCommunicate::setAppCommunicateData(shareRequest("x"), ""));
}

TEST_F(AppCommunicateTest, FromSystem7OnAWriteReplacesOtherApplicationsEntries) {
    ASSERT_TRUE(AppCommunicate::setAppCommunicateData(shareRequest("other"), "other"));
    ASSERT_TRUE(AppCommunicate::setAppCommunicateData(shareRequest("mine"), "mine"));
    EXPECT_FALSE(AppCommunicate::propertyListForAppIDForiOS7Plus("other"));
}

TEST_F(AppCommunicateTest, BeforeSystem7FileDataTravelsOnItsOwnPasteboardAndOtherEntriesStay) {
    useSystemVersion("6.1");
    auto file = PGFileObject::object();
    file->fileExtension = "bin";
    file->fileData = {1, 2, 3};
    SendMessageToPGReq request;
    request.message = PGMediaMessage::message();
    request.message->mediaObject = file;
    AppCommunicateData data;
    ASSERT_TRUE(data.ReqToData(request));
    ASSERT_TRUE(AppCommunicate::setAppCommunicateData(shareRequest("other"), "other"));
    ASSERT_TRUE(AppCommunicate::setAppCommunicateData(data, "mine"));
    EXPECT_FALSE(platform::Pasteboard::general().data("content"));

    auto received = AppCommunicate::appCommunicateDataForAppID("mine");
    ASSERT_TRUE(received);
    auto back = std::dynamic_pointer_cast<PGFileObject>(received->mediaMessage()->mediaObject);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->fileData, (Bytes{1, 2, 3}));
    EXPECT_EQ(AppCommunicate::fileDataForAppID("mine"), Bytes{}) << "file data is taken once too";
}

TEST_F(AppCommunicateTest, WhatDoesNotParseStaysOnThePasteboardAndWrongTypesAreRefused) {
    platform::Pasteboard general = platform::Pasteboard::general();
    const std::string garbage = "<plist><dict><key>pg</key>";
    general.setData("content", Bytes(garbage.begin(), garbage.end()));
    EXPECT_FALSE(AppCommunicate::appCommunicateDataForAppID("pg"));
    EXPECT_EQ(general.data("content"), Bytes(garbage.begin(), garbage.end()));

    const std::string binary = "bplist00\xd1\x01\x02 damaged";
    general.setData("content", Bytes(binary.begin(), binary.end()));
    EXPECT_FALSE(AppCommunicate::appCommunicateDataForAppID("pg"));
    EXPECT_EQ(general.data("content"), Bytes(binary.begin(), binary.end()));

    general.setPropertyList("content", PlistValue(PlistValue::Dictionary{{"pg", PlistValue("not a dictionary")}}));
    EXPECT_FALSE(AppCommunicate::appCommunicateDataForAppID("pg"));
    general.setPropertyList(
        "content",
        PlistValue(PlistValue::Dictionary{{"pg", PlistValue::Dictionary{{"command", PlistValue::integer(1010)}}}}));
    EXPECT_FALSE(AppCommunicate::appCommunicateDataForAppID("pg"));
}

TEST_F(AppCommunicateTest, AnAnswerLeftAsABinaryPropertyListIsRead) {
    kite::test::BinaryPlistBuilder plist;
    const std::size_t keys[] = {plist.ascii("command"), plist.ascii("result"), plist.ascii("language")};
    const std::size_t values[] = {plist.ascii("2010"), plist.ascii("-2"), plist.utf16(u"中文")};
    const std::size_t entry = plist.dictionary({keys[0], keys[1], keys[2]}, {values[0], values[1], values[2]});
    const std::size_t top = plist.dictionary({plist.ascii("pg5")}, {entry});
    platform::Pasteboard::general().setData("content", plist.build(top));

    auto answer = AppCommunicate::appCommunicateDataForAppID("pg5");
    ASSERT_TRUE(answer);
    auto response = std::dynamic_pointer_cast<SendMessageToPGResp>(answer->DataToResp());
    ASSERT_TRUE(response);
    EXPECT_EQ(response->errCode, -2);
    EXPECT_EQ(response->lang, "中文");
}

TEST_F(AppCommunicateTest, ASecondProgramReadsTheRequestAndItsAnswerComesBack) {
    ASSERT_TRUE(AppCommunicate::setAppCommunicateData(shareRequest("分享 & more"), "pg42"));
    const std::string record = runtime_.path() + "/peer-record";
    ASSERT_EQ(runToEnd({STARGRID_PIGEON_PEER, record, PigeonApiUtil::getPigeonUrl("pg42", "sendreq/?")}), 0);

    const std::string seen = fileText(record);
    EXPECT_NE(seen.find("command=1010\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("scene=1\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("title=分享 & more\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("objectType=5\nmediaUrl=https://example.org/p\n"), std::string::npos) << seen;
    EXPECT_NE(seen.find("thumbBytes=" + std::to_string(test::sampleJpeg().size())), std::string::npos) << seen;
    EXPECT_NE(seen.find("answered=yes"), std::string::npos) << seen;

    auto answer = AppCommunicate::appCommunicateDataForAppID("pg42");
    ASSERT_TRUE(answer);
    EXPECT_TRUE(answer->returnFromApp());
    auto response = std::dynamic_pointer_cast<SendMessageToPGResp>(answer->DataToResp());
    ASSERT_TRUE(response);
    EXPECT_EQ(response->errCode, 0);
}

TEST_F(AppCommunicateTest, OpeningTheMessengerUrlLaunchesItAndItOpensTheApplicationUrl) {
    kite::test::SchemeHandlers& handlers = kite::test::SchemeHandlers::instance();
    kite::test::RecordPipe peerRecord(handlers.path() + "/peer");
    kite::test::RecordPipe appRecord(handlers.path() + "/app");
    EXPECT_FALSE(PigeonApiUtil::isAppInstalledWithCatchException("pgapp77"));
    handlers.registerHandler("pigeon", std::string(STARGRID_PIGEON_PEER) + " " + peerRecord.path());
    handlers.registerHandler("pgapp77", std::string(STARGRID_URL_RECORDER) + " " + appRecord.path());
    ASSERT_TRUE(kite::test::SchemeHandlers::waitUntil([] {
        return PigeonApiUtil::isAppInstalledWithCatchException("pgapp77") && platform::canOpenUrl("pigeon://");
    }));

    SendAuthReq auth;
    auth.scope = "snsapi_userinfo";
    auth.state = "st";
    AppCommunicateData request;
    ASSERT_TRUE(request.ReqToData(auth));
    ASSERT_TRUE(AppCommunicate::setAppCommunicateData(request, "pgapp77"));
    ASSERT_TRUE(platform::openUrl(PigeonApiUtil::getPigeonUrl("pgapp77", "sendreq/?")));

    const auto seen = peerRecord.read(std::chrono::seconds(20));
    ASSERT_TRUE(seen);
    EXPECT_NE(seen->find("url=pigeon://app/pgapp77/sendreq/?\ncommand=1030\n"), std::string::npos) << *seen;
    EXPECT_NE(seen->find("scope=snsapi_userinfo\nstate=st\n"), std::string::npos) << *seen;
    EXPECT_EQ(appRecord.read(std::chrono::seconds(20)), "pgapp77://pigeon/sendresp/?");

    auto answer = AppCommunicate::appCommunicateDataForAppID("pgapp77");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->command(), 2030u);
    ASSERT_TRUE(answer->authResp());
    EXPECT_EQ(answer->authResp()->state, "st");
}

TEST_F(AppCommunicateTest, TheLargestFileAllowedTravelsWhole) {
    auto file = PGFileObject::object();
    file->fileExtension = "bin";
    file->fileData.resize(10485760);
    for (std::size_t i = 0; i < file->fileData.size(); ++i) file->fileData[i] = std::uint8_t(i * 7);
    SendMessageToPGReq request;
    request.message = PGMediaMessage::message();
    request.message->mediaObject = file;
    AppCommunicateData data;
    ASSERT_TRUE(data.ReqToData(request));
    ASSERT_TRUE(AppCommunicate::setAppCommunicateData(data, "pgbig"));

    auto received = AppCommunicate::appCommunicateDataForAppID("pgbig");
    ASSERT_TRUE(received);
    auto back = std::dynamic_pointer_cast<PGFileObject>(received->mediaMessage()->mediaObject);
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->fileData == file->fileData);
}

TEST_F(AppCommunicateTest, AnExchangeItsReaderWouldRefuseIsNotWrittenAndTheWriteSaysWhy) {
    AppCommunicate::Dictionary exchange{{"cards", PlistValue(PlistValue::Array(70000, PlistValue("card")))}};
    testing::internal::CaptureStderr();
    EXPECT_FALSE(AppCommunicate::setPropertyListForiOS7Plus(exchange, "pgmany"));
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("PigeonApiUtil: cannot write a property list: more values than allowed"), std::string::npos)
        << log;
}
