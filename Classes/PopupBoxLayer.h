// The game's one modal dialog: a shade over the screen and a box that pops in, as a wait
// indicator, an alert, a two-button confirm, a notice that closes its owner or a phone-number
// input. It swallows every touch, so the screen below is frozen while it shows. Opened through
// QKSingleton only.
#pragma once
#include <string>

#include "kite/scene/Layer.h"
#include "kite/scene/TextFieldTTF.h"

namespace kite {
class MenuItemImage;
class Sprite;
}  // namespace kite

class PopupBoxLayer : public kite::Layer, public kite::TextFieldDelegate {
public:
    // A screen that takes the phone number typed into the input (the leaderboard's prize claim).
    class PhoneOwner {
    public:
        virtual ~PhoneOwner() = default;
        virtual void requestReceiveTelFee(const std::string& phone) = 0;
    };

    // A dialog that a notice's button closes.
    class NoticeOwner {
    public:
        virtual ~NoticeOwner() = default;
        virtual void menuCloseCallback() = 0;
    };

    static PopupBoxLayer* create();
    ~PopupBoxLayer() override;
    bool init() override;
    bool onTouchBegan(kite::Touch* touch, kite::Event* event) override;

    void setTitle(const std::string& title) { this->title = title; }
    void setMessage(const std::string& message) { this->message = message; }
    // Each line of the message centred on the card, as the system's alert shows it; the game's own dialogs
    // keep their broken lines flush left. A wrapped message is centred either way.
    void setMessageLinesCentred(bool centred) { messageLinesCentred = centred; }

    void buildWaitBox();
    void buildAlert();
    // Kinds 1 (before playing), 3 (before sharing) and 4 (before the leaderboard).
    void buildConfirm(kite::Node* owner, int kind);
    void buildNotice(NoticeOwner* owner);
    void buildPhoneInput(PhoneOwner* owner);

    void close();
    void onConfirmLeft();
    void onConfirmRight();
    void onNoticeOk();
    void onPhoneOk();

    // Only digits (at most 11) and the line feed go into the phone field; OK is enabled from the
    // eleventh digit and disabled by any deletion.
    bool onTextFieldAttachWithIME(kite::TextFieldTTF*) override { return false; }
    bool onTextFieldDetachWithIME(kite::TextFieldTTF*) override { return false; }
    bool onTextFieldInsertText(kite::TextFieldTTF* sender, const char* text, std::size_t length) override;
    bool onTextFieldDeleteBackward(kite::TextFieldTTF* sender, const char* text, std::size_t length) override;
    kite::TextFieldTTF* getTextField() const { return textField; }
    kite::MenuItemImage* getOkItem() const { return okItem; }

    // The file names of the look, for tests.
    static constexpr const char* kShade = "Common/bg_gray_shadow.png";
    static constexpr const char* kBox = "Common/pop_alert.png";

private:
    void addShade(float scaleX, float scaleY);
    kite::Sprite* addBox();
    void addTexts(kite::Sprite* box, float messageY);
    kite::MenuItemImage* addButton(kite::Sprite* box, const char* image, float x, float y,
                                   void (PopupBoxLayer::*action)(), const char* selected = nullptr);
    void setOkEnabled(bool enabled);
    void attachKeyboard();

    std::string title;
    std::string message;
    bool messageLinesCentred = false;
    kite::Node* owner = nullptr;  // not retained: the popup is its child
    int kind = 0;
    NoticeOwner* noticeOwner = nullptr;  // not retained, as owner
    PhoneOwner* inputOwner = nullptr;    // not retained, as owner
    kite::TextFieldTTF* textField = nullptr;
    kite::MenuItemImage* okItem = nullptr;
};
