// The messenger stand-in end to end: it installs itself as the messenger's
// scheme handler, reads what the game sends and answers through the game's scheme.
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "PigeonFixture.h"
#include "platform/UrlOpener.h"
#include "sdk/pigeon/PGApi.h"

namespace pigeon {
namespace {

constexpr char kAppId[] = "pgstandin0000000001";

int runStandin(const char* argument) {
    const std::string command = std::string(STARGRID_PIGEON_STANDIN) + " " + argument;
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string fileText(const std::string& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

class PigeonStandinTest : public test::PigeonTest {
protected:
    void SetUp() override {
        PigeonTest::SetUp();
        setenv("PIGEON_STANDIN_LOG", log_.c_str(), 1);
        setenv("PIGEON_STANDIN_ANSWER", "send", 1);
        setenv("STARGRID_RESOURCES", runtime_.path().c_str(), 1);
        PGApi::resetForTesting();
        ASSERT_TRUE(PGApi::registerApp(kAppId));
        kite::test::SchemeHandlers::instance().registerHandler(
            kAppId, std::string(STARGRID_URL_RECORDER) + " " + appRecord_.path());
        ASSERT_EQ(runStandin("--install"), 0);
        ASSERT_TRUE(kite::test::SchemeHandlers::waitUntil([] {
            return PGApi::isPGAppInstalled() && PGApi::isPGAppSupportApi() &&
                   platform::canOpenUrl(std::string(kAppId) + "://");
        }));
    }
    void TearDown() override {
        unsetenv("PIGEON_STANDIN_LOG");
        unsetenv("PIGEON_STANDIN_ANSWER");
        unsetenv("STARGRID_RESOURCES");
        PGApi::resetForTesting();
        PigeonTest::TearDown();
    }

    // The answer the stand-in opened the game with, handed to the API entry as the shell does.
    bool deliverAnswer() {
        const std::optional<std::string> url = appRecord_.read(std::chrono::seconds(10));
        return url && PGApi::handleOpenURL(*url, &delegate_);
    }
    template <typename T>
    std::shared_ptr<T> last() const {
        return delegate_.lastResponse<T>();
    }
    static SendMessageToPGReq pageShare(int scene) {
        SendMessageToPGReq share;
        share.scene = scene;
        share.message = PGMediaMessage::message();
        share.message->title = "消灭星星";
        share.message->description = "一起来玩";
        auto page = PGWebpageObject::object();
        page->webpageUrl = "https://example.org/share?cellphone=13800138000";
        share.message->mediaObject = page;
        return share;
    }

    std::string log_ = runtime_.path() + "/standin.log";
    kite::test::RecordPipe appRecord_{kite::test::SchemeHandlers::instance().path() + "/game-" +
                                      std::to_string(::getpid())};
    test::RecordingDelegate delegate_;
};

TEST_F(PigeonStandinTest, ASharedPageIsLoggedAndAnsweredSentOrCancelled) {
    const SendMessageToPGReq toChat = pageShare(0);
    ASSERT_TRUE(PGApi::sendReq(&toChat));
    ASSERT_TRUE(deliverAnswer());
    ASSERT_TRUE(last<SendMessageToPGResp>());
    EXPECT_EQ(last<SendMessageToPGResp>()->errCode, 0);

    setenv("PIGEON_STANDIN_ANSWER", "cancel", 1);
    const SendMessageToPGReq toTimeline = pageShare(1);
    ASSERT_TRUE(PGApi::sendReq(&toTimeline));
    ASSERT_TRUE(deliverAnswer());
    ASSERT_TRUE(last<SendMessageToPGResp>());
    EXPECT_EQ(last<SendMessageToPGResp>()->errCode, -2);

    const std::string seen = fileText(log_);
    EXPECT_NE(seen.find("share of " + std::string(kAppId) +
                        " to a chat\ntitle: 消灭星星\ndescription: 一起来玩\n"
                        "url: https://example.org/share?cellphone=13800138000"),
              std::string::npos)
        << seen;
    EXPECT_NE(seen.find("to the timeline"), std::string::npos) << seen;
    EXPECT_NE(seen.find("cancelled"), std::string::npos) << seen;
}

TEST_F(PigeonStandinTest, ASignInIsGrantedOrDenied) {
    SendAuthReq request;
    request.scope = "snsapi_userinfo";
    request.state = "s&1";
    ASSERT_TRUE(PGApi::sendAuthReq(&request, &delegate_));
    ASSERT_TRUE(deliverAnswer());
    ASSERT_TRUE(last<SendAuthResp>());
    EXPECT_EQ(last<SendAuthResp>()->code, "standin-code");
    // The messenger escapes the state it hands back; the answer's values arrive as they came.
    EXPECT_EQ(last<SendAuthResp>()->state, "s%261");

    setenv("PIGEON_STANDIN_ANSWER", "cancel", 1);
    ASSERT_TRUE(PGApi::sendAuthReq(&request, &delegate_));
    ASSERT_TRUE(deliverAnswer());
    EXPECT_EQ(last<SendAuthResp>()->errCode, -4);
}

TEST_F(PigeonStandinTest, HostileUrlsAreRefusedAndUninstallingLeavesNoHandler) {
    EXPECT_EQ(runStandin("'pigeon://app/../sendreq/?'"), 1);
    EXPECT_EQ(runStandin("'https://example.org/'"), 1);
    EXPECT_EQ(runStandin("'pigeon://app/pgnothing/sendreq/?'"), 1) << "no request on the pasteboard";
    EXPECT_EQ(runStandin("'pigeon://app/pgx/auth/?scope=%zz'"), 1) << "a broken escape";

    ASSERT_EQ(runStandin("--uninstall"), 0);
    EXPECT_TRUE(kite::test::SchemeHandlers::waitUntil([] { return !PGApi::isPGAppInstalled(); }));
    EXPECT_NE(fileText(kite::test::SchemeHandlers::instance().path() + "/config/mimeapps.list")
                  .find(std::string("x-scheme-handler/") + kAppId),
              std::string::npos)
        << "other handlers stay";
}

// The file mode of a path; -1 when it is not there.
int modeOf(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? static_cast<int>(status.st_mode & 07777) : -1;
}

// Its log names the players' shares and sign-ins: the owner's alone, in a folder of the owner's alone, also
// when an older version left them open.
TEST(PigeonStandinLog, TheDefaultLogAndItsFolderAreTheOwnersOnly) {
    kite::test::TemporaryFolder cache("stargrid-standin-cache");
    ASSERT_TRUE(cache.made());
    const char* saved = getenv("XDG_CACHE_HOME");
    const std::string savedCache = saved ? saved : "";
    setenv("XDG_CACHE_HOME", (cache.path() + "/fresh").c_str(), 1);
    unsetenv("PIGEON_STANDIN_LOG");
    // A login session's usual mask, under which new files are readable by everyone.
    const mode_t savedMask = ::umask(022);
    const int fresh = runStandin("'pigeonapi://opened'");
    const std::string old = cache.put("old/stargrid/pigeon-standin.log", "an older line\n");
    ::chmod(old.c_str(), 0644);
    ::chmod((cache.path() + "/old/stargrid").c_str(), 0755);
    setenv("XDG_CACHE_HOME", (cache.path() + "/old").c_str(), 1);
    const int again = runStandin("'pigeonapi://opened'");
    ::umask(savedMask);
    if (saved) {
        setenv("XDG_CACHE_HOME", savedCache.c_str(), 1);
    } else {
        unsetenv("XDG_CACHE_HOME");
    }

    EXPECT_EQ(fresh, 0);
    EXPECT_EQ(modeOf(cache.path() + "/fresh/stargrid"), 0700);
    EXPECT_EQ(modeOf(cache.path() + "/fresh/stargrid/pigeon-standin.log"), 0600);
    EXPECT_EQ(fileText(cache.path() + "/fresh/stargrid/pigeon-standin.log"), "opened pigeonapi://opened\n");
    EXPECT_EQ(again, 0);
    EXPECT_EQ(modeOf(cache.path() + "/old/stargrid"), 0700);
    EXPECT_EQ(modeOf(old), 0600);
    EXPECT_EQ(fileText(old), "an older line\nopened pigeonapi://opened\n");
}

}  // namespace
}  // namespace pigeon
