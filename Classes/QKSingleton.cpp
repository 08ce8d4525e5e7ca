#include "Classes/QKSingleton.h"

#include "Classes/GameLayer.h"
#include "Classes/IOSiAP_Bridge.h"
#include "kite/foundation/Scheduler.h"
#include "kite/foundation/UserDefault.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventListenerTouch.h"
#include "kite/scene/Layer.h"
#include "platform/LocalStore.h"

namespace {

kite::UserDefault* store() { return kite::UserDefault::getInstance(); }

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

// A layer that swallows every touch while a purchase runs.
void QKSingleton::showWaitBox(kite::Node* parent) {
    if (!parent) return;
    kite::Layer* box = kite::Layer::create();
    if (!box) return;
    auto* listener = kite::EventListenerTouchOneByOne::create();
    listener->setSwallowTouches(true);
    listener->onTouchBegan = [](kite::Touch*, kite::Event*) { return true; };
    box->getEventDispatcher()->addEventListenerWithSceneGraphPriority(listener, box);
    parent->addChild(box, 2);
    removePopup();
    box->retain();
    currentPopup_ = box;
}

void QKSingleton::removePopup() {
    kite::Node* popup = currentPopup_;
    currentPopup_ = nullptr;
    if (!popup) return;
    popup->removeFromParent();
    popup->release();
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
