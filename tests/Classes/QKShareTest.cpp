// The sharing service against the messenger stand-in and a loopback icon server.
#include "Classes/PlatformAlert.h"
#include "Classes/QKShare.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>

#include "GameTestSupport.h"
#include "StandinSupport.h"
#include "kite/foundation/Scheduler.h"
#include "platform/UrlOpener.h"
#include "sdk/pigeon/PGApi.h"
#include "support/LoopbackHttpServer.h"
#include "support/SchemeHandlers.h"

namespace {

constexpr char kAppId[] = "pgsharetest00000001";

}  // namespace

class QKShareTest : public game::test::GameGLTest {
protected:
    void SetUp() override {
        GameGLTest::SetUp();
        log_ = environment->root() + "/standin.log";
        // The scheme handlers live in folders of their own for the whole process.
        kite::test::SchemeHandlers& handlers = kite::test::SchemeHandlers::instance();
        setenv("XDG_DATA_HOME", (handlers.path() + "/data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (handlers.path() + "/config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", environment->root().c_str(), 1);
        setenv("PIGEON_STANDIN_LOG", log_.c_str(), 1);
        setenv("PIGEON_STANDIN_ANSWER", "send", 1);
        pigeon::PGApi::resetForTesting();
        ASSERT_TRUE(pigeon::PGApi::registerApp(kAppId));
        // The stand-in answers by opening the game's scheme: the test takes that URL as the shell would.
        handlers.registerHandler(kAppId, std::string(STARGRID_URL_RECORDER) + " " + answers_.path());
        platformAlert::setPresenter(
            [this](const std::string& title, const std::string& message, const std::string& button) {
                alerts_.push_back(title + "|" + message + "|" + button);
            });
        icon_ = kite::test::readWholeFile(STARGRID_SOURCE_DIR "/Resources/Icon.png");
        server_.server().Get("/icon.png", [this](const httplib::Request&, httplib::Response& response) {
            response.set_content(icon_, "image/png");
        });
        // An icon that comes only when the test lets it (or after ten seconds).
        server_.server().Get("/slow.png", [this](const httplib::Request&, httplib::Response& response) {
            std::unique_lock<std::mutex> lock(slowMutex_);
            slowAsked_ = true;
            slowChanged_.notify_all();
            slowChanged_.wait_for(lock, std::chrono::seconds(10), [this] { return slowReleased_; });
            slowAnswered_ = true;
            response.set_content(icon_, "image/png");
        });
        ASSERT_TRUE(server_.start());
    }
    void TearDown() override {
        releaseSlowIcon();
        finishIconFetch();
        game::test::runStandin("--uninstall");
        platformAlert::setPresenter(nullptr);
        pigeon::PGApi::resetForTesting();
        unsetenv("PIGEON_STANDIN_LOG");
        unsetenv("PIGEON_STANDIN_ANSWER");
        GameGLTest::TearDown();
    }

    static void finishIconFetch() { QKShare::getInstance()->finishIconFetch(); }
    bool slowIconAsked() {
        std::unique_lock<std::mutex> lock(slowMutex_);
        return slowChanged_.wait_for(lock, std::chrono::seconds(10), [this] { return slowAsked_; });
    }
    bool slowIconAnswered() {
        std::lock_guard<std::mutex> lock(slowMutex_);
        return slowAnswered_;
    }
    void releaseSlowIcon() {
        std::lock_guard<std::mutex> lock(slowMutex_);
        slowReleased_ = true;
        slowChanged_.notify_all();
    }
    // Runs the main thread's functions until the stand-in has logged the condition's text.
    bool standinLogged(const std::string& text) {
        finishIconFetch();
        return kite::test::SchemeHandlers::waitUntil([&] {
            kite::Director::getInstance()->getScheduler()->update(1.0f / 60);
            return kite::test::readWholeFile(log_).find(text) != std::string::npos;
        });
    }
    // The stand-in as the messenger, once the game's scheme, which it answers through, is seen too.
    static bool installStandin() {
        return game::test::runStandin("--install") == 0 && kite::test::SchemeHandlers::waitUntil([] {
                   return pigeon::PGApi::isPGAppInstalled() && platform::canOpenUrl(std::string(kAppId) + "://");
               });
    }
    // The stand-in's answer to the share it took, handed to the API entry as the shell does, which takes it
    // off the pasteboard. The stand-in logs the share before it answers: until the answer has come, a next
    // request on the pasteboard can still be replaced by it.
    std::shared_ptr<pigeon::SendMessageToPGResp> answer() {
        struct Delegate : pigeon::PGApiDelegate {
            void onResp(const std::shared_ptr<pigeon::BaseResp>& response) override { last = response; }
            std::shared_ptr<pigeon::BaseResp> last;
        } delegate;
        const std::optional<std::string> url = answers_.read(std::chrono::seconds(120));
        if (!url || !pigeon::PGApi::handleOpenURL(*url, &delegate)) return nullptr;
        return std::dynamic_pointer_cast<pigeon::SendMessageToPGResp>(delegate.last);
    }

    std::string log_;
    kite::test::RecordPipe answers_{kite::test::SchemeHandlers::instance().path() + "/game-" +
                                    std::to_string(::getpid())};
    std::string icon_;
    kite::test::LoopbackHttpServer server_;
    std::vector<std::string> alerts_;
    std::mutex slowMutex_;
    std::condition_variable slowChanged_;
    bool slowAsked_ = false, slowReleased_ = false, slowAnswered_ = false;
};

TEST_F(QKShareTest, WithoutTheMessengerOnlyTheInstallAlertShows) {
    ASSERT_FALSE(pigeon::PGApi::isPGAppInstalled());
    QKShare::getInstance()->shareToSession("t", "d", server_.url("/icon.png"), "https://example.org/p");
    QKShare::getInstance()->shareToTimeline("t", "d", server_.url("/icon.png"), "https://example.org/p");
    const std::string install = "提示|您还没有安装“信鸽”，需要安装“信鸽”才能正常使用分享功能！|确认";
    EXPECT_EQ(alerts_, (std::vector<std::string>{install, install}));
}

TEST_F(QKShareTest, APageGoesToAChatOrTheTimelineWithTheIconAsThumbnail) {
    ASSERT_TRUE(installStandin());

    QKShare::getInstance()->shareToSession("消灭星星", "一起来玩", server_.url("/icon.png"),
                                           "https://example.org/share?cellphone=13800138000");
    ASSERT_TRUE(standinLogged("share of " + std::string(kAppId) +
                              " to a chat\ntitle: 消灭星星\n"
                              "description: 一起来玩\nurl: https://example.org/share?cellphone=13800138000\n"));
    const std::string logged = kite::test::readWholeFile(log_);
    EXPECT_EQ(logged.find("thumbnail: 0 bytes"), std::string::npos) << logged;
    std::shared_ptr<pigeon::SendMessageToPGResp> sent = answer();
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->errCode, 0);

    // An icon that cannot be had leaves the thumbnail empty; the page still goes.
    QKShare::getInstance()->shareToTimeline("t", "d", server_.url("/missing.png"), "https://example.org/p");
    ASSERT_TRUE(
        standinLogged("to the timeline\ntitle: t\ndescription: d\nurl: https://example.org/p\nthumbnail: 0 bytes"));
    sent = answer();
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->errCode, 0);
    EXPECT_TRUE(alerts_.empty());
}

TEST_F(QKShareTest, ANewerShareNeitherWaitsForTheOlderOnesIconNorLetsItsPageGo) {
    ASSERT_TRUE(installStandin());
    QKShare::getInstance()->shareToSession("first", "d", server_.url("/slow.png"), "https://example.org/1");
    ASSERT_TRUE(slowIconAsked());
    QKShare::getInstance()->shareToTimeline("second", "d", server_.url("/icon.png"), "https://example.org/2");
    EXPECT_FALSE(slowIconAnswered()) << "the second share waited for the first one's icon";
    ASSERT_TRUE(standinLogged("to the timeline\ntitle: second\n"));
    ASSERT_TRUE(answer());
    releaseSlowIcon();
    finishIconFetch();
    for (int i = 0; i < 3; ++i) kite::Director::getInstance()->getScheduler()->update(1.0f / 60);
    EXPECT_EQ(kite::test::readWholeFile(log_).find("title: first"), std::string::npos);
}

TEST_F(QKShareTest, AMessengerWithoutTheApiSchemeGetsTheUpdateAlert) {
    kite::test::SchemeHandlers::instance().registerHandler("pigeon", "/bin/true");
    ASSERT_TRUE(kite::test::SchemeHandlers::waitUntil(
        [] { return pigeon::PGApi::isPGAppInstalled() && !pigeon::PGApi::isPGAppSupportApi(); }));
    QKShare::getInstance()->shareToTimeline("t", "d", server_.url("/icon.png"), "https://example.org/p");
    EXPECT_EQ(alerts_, (std::vector<std::string>{"提示|您的“信鸽”版本不支持当前功能，请更新“信鸽”版本！|确认"}));
}
