// The game-wide run-time state every screen reaches for, and typed access to the game's own preference keys.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

class GameLayer;
class IOSiAP_Bridge;
class PopupBoxLayer;

namespace kite {
class Node;
}

class QKSingleton {
public:
    // Made on first use, never freed.
    static QKSingleton* getInstance();
    virtual ~QKSingleton();

    QKSingleton(const QKSingleton&) = delete;
    QKSingleton& operator=(const QKSingleton&) = delete;

    void setHttpRequestURL(const std::string& url);
    std::string getHttpRequestURL() const;
    void setCurrentTime(const std::string& date);
    std::string getCurrentTime() const;
    // Stored Base64-encoded, as the caller hands them over.
    void setCellphone(const std::string& encoded);
    std::string getCellphone() const;
    void setPassword(const std::string& encoded);
    std::string getPassword() const;
    void setPlayerStatus(int status);
    int getPlayerStatus() const;
    void setGuideStatus(int status);
    int getGuideStatus() const;
    void setVoiceOnOff(bool on);
    bool getVoiceOnOff() const;
    void setMusicOnOff(bool on);
    bool getMusicOnOff() const;
    void setSoundOnOff(bool on);
    bool getSoundOnOff() const;
    void setPayTier(int tier);
    int getPayTier() const;

    // The live play screen, a weak link: the screen clears it when it goes.
    void setGameLayer(GameLayer* layer) { gameLayer_ = layer; }
    void forgetGameLayer(const GameLayer* layer);
    GameLayer* getGameLayer() const { return gameLayer_; }

    // The popups every screen opens: each is added to the parent at z-order 2 and becomes the
    // current popup, the one removePopup closes. Alerts and confirms are logged too; without a
    // parent nothing is shown.
    void showWaitBox(kite::Node* parent);
    void showAlert(kite::Node* parent, const std::string& title, const std::string& message);
    // The parent is the confirm's owner; the kind (1, 3 or 4) decides what its buttons do.
    void showConfirm(kite::Node* parent, const std::string& title, const std::string& message, int kind);
    // The parent must be a dialog the notice's button closes (a PopupBoxLayer::NoticeOwner).
    void showNotice(kite::Node* parent, const std::string& title, const std::string& message);
    // The parent must be a screen that takes the number (a PopupBoxLayer::PhoneOwner).
    void showPhoneInput(kite::Node* parent, const std::string& title, const std::string& message);
    void removePopup();
    PopupBoxLayer* getCurrentPopup() const { return currentPopup_; }
    // A popup that goes is forgotten, so the pointer never outlives it.
    void forgetPopup(const PopupBoxLayer* popup);

    // While a game is showing, makes the play screen redraw its top bar.
    void refreshTopBar();

    // Buys the pack of the index (0, 1, 2: tiers 2, 4, 8; any other: 16) through a new
    // purchase bridge, which becomes the current purchase.
    void startPurchase(int packIndex);
    // Forgets the current purchase; it is deleted once the store's callback that ended it
    // has returned.
    void endPurchase();
    IOSiAP_Bridge* getCurrentPurchase() const { return currentPurchase_.get(); }
    // At start-up: credits and finishes what an earlier run bought but never finished.
    void resumePurchases();

    std::string versionText;
    std::int32_t bundleVersion = 0;
    bool networkReachable = false;
    bool tallScreen = false;
    bool purchaseFromShop = false;
    bool inGame = false;
    std::int32_t redPacketCount = 0;

private:
    QKSingleton();

    PopupBoxLayer* adopt(kite::Node* parent, PopupBoxLayer* popup);

    GameLayer* gameLayer_ = nullptr;
    PopupBoxLayer* currentPopup_ = nullptr;  // not retained; cleared when the popup goes
    std::unique_ptr<IOSiAP_Bridge> currentPurchase_;
};
