#include "app-shell/AppController.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "Classes/QKSingleton.h"
#include "platform/AppNotifications.h"
#include "platform/NetworkReachability.h"
#include "platform/Pasteboard.h"
#include "sdk/pigeon/AppCommunicate.h"
#include "sdk/pigeon/MMApiRegister.h"
#include "sdk/pigeon/Requests.h"
#include "sdk/pigeon/Responses.h"
#include "support/LogCapture.h"
#include "support/TemporaryFolder.h"

namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class AppControllerTest : public ::testing::Test {
protected:
    void TearDown() override { platform::setNetworkPathForTesting(std::nullopt); }
    // Launches with the bundle in the folder, then puts the bundle setting back.
    bool launchWithBundle(const std::string& folder) {
        const char* resources = std::getenv("STARGRID_RESOURCES");
        const std::string saved = resources ? resources : "";
        setenv("STARGRID_RESOURCES", folder.c_str(), 1);
        const bool result = controller.didFinishLaunching();
        if (resources)
            setenv("STARGRID_RESOURCES", saved.c_str(), 1);
        else
            unsetenv("STARGRID_RESOURCES");
        return result;
    }

    AppController controller;
    kite::test::LogCapture log;
};

TEST_F(AppControllerTest, LosingTheNetworkClearsTheFlagAndSaysSo) {
    auto host = Reachability::reachabilityWithHostName(AppController::kProbeHost);
    platform::setNetworkPathForTesting(platform::NetworkPath::None);
    controller.reportReachabilityStatus(*host);
    EXPECT_FALSE(QKSingleton::getInstance()->networkReachable);
    EXPECT_THAT(log.lines(), Contains(StartsWith("当前网路环境：无网络")));
    EXPECT_THAT(log.lines(),
                Contains(StartsWith("AlertView: 提示 / 当前无网络！系统将不会上传您的成绩到排行榜！ [确认]")));
    platform::setNetworkPathForTesting(platform::NetworkPath::WiFi);
    controller.reportReachabilityStatus(*host);
    EXPECT_TRUE(QKSingleton::getInstance()->networkReachable);
    EXPECT_THAT(log.lines(), Contains(StartsWith("当前网路环境：WiFi")));
}

TEST_F(AppControllerTest, LaunchStoresTheBundlesVersionAndReportsTheFirstState) {
    kite::test::TemporaryFolder bundle("stargrid-bundle");
    ASSERT_TRUE(bundle.made());
    bundle.put("Info.plist",
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
               "<key>CFBundleName</key><string>stargrid</string>"
               "<key>CFBundleShortVersionString</key><string>2.3.1</string>"
               "<key>CFBundleVersion</key><string>17</string></dict></plist>\n");
    platform::setNetworkPathForTesting(platform::NetworkPath::None);
    ASSERT_TRUE(launchWithBundle(bundle.path()));
    EXPECT_EQ(QKSingleton::getInstance()->versionText, "2.3.1");
    EXPECT_EQ(QKSingleton::getInstance()->bundleVersion, 17);
    EXPECT_FALSE(QKSingleton::getInstance()->networkReachable);
    ASSERT_NE(controller.hostReachability(), nullptr);
    controller.hostReachability()->stopNotifier();
}

TEST_F(AppControllerTest, TheGamesOwnBundleIsVersionOneDotZeroBuildOne) {
    ASSERT_TRUE(launchWithBundle(STARGRID_SOURCE_DIR "/Resources"));
    EXPECT_EQ(QKSingleton::getInstance()->versionText, "1.0");
    EXPECT_EQ(QKSingleton::getInstance()->bundleVersion, 1);
    ASSERT_NE(controller.hostReachability(), nullptr);
    controller.hostReachability()->stopNotifier();
}

TEST_F(AppControllerTest, OnlyUrlsOfTheGamesOwnSchemeAreTaken) {
    controller.handleOpenURL("http://elsewhere.example/x");
    EXPECT_THAT(log.lines(), Contains(StartsWith("AppController: refused a URL of another scheme")));
    controller.handleOpenURL("pg5e18c0a7d94b2f63://oauth?code=1");
    EXPECT_THAT(log.lines(), Contains(StartsWith("AppController: open URL pg5e18c0a7d94b2f63://oauth?code=1")));
}

TEST_F(AppControllerTest, TheEndOfTheGameReachesTheApplicationsObservers) {
    int heard = 0;
    const std::uint64_t observer =
        platform::addAppObserver(platform::AppNotification::WillTerminate, [&heard] { ++heard; });
    controller.applicationWillTerminate();
    EXPECT_EQ(heard, 1);
    platform::removeAppObserver(observer);
}

TEST_F(AppControllerTest, ResigningAndBecomingActiveReachTheApplicationsObservers) {
    std::vector<std::string> heard;
    using platform::AppNotification;
    const std::uint64_t resign =
        platform::addAppObserver(AppNotification::WillResignActive, [&heard] { heard.push_back("resign"); });
    const std::uint64_t active =
        platform::addAppObserver(AppNotification::DidBecomeActive, [&heard] { heard.push_back("active"); });
    controller.applicationWillResignActive();
    controller.applicationDidBecomeActive();
    EXPECT_EQ(heard, (std::vector<std::string>{"resign", "active"}));
    platform::removeAppObserver(resign);
    platform::removeAppObserver(active);
}

TEST_F(AppControllerTest, MessengerAnswersBecomeAlerts) {
    pigeon::SendMessageToPGResp cancelled;
    cancelled.errCode = -2;
    controller.onResp(cancelled);
    pigeon::SendMessageToPGResp odd;
    odd.errCode = 7;
    controller.onResp(odd);
    pigeon::SendAuthResp auth;
    auth.code = "c";
    auth.state = "s";
    controller.onResp(auth);
    pigeon::GetMessageFromPGReq request;
    request.openID = "o1";
    controller.onReq(request);
    EXPECT_THAT(log.text(), HasSubstr("AlertView: 提示 / 分享取消 [确定]"));
    EXPECT_THAT(log.text(), HasSubstr("AlertView: 提示 / errcode:7 [确定]"));
    EXPECT_THAT(log.text(), HasSubstr("AlertView: Auth结果 / code:c,state:s,errcode:0 [确定]"));
    EXPECT_THAT(log.text(), HasSubstr("AlertView: 信鸽请求App提供内容 / openID: o1 [OK]"));
}

// What the messenger sent is quoted in its alert with its control characters escaped; the alert's own line
// breaks stay.
TEST_F(AppControllerTest, AMessengerAlertQuotesWhatItSentWithControlCharactersEscaped) {
    pigeon::SendAuthResp auth;
    auth.code = "c\033[2J";
    auth.state = "s\nt";
    controller.onResp(auth);
    pigeon::ShowMessageFromPGReq show;
    show.openID = "o\033]0;title\a";
    show.message = pigeon::PGMediaMessage::message();
    show.message->title = "t\r\n";
    controller.onReq(show);
    EXPECT_THAT(log.text(), HasSubstr("AlertView: Auth结果 / code:c\\x1b[2J,state:s\\x0at,errcode:0 [确定]"));
    EXPECT_THAT(log.text(), HasSubstr("/ openID: o\\x1b]0;title\\x07, 标题：t\\x0d\\x0a \n内容："));
    EXPECT_EQ(log.text().find('\033'), std::string::npos) << log.text();
}

// The messenger's side of the launch: the registration record, and answers opened back.
class AppControllerMessengerTest : public AppControllerTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(runtime_.made());
        ASSERT_TRUE(data_.made());
        setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
        // The registration record is a persistent pasteboard, in the data folder.
        setenv("XDG_DATA_HOME", data_.path().c_str(), 1);
        setenv("STARGRID_RESOURCES", STARGRID_SOURCE_DIR "/Resources", 1);
        platform::setNetworkPathForTesting(platform::NetworkPath::WiFi);
        ASSERT_TRUE(controller.didFinishLaunching());
        controller.hostReachability()->stopNotifier();
    }
    void TearDown() override {
        unsetenv("STARGRID_RESOURCES");
        AppControllerTest::TearDown();
    }
    kite::test::TemporaryFolder runtime_{"stargrid-app-messenger"};
    kite::test::TemporaryFolder data_{"stargrid-app-messenger-data"};
};

TEST_F(AppControllerMessengerTest, LaunchPutsTheRegistrationRecordOnItsPasteboard) {
    auto pasteboard = platform::Pasteboard::named("pigeon_register", false);
    ASSERT_TRUE(pasteboard);
    auto all = pigeon::MMApiRegister::getRegisterDictionary(*pasteboard);
    ASSERT_TRUE(all);
    const auto entry = all->find(AppController::kUrlScheme);
    ASSERT_NE(entry, all->end());
    const auto& fields = *entry->second.asDictionary();
    EXPECT_EQ(*fields.at("appID").asString(), AppController::kUrlScheme);
    EXPECT_EQ(*fields.at("appName").asString(), "Stargrid");
    EXPECT_EQ(*fields.at("appIdentifier").asString(), "com.quarnwell.stargrid");
    EXPECT_FALSE(fields.at("appIcon").asData()->empty());
    EXPECT_EQ(*fields.at("firstLaunchTime").asString(), *fields.at("laststLaunchTime").asString());
}

TEST_F(AppControllerMessengerTest, AShareAnswerOpenedBackBecomesItsAlertOnce) {
    pigeon::AppCommunicateData answer;
    pigeon::SendMessageToPGResp sent;
    ASSERT_TRUE(answer.RespToData(sent));
    ASSERT_TRUE(pigeon::AppCommunicate::setAppCommunicateData(answer, AppController::kUrlScheme));
    const std::string url = std::string(AppController::kUrlScheme) + "://pigeon/sendresp/?";
    EXPECT_TRUE(controller.handleOpenURL(url));
    EXPECT_FALSE(controller.handleOpenURL(url)) << "the answer was taken off the pasteboard";
    EXPECT_EQ(log.text().find("AlertView: 提示 / 分享成功 [确定]"),
              log.text().rfind("AlertView: 提示 / 分享成功 [确定]"));
    EXPECT_THAT(log.text(), HasSubstr("AlertView: 提示 / 分享成功 [确定]"));
    // A sign-in answer's values arrive as they came, a broken escape among them; text that is not UTF-8 does not.
    EXPECT_TRUE(controller.handleOpenURL(std::string(AppController::kUrlScheme) + "://oauth?code=%zz"));
    EXPECT_THAT(log.text(), HasSubstr("code:%zz"));
    EXPECT_FALSE(controller.handleOpenURL(std::string(AppController::kUrlScheme) + "://oauth?code=\xff"));
}

}  // namespace
