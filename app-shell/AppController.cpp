#include "app-shell/AppController.h"

#include <cstdio>
#include <string>

#include "Classes/GameHelpers.h"
#include "Classes/PlatformAlert.h"
#include "Classes/QKSingleton.h"
#include "app-shell/AlertView.h"
#include "kite/foundation/Log.h"
#include "kite/platform/Application.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventCustom.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventListenerCustom.h"
#include "platform/AppNotifications.h"
#include "platform/MainBundle.h"
#include "platform/PrintableText.h"
#include "platform/WebWindow.h"
#include "sdk/pigeon/MMApiRegister.h"
#include "sdk/pigeon/Requests.h"
#include "sdk/pigeon/Responses.h"
#include "sdk/pigeon/statistics/PGStatBridge.h"

namespace {

template <class... Args>
std::string format(const char* pattern, Args... args) {
    char text[2048];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

// What the messenger sent, as an alert quotes it: a control character in it shows escaped.
std::string quoted(const std::string& text) { return platform::printableText(text); }

std::string shareResult(int errCode) {
    switch (errCode) {
        case 0: return "分享成功";
        case -1: return "分享错误";
        case -2: return "分享取消";
        case -3: return "发送失败";
        case -4: return "授权失败";
        case -5: return "信鸽不支持";
        default: return format("errcode:%d", errCode);
    }
}

// A text of the bundle's information list; empty when it is missing or not a text.
std::string bundleText(const platform::PlistValue::Dictionary& info, const char* key) {
    auto found = info.find(key);
    const std::string* text = found == info.end() ? nullptr : found->second.asString();
    return text ? *text : std::string();
}

}  // namespace

AppController::~AppController() {
    // The director's dispatcher, ended with the director, lets go of its own reference.
    if (reachabilityListener_) reachabilityListener_->release();
}

bool AppController::didFinishLaunching() {
    // The game's own alerts outside its screens (the store's, sharing's) are drawn as the shell's are.
    platformAlert::setDrawingPresenter(showAlertView);
    storeBundleVersion();

    reachabilityListener_ = kite::EventListenerCustom::create(
        kReachabilityChangedNotification,
        [this](kite::EventCustom* event) { reachabilityChanged(static_cast<Reachability*>(event->getUserData())); });
    reachabilityListener_->retain();
    kite::Director::getInstance()->getEventDispatcher()->addEventListenerWithFixedPriority(reachabilityListener_, 1);

    hostReach_ = Reachability::reachabilityWithHostName(kProbeHost);
    if (hostReach_) {
        hostReach_->startNotifier();
        // The first state is reported at start; changes follow as they come.
        reportReachabilityStatus(*hostReach_);
    }
    registerWithMessenger();
    return true;
}

void AppController::storeBundleVersion() {
    QKSingleton* state = QKSingleton::getInstance();
    const platform::PlistValue::Dictionary info =
        platform::mainBundleInfoDictionary().value_or(platform::PlistValue::Dictionary());
    state->versionText = bundleText(info, "CFBundleShortVersionString");
    state->bundleVersion = stringToInt(bundleText(info, "CFBundleVersion"));
    if (state->versionText.empty() || state->bundleVersion <= 0)
        kite::log("AppController: the bundle names no version (\"%s\", %d)",
                  platform::printableText(state->versionText).c_str(), state->bundleVersion);
}

void AppController::registerWithMessenger() {
    pigeon::MMApiRegister::setStatisticsHooks(
        {[](const std::string& appid) { pigeon::PGStatBridge::startWithAppkey(appid); },
         [] { pigeon::PGStatBridge::onBackground(); }});
    // A page that opens the game's own scheme (the web sign-in's hand-back) opens it here.
    platform::WebWindow::setAppUrlHandler(kUrlScheme, [this](const std::string& url) { handleOpenURL(url); });
    if (!pigeon::PGApi::registerApp(kUrlScheme)) kite::log("AppController: the registration record was not written");
}

void AppController::applicationWillResignActive() {
    platform::postAppNotification(platform::AppNotification::WillResignActive);
}

void AppController::applicationDidBecomeActive() {
    platform::postAppNotification(platform::AppNotification::DidBecomeActive);
}

void AppController::applicationDidEnterBackground() {
    if (kite::Application* application = kite::Application::getInstance()) application->didEnterBackground();
    platform::postAppNotification(platform::AppNotification::DidEnterBackground);
}

void AppController::applicationWillEnterForeground() {
    platform::postAppNotification(platform::AppNotification::WillEnterForeground);
    if (kite::Application* application = kite::Application::getInstance()) application->willEnterForeground();
}

void AppController::applicationWillTerminate() {
    platform::postAppNotification(platform::AppNotification::WillTerminate);
}

bool AppController::handleOpenURL(const std::string& url) {
    const std::string prefix = std::string(kUrlScheme) + "://";
    if (url.compare(0, prefix.size(), prefix) != 0) {
        kite::log("AppController: refused a URL of another scheme");
        return false;
    }
    kite::log("AppController: open URL %s", platform::printableText(url).c_str());
    return pigeon::PGApi::handleOpenURL(url, &messengerDelegate_);
}

void AppController::MessengerDelegate::onReq(const std::shared_ptr<pigeon::BaseReq>& request) {
    if (request) controller_.onReq(*request);
}

void AppController::MessengerDelegate::onResp(const std::shared_ptr<pigeon::BaseResp>& response) {
    if (response) controller_.onResp(*response);
}

void AppController::reachabilityChanged(Reachability* reachability) {
    if (reachability) reportReachabilityStatus(*reachability);
}

void AppController::reportReachabilityStatus(const Reachability& reachability) {
    QKSingleton* state = QKSingleton::getInstance();
    switch (reachability.currentReachabilityStatus()) {
        case NotReachable:
            kite::log("当前网路环境：无网络");
            state->networkReachable = false;
            showAlertView("提示", "当前无网络！系统将不会上传您的成绩到排行榜！", "确认");
            break;
        case ReachableViaWWAN:
            kite::log("当前网路环境：GPRS、3G");
            state->networkReachable = true;
            break;
        case ReachableViaWiFi:
            kite::log("当前网路环境：WiFi");
            state->networkReachable = true;
            break;
    }
}

void AppController::onReq(const pigeon::BaseReq& request) {
    if (auto* get = dynamic_cast<const pigeon::GetMessageFromPGReq*>(&request)) {
        showAlertView("信鸽请求App提供内容", format("openID: %s", quoted(get->openID).c_str()), "OK");
    } else if (auto* show = dynamic_cast<const pigeon::ShowMessageFromPGReq*>(&request)) {
        const pigeon::PGMediaMessage empty;
        const pigeon::PGMediaMessage& message = show->message ? *show->message : empty;
        auto* extend = dynamic_cast<const pigeon::PGAppExtendObject*>(message.mediaObject.get());
        showAlertView("信鸽请求App显示内容",
                      format("openID: %s, 标题：%s \n内容：%s \n附带信息：%s \n缩略图:%lu bytes\n附加消息:%s\n",
                             quoted(show->openID).c_str(), quoted(message.title).c_str(),
                             quoted(message.description).c_str(), extend ? quoted(extend->extInfo).c_str() : "",
                             static_cast<unsigned long>(message.thumbData.size()), quoted(message.messageExt).c_str()),
                      "OK");
    } else if (auto* launch = dynamic_cast<const pigeon::LaunchFromPGReq*>(&request)) {
        showAlertView("从信鸽启动",
                      format("openID: %s, messageExt:%s", quoted(launch->openID).c_str(),
                             launch->message ? quoted(launch->message->messageExt).c_str() : ""),
                      "OK");
    }
}

void AppController::onResp(const pigeon::BaseResp& response) {
    if (dynamic_cast<const pigeon::SendMessageToPGResp*>(&response)) {
        showAlertView("提示", shareResult(response.errCode), "确定");
    } else if (auto* auth = dynamic_cast<const pigeon::SendAuthResp*>(&response)) {
        showAlertView("Auth结果",
                      format("code:%s,state:%s,errcode:%d", quoted(auth->code).c_str(), quoted(auth->state).c_str(),
                             auth->errCode),
                      "确定");
    } else if (auto* cards = dynamic_cast<const pigeon::AddCardToPGCardPackageResp*>(&response)) {
        std::string lines;
        for (const pigeon::PGCardItem& card : cards->cardAry) {
            lines += format("cardid:%s cardext:%s cardstate:%d\n", quoted(card.cardId).c_str(),
                            quoted(card.extMsg).c_str(), static_cast<int>(card.cardState));
        }
        showAlertView("add card resp", lines, "确定");
    }
}
