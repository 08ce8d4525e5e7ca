// The sharing service: checks the messenger, fetches the icon, sends the page.
#include "QKShare.h"

#include <algorithm>
#include <system_error>

#include "Classes/PlatformAlert.h"
#include "kite/foundation/Log.h"
#include "kite/http/HttpAsynConnection.h"
#include "kite/scene/Director.h"
#include "platform/ImageCodec.h"
#include "platform/PrintableText.h"
#include "sdk/pigeon/PGApi.h"

namespace {

constexpr int kSceneSession = 0;
constexpr int kSceneTimeline = 1;
constexpr long kIconTimeoutSeconds = 20;

void showAlert(const std::string& title, const std::string& message) { platformAlert::show(title, message, "确认"); }

// The icon's bytes, or none; runs on a worker thread.
std::vector<char> downloadIcon(const std::string& iconUrl, const std::atomic<bool>& abandon) {
    kite::network::HttpJob job;
    job.method = "GET";
    job.url = iconUrl;
    job.timeoutSeconds = kIconTimeoutSeconds;
    kite::network::HttpResult result;
    kite::network::HttpAsynConnection(job, nullptr, abandon).perform(result);
    if (!result.succeeded || result.code != 200) return {};
    return result.body;
}

void sendPage(int scene, const std::string& title, const std::string& description, const std::vector<char>& icon,
              const std::string& pageUrl) {
    auto message = pigeon::PGMediaMessage::message();
    message->title = title;
    message->description = description;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(icon.data());
    if (std::optional<platform::RgbaImage> thumb = platform::decodeImage(bytes, icon.size())) {
        message->setThumbImage(&*thumb);
    }
    auto page = pigeon::PGWebpageObject::object();
    page->webpageUrl = pageUrl;
    message->mediaObject = page;
    message->mediaTagName = "PIGEON_TAG_JUMP_LOPA";

    pigeon::SendMessageToPGReq request;
    request.bText = false;
    request.message = message;
    request.scene = scene;
    if (!pigeon::PGApi::sendReq(&request)) kite::log("QKShare: the page could not be handed to the messenger");
}

}  // namespace

QKShare* QKShare::getInstance() {
    static QKShare* instance = new QKShare();
    return instance;
}

void QKShare::shareToSession(const std::string& title, const std::string& description, const std::string& iconUrl,
                             const std::string& pageUrl) {
    share(kSceneSession, title, description, iconUrl, pageUrl);
}

void QKShare::shareToTimeline(const std::string& title, const std::string& description, const std::string& iconUrl,
                              const std::string& pageUrl) {
    share(kSceneTimeline, title, description, iconUrl, pageUrl);
}

void QKShare::share(int scene, const std::string& title, const std::string& description, const std::string& iconUrl,
                    const std::string& pageUrl) {
    if (!pigeon::PGApi::isPGAppInstalled()) {
        showAlert("提示", "您还没有安装“信鸽”，需要安装“信鸽”才能正常使用分享功能！");
        return;
    }
    if (!pigeon::PGApi::isPGAppSupportApi()) {
        showAlert("提示", "您的“信鸽”版本不支持当前功能，请更新“信鸽”版本！");
        return;
    }
    // The icon is fetched on a thread of its own so that the game goes on meanwhile; the page is
    // sent on the main thread once it has come or failed. A newer share cuts off an older download
    // still running and takes its place: nothing here waits for a download.
    for (const auto& older : iconFetches_) older->abandon = true;
    releaseFinishedFetches();
    const std::uint64_t shareNumber = ++newestShare_;
    auto fetch = std::make_unique<IconFetch>();
    IconFetch* running = fetch.get();
    kite::Scheduler* scheduler = kite::Director::getInstance()->getScheduler();
    try {
        fetch->thread = std::thread([running, scheduler, shareNumber, scene, title, description, iconUrl, pageUrl] {
            std::vector<char> icon = downloadIcon(iconUrl, running->abandon);
            scheduler->performFunctionInMainThread([shareNumber, scene, title, description, icon = std::move(icon),
                                                    pageUrl] {
                if (shareNumber != QKShare::getInstance()->newestShare_) {
                    kite::log("QKShare: a newer share replaced \"%s\" while its icon was on its way",
                              platform::printableText(title).c_str());
                    return;
                }
                sendPage(scene, title, description, icon, pageUrl);
            });
            running->done = true;
        });
    } catch (const std::system_error& error) {
        // The page goes without its icon, as it does when the icon cannot be fetched.
        kite::log("QKShare: cannot start the icon's download (%s); the page goes without it", error.what());
        sendPage(scene, title, description, {}, pageUrl);
        return;
    }
    iconFetches_.push_back(std::move(fetch));
}

void QKShare::releaseFinishedFetches() {
    auto finished = std::remove_if(iconFetches_.begin(), iconFetches_.end(), [](const std::unique_ptr<IconFetch>& f) {
        if (!f->done) return false;
        f->thread.join();  // its last step is done: the thread only has to return
        return true;
    });
    iconFetches_.erase(finished, iconFetches_.end());
}

void QKShare::finishIconFetch() {
    for (const auto& fetch : iconFetches_) fetch->thread.join();
    iconFetches_.clear();
}
