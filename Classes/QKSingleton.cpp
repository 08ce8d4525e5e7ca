#include "Classes/QKSingleton.h"

#include "Classes/GameLayer.h"
#include "Classes/IOSiAP_Bridge.h"
#include "Classes/PopupBoxLayer.h"
#include "kite/foundation/Log.h"
#include "kite/foundation/Scheduler.h"
#include "kite/foundation/UserDefault.h"
#include "kite/scene/Director.h"
#include "platform/LocalStore.h"

namespace {

kite::UserDefault* store() { return kite::UserDefault::getInstance(); }

// A popup with its texts set, to be built into one of its forms.
PopupBoxLayer* titledPopup(const std::string& title, const std::string& message) {
    PopupBoxLayer* popup = PopupBoxLayer::create();
    if (!popup) return nullptr;
    popup->setTitle(title);
    popup->setMessage(message);
    return popup;
}

}  // namespace

QKSingleton::QKSingleton() = default;
QKSingleton::~QKSingleton() = default;

QKSingleton* QKSingleton::getInstance() {
    static QKSingleton* instance = new QKSingleton();  // lives as long as the process
    return instance;
}

void QKSingleton::setHttpRequestURL(const std::string& url) { store()->setStringForKey("httpRequestURL", url); }
std::string QKSingleton::getHttpRequestURL() const { return store()->getStringForKey("httpRequestURL"); }
void QKSingleton::setCurrentTime(const std::string& date) { store()->setStringForKey("currentTime", date); }
std::string QKSingleton::getCurrentTime() const { return store()->getStringForKey("currentTime"); }
void QKSingleton::setCellphone(const std::string& encoded) { store()->setStringForKey("cellphone", encoded); }
std::string QKSingleton::getCellphone() const { return store()->getStringForKey("cellphone"); }
void QKSingleton::setPassword(const std::string& encoded) { store()->setStringForKey("password", encoded); }
std::string QKSingleton::getPassword() const { return store()->getStringForKey("password"); }
void QKSingleton::setPlayerStatus(int status) { store()->setIntegerForKey("playerStatus", status); }
int QKSingleton::getPlayerStatus() const { return store()->getIntegerForKey("playerStatus"); }
void QKSingleton::setGuideStatus(int status) { store()->setIntegerForKey("guideStatus", status); }
int QKSingleton::getGuideStatus() const { return store()->getIntegerForKey("guideStatus"); }
void QKSingleton::setVoiceOnOff(bool on) { store()->setBoolForKey("voiceOnOff", on); }
bool QKSingleton::getVoiceOnOff() const { return store()->getBoolForKey("voiceOnOff"); }
void QKSingleton::setMusicOnOff(bool on) { store()->setBoolForKey("musicOnOff", on); }
bool QKSingleton::getMusicOnOff() const { return store()->getBoolForKey("musicOnOff"); }
void QKSingleton::setSoundOnOff(bool on) { store()->setBoolForKey("soundOnOff", on); }
bool QKSingleton::getSoundOnOff() const { return store()->getBoolForKey("soundOnOff"); }
void QKSingleton::setPayTier(int tier) { store()->setIntegerForKey("payTier", tier); }
int QKSingleton::getPayTier() const { return store()->getIntegerForKey("payTier"); }

void QKSingleton::forgetGameLayer(const GameLayer* layer) {
    if (gameLayer_ == layer) gameLayer_ = nullptr;
}

void QKSingleton::refreshTopBar() {
    if (inGame && gameLayer_) gameLayer_->refreshScore();
}

PopupBoxLayer* QKSingleton::adopt(kite::Node* parent, PopupBoxLayer* popup) {
    if (!parent || !popup) return nullptr;
    currentPopup_ = popup;
    parent->addChild(popup, 2);
    return popup;
}

void QKSingleton::showWaitBox(kite::Node* parent) {
    if (!parent) return;
    PopupBoxLayer* popup = PopupBoxLayer::create();
    if (popup) popup->buildWaitBox();
    adopt(parent, popup);
}

void QKSingleton::showAlert(kite::Node* parent, const std::string& title, const std::string& message) {
    kite::log("QKSingleton: alert \"%s\" / \"%s\"", title.c_str(), message.c_str());
    // A popup built and never shown would keep its pop-in action, and the action it.
    if (!parent) return;
    if (PopupBoxLayer* popup = titledPopup(title, message)) {
        popup->buildAlert();
        adopt(parent, popup);
    }
}

void QKSingleton::showConfirm(kite::Node* parent, const std::string& title, const std::string& message, int kind) {
    kite::log("QKSingleton: confirm %d \"%s\" / \"%s\"", kind, title.c_str(), message.c_str());
    if (!parent) return;
    if (PopupBoxLayer* popup = titledPopup(title, message)) {
        popup->buildConfirm(parent, kind);
        adopt(parent, popup);
    }
}

void QKSingleton::showNotice(kite::Node* parent, const std::string& title, const std::string& message) {
    if (!parent) return;
    if (PopupBoxLayer* popup = titledPopup(title, message)) {
        popup->buildNotice(dynamic_cast<PopupBoxLayer::NoticeOwner*>(parent));
        adopt(parent, popup);
    }
}

void QKSingleton::showPhoneInput(kite::Node* parent, const std::string& title, const std::string& message) {
    if (!parent) return;
    if (PopupBoxLayer* popup = titledPopup(title, message)) {
        popup->buildPhoneInput(dynamic_cast<PopupBoxLayer::PhoneOwner*>(parent));
        adopt(parent, popup);
    }
}

void QKSingleton::removePopup() {
    PopupBoxLayer* popup = currentPopup_;
    currentPopup_ = nullptr;
    if (popup) popup->removeFromParent();
}

void QKSingleton::forgetPopup(const PopupBoxLayer* popup) {
    if (currentPopup_ == popup) currentPopup_ = nullptr;
}

void QKSingleton::startPurchase(int packIndex) {
    static constexpr int kTierOfPack[] = {2, 4, 8};
    const int tier = packIndex >= 0 && packIndex < 3 ? kTierOfPack[packIndex] : 16;
    endPurchase();
    currentPurchase_ = std::make_unique<IOSiAP_Bridge>();
    currentPurchase_->requestProducts(tier);
}

void QKSingleton::endPurchase() {
    if (!currentPurchase_) return;
    std::shared_ptr<IOSiAP_Bridge> ended(std::move(currentPurchase_));
    kite::Director::getInstance()->getScheduler()->performFunctionInMainThread([ended] {});
}

void QKSingleton::resumePurchases() {
    if (currentPurchase_ || !IOSiAP::connectStore()) return;
    bool pending = false;
    for (const platform::StoreTransaction& transaction : platform::LocalStore::shared().unfinishedTransactions()) {
        pending = pending || transaction.state != platform::TransactionState::Purchasing;
    }
    if (!pending) return;
    currentPurchase_ = std::make_unique<IOSiAP_Bridge>();
    currentPurchase_->resumeUnfinished();
}
