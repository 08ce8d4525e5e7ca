// The account binding dialog: a phone number and a numeric password, checked on the device,
// sent as "BindAccount"; on success the account is stored (Base64) for the automatic logins
// and the server's best score, diamonds and game tag are merged into the local progress.
#pragma once
#include <cstdint>
#include <string>

#include "Classes/PopupBoxLayer.h"
#include "kite/scene/Layer.h"
#include "kite/widgets/EditBox.h"

namespace kite {
class MenuItemImage;
class Sprite;
namespace network {
class HttpClient;
class HttpResponse;
}  // namespace network
}  // namespace kite

class ServerReply;

class LoginLayer : public kite::Layer, public kite::ui::EditBoxDelegate, public PopupBoxLayer::NoticeOwner {
public:
    static LoginLayer* create();
    bool init() override;
    bool onTouchBegan(kite::Touch* touch, kite::Event* event) override;

    void editBoxEditingDidBegin(kite::ui::EditBox*) override {}
    void editBoxEditingDidEnd(kite::ui::EditBox*) override {}
    void editBoxTextChanged(kite::ui::EditBox* editBox, const std::string& text) override;
    void editBoxReturn(kite::ui::EditBox*) override {}

    void menuCloseCallback() override;
    void menuAgreeCallback();
    void menuPactCallback();
    void menuBindCallback();
    void onHttpRequestCompleted(kite::network::HttpClient* client, kite::network::HttpResponse* response);

    void setOrigin(std::int32_t value) { origin = value; }
    std::int32_t getOrigin() const { return origin; }
    kite::ui::EditBox* getPhoneBox() const { return phoneBox; }
    kite::ui::EditBox* getPasswordBox() const { return passwordBox; }
    kite::MenuItemImage* getBindButton() const { return bindButton; }

    static constexpr const char* kPhonePattern = "^[1][34578][0-9]{9}$";
    static constexpr const char* kPasswordPattern = "^[0-9]{4,12}$";

private:
    kite::ui::EditBox* addEditBox(const kite::Vec2& position, const char* placeholder, int maxLength);
    void addAgreementAndBind();
    void updateBindButton();
    void onBound(const ServerReply& reply);

    kite::Sprite* background = nullptr;
    std::int32_t origin = 0;
    kite::ui::EditBox* phoneBox = nullptr;  // children of the background
    kite::ui::EditBox* passwordBox = nullptr;
    bool phoneComplete = false;
    bool passwordComplete = false;
    bool agreed = true;
    kite::MenuItemImage* bindButton = nullptr;
    std::string sentPhone;
    std::string sentPassword;
};
