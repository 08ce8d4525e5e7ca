// The game-wide run-time state every screen reaches for, and typed access to the game's own preference keys.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

class GameLayer;
class IOSiAP_Bridge;

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

    // While a game is showing, makes the play screen redraw its top bar.
    void refreshTopBar();

    // The wait box over the parent, and closing the popup opened last.
    void showWaitBox(kite::Node* parent);
    void removePopup();

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

    GameLayer* gameLayer_ = nullptr;
    kite::Node* currentPopup_ = nullptr;  // retained while it shows
    std::unique_ptr<IOSiAP_Bridge> currentPurchase_;
};
