// Damaged and wrongly typed exchange dictionaries, as another program could leave
// them on the pasteboard: each is refused or read without a fault (run under
// the address and undefined-behaviour sanitizers too).
#include <gtest/gtest.h>

#include <random>

#include "platform/Pasteboard.h"
#include "platform/PlistXml.h"
#include "sdk/pigeon/AppCommunicate.h"
#include "sdk/pigeon/PigeonFixture.h"

using namespace pigeon;
using platform::PlistValue;

namespace {

using ReceivedCorpusTest = test::PigeonTest;

// Calls every reader, so that a wrong value would be used if it got through.
void readEverything(const AppCommunicateData& data) {
    data.DataToReq();
    data.DataToResp();
    data.authRequest();
    data.authResp();
    data.textMessage();
    data.mediaMessage();
    data.mediaInternalMessage();
}

AppCommunicateData::Dictionary validMedia() {
    return {{"command", "1010"},
            {"objectType", "7"},
            {"extInfo", "e"},
            {"title", "t"},
            {"result", "0"},
            {"scene", "1"},
            {"fileData", PlistValue(PlistValue::Data{1, 2})}};
}

}  // namespace

TEST_F(ReceivedCorpusTest, WronglyTypedValuesAreRefused) {
    const char* textKeys[] = {"command", "result",      "scene",    "objectType", "account", "openID", "language",
                              "title",   "description", "mediaUrl", "extInfo",    "state",   "scope",  "returnFromApp"};
    const PlistValue wrongValues[] = {PlistValue::integer(1010),       PlistValue::real(1.5),
                                      PlistValue::boolean(true),       PlistValue(PlistValue::Data{1}),
                                      PlistValue(PlistValue::Array{}), PlistValue(PlistValue::Dictionary{})};
    for (const char* key : textKeys) {
        for (const PlistValue& wrong : wrongValues) {
            AppCommunicateData::Dictionary damaged = validMedia();
            damaged[key] = wrong;
            EXPECT_FALSE(AppCommunicateData::initWithPropertList(damaged)) << key;
        }
    }
    for (const char* key : {"thumbData", "fileData"}) {
        AppCommunicateData::Dictionary damaged = validMedia();
        damaged[key] = PlistValue("text instead of bytes");
        EXPECT_FALSE(AppCommunicateData::initWithPropertList(damaged)) << key;
    }
    const std::pair<const char*, PlistValue> badValues[] = {
        {"command", PlistValue("10x")},
        {"command", PlistValue("-1")},
        {"command", PlistValue("99999999999999999999999")},
        {"command", PlistValue("")},
        {"result", PlistValue("2147483648")},
        {"scene", PlistValue("1.5")},
        {"objectType", PlistValue(" 7")},
        {"title", PlistValue("\xc3\x28")},
        {"openID", PlistValue("\xed\xa0\x80")},
    };
    for (const auto& [key, value] : badValues) {
        AppCommunicateData::Dictionary damaged = validMedia();
        damaged[key] = value;
        EXPECT_FALSE(AppCommunicateData::initWithPropertList(damaged)) << key;
    }
    auto fine = AppCommunicateData::initWithPropertList(validMedia());
    ASSERT_TRUE(fine);
    EXPECT_TRUE(fine->DataToReq());
}

TEST_F(ReceivedCorpusTest, ValuesAsLongAsTheMessengerMayWriteThemAreRead) {
    // A message the messenger shows carries no limits of its own; its account and locale none either.
    AppCommunicateData::Dictionary received = validMedia();
    received["account"] = PlistValue(std::string(5000, 'a'));
    received["language"] = PlistValue(std::string(2000, 'l'));
    received["title"] = PlistValue(std::string(12000, 't'));
    received["mediaTagName"] = PlistValue(std::string(100, 'm'));
    received["messageExt"] = PlistValue(std::string(4096, 'x'));
    received["extInfo"] = PlistValue(std::string(3000, 'e'));
    received["thumbData"] = PlistValue(PlistValue::Data(40000, 7));
    auto data = AppCommunicateData::initWithPropertList(received);
    ASSERT_TRUE(data);
    EXPECT_EQ(data->conversationAccount().size(), 5000u);
    auto shown = std::dynamic_pointer_cast<ShowMessageFromPGReq>(data->DataToReq());
    ASSERT_TRUE(shown);
    ASSERT_TRUE(shown->message);
    EXPECT_EQ(shown->message->title.size(), 12000u);
    EXPECT_EQ(shown->message->thumbData.size(), 40000u);
    EXPECT_EQ(shown->lang.size(), 2000u);
}

TEST_F(ReceivedCorpusTest, WellTypedButMeaninglessMessagesReadAsNothing) {
    const AppCommunicateData::Dictionary meaningless[] = {
        {{"command", "1010"}},
        {{"command", "1010"}, {"objectType", "99"}, {"mediaUrl", "u"}},
        {{"command", "1010"}, {"objectType", "0"}},
        {{"command", "1010"}, {"objectType", "1"}, {"extInfo", "e"}},
        {{"command", "1030"}},
        {{"command", "1030"}, {"scope", ""}},
        {{"command", "1020"}},
        {{"command", "18446744073709551615"}},
        {{"command", "2040"}},
        {{"unknown", PlistValue::integer(3)}},
    };
    for (const auto& dictionary : meaningless) {
        auto data = AppCommunicateData::initWithPropertList(dictionary);
        ASSERT_TRUE(data);
        readEverything(*data);
        EXPECT_FALSE(data->authRequest());
        if (data->command() == 1010) {
            EXPECT_FALSE(data->mediaMessage());
        }
    }
}

TEST_F(ReceivedCorpusTest, DamagedPasteboardTextNeverFaultsTheReader) {
    AppCommunicateData request;
    SendMessageToPGReq send;
    send.message = PGMediaMessage::message();
    send.message->title = "星";
    send.message->thumbData = test::sampleJpeg();
    auto page = PGWebpageObject::object();
    page->webpageUrl = "https://example.org";
    send.message->mediaObject = page;
    ASSERT_TRUE(request.ReqToData(send));
    const std::string valid =
        platform::encodePlistXml(PlistValue(PlistValue::Dictionary{{"pg", PlistValue(request.propertList())}}));

    std::mt19937 random(20261207);
    platform::Pasteboard general = platform::Pasteboard::general();
    for (int round = 0; round < 300; ++round) {
        std::string damaged = valid;
        const int changes = 1 + int(random() % 8);
        for (int change = 0; change < changes; ++change) {
            const std::size_t at = random() % damaged.size();
            switch (random() % 3) {
                case 0: damaged[at] = char(random() % 256); break;
                case 1: damaged.erase(at, 1 + random() % 16); break;
                default: damaged.insert(at, damaged.substr(random() % damaged.size(), random() % 64)); break;
            }
        }
        general.setData("content", Bytes(damaged.begin(), damaged.end()));
        if (auto data = AppCommunicate::appCommunicateDataForAppID("pg")) readEverything(*data);
    }
}
