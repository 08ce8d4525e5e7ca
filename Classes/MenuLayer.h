// The main menu: start, sale, help, account, sound, shop, share, leaderboard and activity
// buttons, a red-packet badge on the share button, and the start-up request chain (bootstrap
// page, automatic login and red-packet count with a bound phone, version check) run each time
// a menu is built, with the wait box up while each request is in flight.
#pragma once
#include <string>

#include "kite/scene/Layer.h"

namespace kite {
class Label;
class MenuItemToggle;
class Sprite;
namespace network {
class HttpClient;
class HttpResponse;
}  // namespace network
}  // namespace kite

class ServerReply;

class MenuLayer : public kite::Layer {
public:
    static MenuLayer* create();
    bool init() override;

    void showLoginLayer(int origin);
    void updateRedbagBadge();

    void menuSaleCallback();
    void menuStartCallback();
    void menuHelpCallback();
    void menuInfoCallback();
    void menuVoiceCallback();
    void menuShopCallback();
    void menuShareCallback();
    void menuRankedCallback();
    void menuActivityCallback();

    void requestUserLogin();
    void requestRedbagCount();
    void requestVersion();
    void onHttpRequestCompleted(kite::network::HttpClient* client, kite::network::HttpResponse* response);

    // Where the chain starts: STARGRID_BOOTSTRAP_URL, or the operator's page on port 8080.
    static std::string bootstrapURL();

private:
    void addBackground(float width, float height, bool tall);
    void addButtons(float width, float height, bool tall);
    void requestBootstrap();
    void onBootstrap(const ServerReply& reply);
    void onUserLogin(const ServerReply& reply);
    void onRedbagCount(const ServerReply& reply);
    void onVersion(const ServerReply& reply);
    void applyVersionRule(int latestVersion, int forcedUpdate);

    kite::Sprite* redbagBadge = nullptr;
    kite::Label* redbagLabel = nullptr;
};
