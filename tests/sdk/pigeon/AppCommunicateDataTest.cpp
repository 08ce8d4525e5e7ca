#include "sdk/pigeon/AppCommunicateData.h"

#include <gtest/gtest.h>

#include <functional>

#include "sdk/pigeon/PigeonFixture.h"

using namespace pigeon;
using platform::PlistValue;

namespace {

class AppCommunicateDataTest : public test::PigeonTest {
protected:
    // Writes the request, hands the dictionary over as a receiver would get it.
    static AppCommunicateData sent(const BaseReq& request, const PGMediaInternalMessage* internal = nullptr) {
        AppCommunicateData writer;
        EXPECT_TRUE(writer.ReqToData(request, internal));
        return received(writer);
    }
    static AppCommunicateData answered(const BaseResp& response) {
        AppCommunicateData writer;
        EXPECT_TRUE(writer.RespToData(response));
        return received(writer);
    }
    static AppCommunicateData received(const AppCommunicateData& writer) {
        auto reader = AppCommunicateData::initWithPropertList(writer.propertList());
        EXPECT_TRUE(reader);
        return reader.value_or(AppCommunicateData());
    }
};

std::shared_ptr<PGMediaMessage> webpageMessage() {
    auto page = PGWebpageObject::object();
    page->webpageUrl = "https://example.org/share?id=7&name=星";
    auto message = PGMediaMessage::message();
    message->title = "消灭星星";
    message->description = "我得了 12345 分";
    message->thumbData = test::sampleJpeg();
    message->mediaTagName = "game";
    message->messageExt = "ext";
    message->messageAction = "<action/>";
    message->mediaObject = page;
    return message;
}

// One message of each kind of media object, every field set.
std::vector<std::shared_ptr<PGMediaMessage>> messagesOfEveryKind() {
    auto image = PGImageObject::object();
    image->imageUrl = "https://example.org/i.png";
    image->imageData = {1, 2, 3};
    auto music = PGMusicObject::object();
    music->musicUrl = "m1";
    music->musicLowBandUrl = "m2";
    music->musicDataUrl = "m3";
    music->musicLowBandDataUrl = "m4";
    auto video = PGVideoObject::object();
    video->videoUrl = "v1";
    video->videoLowBandUrl = "v2";
    auto file = PGFileObject::object();
    file->fileExtension = "txt";
    file->fileData = {'h', 'i'};
    auto extension = PGAppExtendObject::object();
    extension->url = "u";
    extension->extInfo = "info";
    extension->fileData = {9};
    auto emoticon = PGEmoticonObject::object();
    emoticon->emoticonData = {7, 7};
    std::vector<std::shared_ptr<PGMediaMessage>> messages{webpageMessage()};
    for (std::shared_ptr<PGMediaObject> object :
         std::initializer_list<std::shared_ptr<PGMediaObject>>{image, music, video, file, extension, emoticon}) {
        auto message = webpageMessage();
        message->mediaObject = object;
        messages.push_back(message);
    }
    return messages;
}

}  // namespace

TEST_F(AppCommunicateDataTest, AMediaMessageRequestCarriesTheCommonFieldsAndReadsBackEqual) {
    SendMessageToPGReq request;
    request.message = webpageMessage();
    request.scene = 1;
    request.openID = "open-7";
    AppCommunicateData writer;
    ASSERT_TRUE(writer.ReqToData(request));
    const AppCommunicateData::Dictionary& dictionary = writer.propertList();
    EXPECT_EQ(dictionary.at("command"), PlistValue("1010"));
    EXPECT_EQ(dictionary.at("returnFromApp"), PlistValue("0"));
    EXPECT_EQ(dictionary.at("result"), PlistValue("1"));
    EXPECT_EQ(dictionary.at("sdkver"), PlistValue("1.5"));
    EXPECT_EQ(dictionary.at("scene"), PlistValue("1"));
    EXPECT_EQ(dictionary.at("objectType"), PlistValue("5"));
    EXPECT_EQ(dictionary.count("account"), 0u);

    const AppCommunicateData reader = received(writer);
    EXPECT_EQ(reader.command(), 1010u);
    EXPECT_EQ(reader.scene(), 1);
    EXPECT_EQ(reader.openID(), "open-7");
    EXPECT_FALSE(reader.returnFromApp());
    auto message = reader.mediaMessage();
    ASSERT_TRUE(message);
    EXPECT_TRUE(test::sameMessage(*message, *request.message));
}

TEST_F(AppCommunicateDataTest, EveryKindOfMediaObjectReadsBackEqual) {
    for (const char* version : {"7.0", "6.1"}) {
        useSystemVersion(version);
        for (const auto& original : messagesOfEveryKind()) {
            SendMessageToPGReq request;
            request.message = original;
            AppCommunicateData writer;
            ASSERT_TRUE(writer.ReqToData(request));
            AppCommunicateData reader = received(writer);
            // Before system 7 file data travels beside the dictionary.
            EXPECT_EQ(writer.propertList().count("fileData") == 0,
                      std::string(version) == "6.1" || test::flattened(*original).fileData.empty());
            reader.setFileData(reader.fileData().empty() ? writer.fileData() : reader.fileData());
            auto message = reader.mediaMessage();
            ASSERT_TRUE(message) << version;
            EXPECT_TRUE(test::sameMessage(*message, *original))
                << version << " " << test::flattened(*original).objectType;
            auto internal = reader.mediaInternalMessage();
            ASSERT_TRUE(internal);
            EXPECT_EQ(test::tied(*internal), test::tied(test::flattened(*original)));
        }
    }
}

TEST_F(AppCommunicateDataTest, TextAndSignInRequestsReadBackEqual) {
    SendMessageToPGReq text;
    text.bText = true;
    text.text = "发给好友 & friends = 1 #top";
    auto textReader = sent(text);
    EXPECT_EQ(textReader.command(), 1020u);
    EXPECT_EQ(textReader.textMessage(), text.text);
    EXPECT_FALSE(textReader.mediaMessage());

    SendAuthReq auth;
    auth.scope = "snsapi_userinfo";
    auth.state = "xyz";
    auto authReader = sent(auth);
    EXPECT_EQ(authReader.command(), 1030u);
    ASSERT_TRUE(authReader.authRequest());
    EXPECT_EQ(authReader.authRequest()->scope, "snsapi_userinfo");
    EXPECT_EQ(authReader.authRequest()->state, "xyz");
}

TEST_F(AppCommunicateDataTest, RequestsFromTheMessengerBecomeTheirClassesAgain) {
    GetMessageFromPGReq get;
    get.openID = "o";
    get.lang = "zh_CN";
    get.country = "CN";
    auto getBack = std::dynamic_pointer_cast<GetMessageFromPGReq>(sent(get).DataToReq());
    ASSERT_TRUE(getBack);
    EXPECT_EQ(std::tie(getBack->openID, getBack->lang, getBack->country), std::tie(get.openID, get.lang, get.country));

    PGMediaInternalMessage internal;
    internal.title = "t";
    internal.objectType = 7;
    internal.extInfo = "open level 3";
    internal.messageExt = "m";
    ShowMessageFromPGReq show;
    show.openID = "o2";
    show.lang = "en";
    auto showBack = std::dynamic_pointer_cast<ShowMessageFromPGReq>(sent(show, &internal).DataToReq());
    ASSERT_TRUE(showBack);
    EXPECT_EQ(showBack->openID, "o2");
    EXPECT_EQ(showBack->lang, "en");
    auto extension = std::dynamic_pointer_cast<PGAppExtendObject>(showBack->message->mediaObject);
    ASSERT_TRUE(extension);
    EXPECT_EQ(extension->extInfo, "open level 3");
    EXPECT_EQ(showBack->message->title, "t");

    LaunchFromPGReq launch;
    launch.country = "CN";
    internal.messageAction = "act";
    auto launchBack = std::dynamic_pointer_cast<LaunchFromPGReq>(sent(launch, &internal).DataToReq());
    ASSERT_TRUE(launchBack);
    EXPECT_EQ(launchBack->country, "CN");
    EXPECT_EQ(launchBack->message->messageExt, "m");
    EXPECT_EQ(launchBack->message->messageAction, "act");
    EXPECT_FALSE(launchBack->message->mediaObject);

    internal.objectType = 5;
    internal.mediaUrl = "https://example.org";
    EXPECT_FALSE(sent(show, &internal).DataToReq()) << "only an application extension is shown";
}

TEST_F(AppCommunicateDataTest, ResponsesReadBackEqual) {
    SendMessageToPGResp send;
    send.errCode = -2;
    send.lang = "zh_CN";
    auto sendReader = answered(send);
    EXPECT_EQ(sendReader.command(), 2020u);
    EXPECT_TRUE(sendReader.returnFromApp());
    auto sendBack = std::dynamic_pointer_cast<SendMessageToPGResp>(sendReader.DataToResp());
    ASSERT_TRUE(sendBack);
    EXPECT_EQ(sendBack->errCode, -2);
    EXPECT_EQ(sendBack->lang, "") << "2020 comes back without its locale";

    AppCommunicateData::Dictionary withLocale{
        {"command", "2010"}, {"result", "0"}, {"language", "en"}, {"country", "GB"}};
    auto localeBack = std::dynamic_pointer_cast<SendMessageToPGResp>(
        AppCommunicateData::initWithPropertList(withLocale)->DataToResp());
    ASSERT_TRUE(localeBack);
    EXPECT_EQ(std::tie(localeBack->lang, localeBack->country), std::make_tuple(std::string("en"), std::string("GB")));

    SendAuthResp auth;
    auth.errCode = -4;
    auth.state = "s";
    auto authReader = answered(auth);
    auto authBack = std::dynamic_pointer_cast<SendAuthResp>(authReader.DataToResp());
    ASSERT_TRUE(authBack);
    EXPECT_EQ(authBack->errCode, -4);
    ASSERT_TRUE(authReader.authResp());
    EXPECT_EQ(authReader.authResp()->state, "s");

    GetMessageFromPGResp text;
    text.bText = true;
    text.text = "hello";
    EXPECT_EQ(answered(text).textMessage(), "hello");
    GetMessageFromPGResp media;
    media.message = webpageMessage();
    auto mediaBack = answered(media).mediaMessage();
    ASSERT_TRUE(mediaBack);
    EXPECT_TRUE(test::sameMessage(*mediaBack, *media.message));

    EXPECT_EQ(answered(ShowMessageFromPGResp()).command(), 1070u);
    AppCommunicateData writer;
    EXPECT_FALSE(writer.RespToData(PayResp()));
    EXPECT_FALSE(writer.ReqToData(PayReq()));
}

TEST_F(AppCommunicateDataTest, MessagesBeyondTheLimitsAreRefused) {
    auto accepts = [](const std::function<void(SendMessageToPGReq&)>& change) {
        SendMessageToPGReq request;
        request.message = webpageMessage();
        change(request);
        AppCommunicateData writer;
        return writer.ReqToData(request);
    };
    EXPECT_TRUE(accepts([](SendMessageToPGReq& r) { r.bText = true, r.text = std::string(10240, 'a'); }));
    EXPECT_FALSE(accepts([](SendMessageToPGReq& r) { r.bText = true, r.text = std::string(10241, 'a'); }));
    EXPECT_FALSE(accepts([](SendMessageToPGReq& r) { r.bText = true, r.text.clear(); }));
    // Characters count, not bytes: 512 Chinese characters are 1536 bytes.
    std::string chinese;
    for (int i = 0; i < 512; ++i) chinese += "星";
    EXPECT_TRUE(accepts([&](SendMessageToPGReq& r) { r.message->title = chinese; }));
    EXPECT_FALSE(accepts([&](SendMessageToPGReq& r) { r.message->title = chinese + "a"; }));
    EXPECT_FALSE(accepts([](SendMessageToPGReq& r) { r.message->thumbData.resize(32769); }));
    EXPECT_FALSE(accepts([](SendMessageToPGReq& r) { r.message->thumbData = {1, 2, 3}; }));
    EXPECT_FALSE(accepts([](SendMessageToPGReq& r) { r.message->mediaObject = PGWebpageObject::object(); }));
    EXPECT_FALSE(accepts([](SendMessageToPGReq& r) { r.message.reset(); }));
    EXPECT_FALSE(accepts([](SendMessageToPGReq& r) { r.message->mediaTagName = std::string(65, 't'); }));
    EXPECT_FALSE(accepts([](SendMessageToPGReq& r) { r.message->title = "\xff\xfe"; }));

    auto withFile = [&](std::size_t size) {
        return accepts([size](SendMessageToPGReq& r) {
            auto file = PGFileObject::object();
            file->fileData.assign(size, 1);
            r.message->mediaObject = file;
        });
    };
    EXPECT_TRUE(withFile(10485760));
    EXPECT_FALSE(withFile(10485761));

    SendAuthReq auth;
    AppCommunicateData writer;
    EXPECT_FALSE(writer.ReqToData(auth)) << "a sign-in needs its scope";
    auth.scope = "s";
    auth.state = std::string(1025, 'x');
    EXPECT_FALSE(writer.ReqToData(auth));
}

TEST_F(AppCommunicateDataTest, ANewRequestGoesToAChatAsAMediaMessage) {
    SendMessageToPGReq request;
    EXPECT_FALSE(request.bText);
    EXPECT_EQ(request.scene, 0);

    auto message = PGMediaMessage::message();
    message->thumbData = {4, 2};
    message->setThumbImage(nullptr);
    EXPECT_EQ(message->thumbData, (Bytes{4, 2}));
    platform::RgbaImage image;
    image.width = image.height = 2;
    image.pixels.assign(16, 90);
    message->setThumbImage(&image);
    EXPECT_TRUE(platform::isDecodableImage(message->thumbData.data(), message->thumbData.size()));
}

TEST_F(AppCommunicateDataTest, AReceivedDictionaryWithoutCommandReadsAsCommandZero) {
    auto reader = AppCommunicateData::initWithPropertList({{"title", "x"}});
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->command(), 0u);
    EXPECT_FALSE(reader->DataToReq());
    EXPECT_FALSE(reader->DataToResp());
    EXPECT_FALSE(reader->mediaMessage());
}
