// The share and red-packet dialog of the menu: shares the game's page to a
// messenger chat or the timeline, and claims the red packets the server granted.
#pragma once
#include <cstdint>

#include "Classes/PopupBoxLayer.h"
#include "kite/scene/Layer.h"

namespace kite {
class Label;
class MenuItemImage;
class Sprite;
namespace network {
class HttpClient;
class HttpResponse;
}  // namespace network
}  // namespace kite

class MenuLayer;
class ServerReply;

class ShareLayer : public kite::Layer, public PopupBoxLayer::NoticeOwner {
public:
    static ShareLayer* create();
    bool init() override;
    bool onTouchBegan(kite::Touch* touch, kite::Event* event) override;

    void menuCloseCallback() override;
    void menuShareFriendCallback();
    void menuShareTimelineCallback();
    void menuReceiveCallback();
    // The receive button and the count text follow the red-packet count.
    void updateRedbagCount();
    void onHttpRequestCompleted(kite::network::HttpClient* client, kite::network::HttpResponse* response);

    // The menu that opened the dialog (not retained).
    MenuLayer* menuLayer = nullptr;

private:
    void buildDialog();
    void addShareButtons(kite::Sprite* background);
    void share(std::int32_t scene);
    void onReceiveRedbag(const ServerReply& reply);
    void onShareInfo(const ServerReply& reply);

    kite::MenuItemImage* receiveItem = nullptr;
    kite::Label* redbagLabel = nullptr;
    // 0 a chat, 1 the timeline: the target of the share button last pressed.
    std::int32_t shareScene = 0;
};
