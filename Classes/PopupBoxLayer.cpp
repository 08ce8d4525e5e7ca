#include "Classes/PopupBoxLayer.h"

#include <algorithm>
#include <cmath>

#include "Classes/GameHelpers.h"
#include "Classes/MenuScreens.h"
#include "Classes/QKSingleton.h"
#include "kite/foundation/Create.h"
#include "kite/foundation/Ref.h"
#include "kite/scene/ActionInterval.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventListenerTouch.h"
#include "kite/scene/Label.h"
#include "kite/scene/Menu.h"
#include "kite/scene/MenuItem.h"
#include "kite/scene/Sprite.h"

namespace {

const kite::Color3B kTextColour(64, 105, 167);
constexpr const char* kFont = "Helvetica Neue";
// The box picture (tools/art/common.py): its light card, where the texts are, lies 18 points in from its
// sides, and the rule under the title 64 points below its top. A message that fits between the box's margins
// stays on one line (in a smaller size, when that keeps it the margin from the card's edges); a longer one is
// wrapped keeping the margin from the card's edges and from the rule.
constexpr float kCardInset = 18;
constexpr float kTitleRuleBelowTop = 64;
constexpr float kMessageMargin = 20;
constexpr float kMessageSize = 26;

kite::Vec2 visibleCentre() {
    const kite::Size size = kite::Director::getInstance()->getVisibleSize();
    return kite::Vec2(size.width / 2, size.height / 2);
}

}  // namespace

PopupBoxLayer* PopupBoxLayer::create() { return kite::createAutoreleased<PopupBoxLayer>(); }

PopupBoxLayer::~PopupBoxLayer() { QKSingleton::getInstance()->forgetPopup(this); }

bool PopupBoxLayer::init() {
    if (!Layer::init()) return false;
    auto* listener = kite::EventListenerTouchOneByOne::create();
    listener->setSwallowTouches(true);
    listener->onTouchBegan = [this](kite::Touch* touch, kite::Event* event) { return onTouchBegan(touch, event); };
    getEventDispatcher()->addEventListenerWithSceneGraphPriority(listener, this);
    return true;
}

bool PopupBoxLayer::onTouchBegan(kite::Touch*, kite::Event*) { return true; }

void PopupBoxLayer::addShade(float scaleX, float scaleY) {
    kite::Sprite* shade = kite::Sprite::create(kShade);
    if (!shade) return;
    shade->setPosition(visibleCentre());
    shade->setScale(scaleX, scaleY);
    addChild(shade);
}

kite::Sprite* PopupBoxLayer::addBox() {
    kite::Sprite* box = kite::Sprite::create(kBox);
    if (!box) return nullptr;
    box->setPosition(visibleCentre());
    box->setScale(0.8f);
    box->runAction(kite::Sequence::create(kite::ScaleTo::create(0.1f, 1.2f), kite::ScaleTo::create(0.05f, 1.0f)));
    addChild(box);
    return box;
}

void PopupBoxLayer::addTexts(kite::Sprite* box, float messageY) {
    const kite::Size size = box->getContentSize();
    kite::Label* titleLabel = kite::Label::createWithSystemFont(title, kFont, 32);
    if (titleLabel) {
        titleLabel->setColor(kTextColour);
        titleLabel->setPosition(size.width / 2, size.height - 40);
        box->addChild(titleLabel, 1);
    }
    kite::Label* messageLabel = kite::Label::createWithSystemFont(message, kFont, kMessageSize);
    if (messageLabel) {
        messageLabel->setColor(kTextColour);
        if (messageLinesCentred) messageLabel->setHorizontalAlignment(kite::TextHAlignment::CENTER);
        // Between the card's margins, as a wrapped message's lines are.
        const float room = size.width - 2 * (kCardInset + kMessageMargin);
        const float width = messageLabel->getContentSize().width;
        // A message too wide for one line between the box's margins breaks into lines on the card, each
        // centred as a short message is; a shorter one keeps its own width, in a size that leaves it the margin.
        if (width > size.width - 2 * kMessageMargin) {
            messageLabel->setDimensions(room, 0);
            messageLabel->setHorizontalAlignment(kite::TextHAlignment::CENTER);
            const float highest =
                size.height - kTitleRuleBelowTop - kMessageMargin - messageLabel->getContentSize().height / 2;
            messageY = std::min(messageY, highest);
        } else if (width > room) {
            // The largest whole size whose lines fit.
            float fontSize = std::floor(kMessageSize * room / width);
            messageLabel->setSystemFontSize(fontSize);
            while (fontSize > 1 && messageLabel->getContentSize().width > room)
                messageLabel->setSystemFontSize(--fontSize);
        }
        messageLabel->setPosition(size.width / 2, messageY);
        box->addChild(messageLabel, 1);
    }
}

kite::MenuItemImage* PopupBoxLayer::addButton(kite::Sprite* box, const char* image, float x, float y,
                                              void (PopupBoxLayer::*action)(), const char* selected) {
    kite::MenuItemImage* item =
        kite::MenuItemImage::create(image, selected ? selected : image, [this, action](kite::Ref*) {
            // The action may remove this popup: it stays alive until the action has returned.
            kite::RefPtr<PopupBoxLayer> self(this);
            (this->*action)();
        });
    if (!item) return nullptr;
    item->setPosition(x, y);
    kite::Menu* menu = kite::Menu::create(item);
    menu->setPosition(kite::Vec2::ZERO);
    box->addChild(menu, 1);
    return item;
}

void PopupBoxLayer::buildWaitBox() {
    addShade(4, 4);
    kite::Sprite* indicator = kite::Sprite::create("Common/pop_indicator.png");
    if (!indicator) return;
    indicator->setPosition(visibleCentre());
    indicator->runAction(kite::RepeatForever::create(kite::RotateBy::create(0.1f, 30)));
    addChild(indicator);
}

void PopupBoxLayer::buildAlert() {
    addShade(20, 36);
    kite::Sprite* box = addBox();
    if (!box) return;
    addTexts(box, box->getContentSize().height / 2 + 35);
    addButton(box, "Common/pop_btn_ok.png", box->getContentSize().width / 2, 60, &PopupBoxLayer::close);
}

void PopupBoxLayer::buildConfirm(kite::Node* confirmOwner, int confirmKind) {
    owner = confirmOwner;
    kind = confirmKind;
    addShade(20, 36);
    kite::Sprite* box = addBox();
    if (!box) return;
    const float w = box->getContentSize().width;
    addTexts(box, box->getContentSize().height / 2 + 35);
    addButton(box, "Common/pop_btn_no.png", w / 2 - 75, 60, &PopupBoxLayer::onConfirmLeft);
    addButton(box, "Common/pop_btn_yes.png", w / 2 + 75, 60, &PopupBoxLayer::onConfirmRight);
}

void PopupBoxLayer::buildNotice(NoticeOwner* notice) {
    noticeOwner = notice;
    addShade(20, 36);
    kite::Sprite* box = addBox();
    if (!box) return;
    addTexts(box, box->getContentSize().height / 2 + 35);
    addButton(box, "Common/pop_btn_ok.png", box->getContentSize().width / 2, 60, &PopupBoxLayer::onNoticeOk);
}

void PopupBoxLayer::onNoticeOk() {
    // The popup is a child of its owner and goes with it.
    if (noticeOwner)
        noticeOwner->menuCloseCallback();
    else
        close();
}

void PopupBoxLayer::close() {
    if (textField) textField->detachWithIME();
    QKSingleton* state = QKSingleton::getInstance();
    // Only the newest popup is remembered; an older one (below an alert it opened) closes itself.
    if (state->getCurrentPopup() == this)
        state->removePopup();
    else
        removeFromParent();
}

void PopupBoxLayer::onConfirmLeft() {
    kite::Node* confirmOwner = owner;
    const int confirmKind = kind;
    close();
    if (confirmKind == 1)
        MenuScreens::startGame();
    else if (confirmKind == 4)
        MenuScreens::openRanked(confirmOwner);
}

void PopupBoxLayer::onConfirmRight() {
    kite::Node* confirmOwner = owner;
    if (confirmOwner && (kind == 1 || kind == 3 || kind == 4)) MenuScreens::openLogin(confirmOwner, kind);
    if (confirmOwner && kind == 3) {
        if (kite::Node* share = confirmOwner->getChildByTag(MenuScreens::kShareDialogTag)) share->removeFromParent();
    }
    close();
}

void PopupBoxLayer::buildPhoneInput(PhoneOwner* owner) {
    inputOwner = owner;
    addShade(20, 36);
    kite::Sprite* box = addBox();
    if (!box) return;
    const float w = box->getContentSize().width;
    const float h = box->getContentSize().height;
    addTexts(box, h / 2 + 60);
    addButton(box, "Common/btn_close.png", w - 32, h - 30, &PopupBoxLayer::close);
    addButton(box, "Common/pop_input.png", w / 2, h / 2 + 10, &PopupBoxLayer::attachKeyboard);
    textField = kite::TextFieldTTF::textFieldWithPlaceHolder("点击输入手机号", "Helvetica", 28);
    if (textField) {
        textField->setColorSpaceHolder(kTextColour);
        textField->setTextColor(kite::Color4B(kTextColour.r, kTextColour.g, kTextColour.b, 255));
        textField->setPosition(w / 2, h / 2 + 10);
        textField->setDelegate(this);
        box->addChild(textField, 2);
    }
    okItem = addButton(box, "Common/pop_btn_ok.png", w / 2, 60, &PopupBoxLayer::onPhoneOk, "Scene/pop_btn_ok.png");
    setOkEnabled(false);
}

void PopupBoxLayer::attachKeyboard() {
    if (textField) textField->attachWithIME();
}

void PopupBoxLayer::setOkEnabled(bool enabled) {
    if (!okItem) return;
    okItem->setEnabled(enabled);
    // The disabled image follows the state too: the greyed button only while OK is refused.
    okItem->setDisabledImage(kite::Sprite::create(enabled ? "Common/pop_btn_ok.png" : "Common/pop_btn_ok_.png"));
}

bool PopupBoxLayer::onTextFieldInsertText(kite::TextFieldTTF* sender, const char* text, std::size_t length) {
    const std::string typed(text, length);
    const bool lineFeed = typed == "\n";
    const bool digit = typed.size() == 1 && typed[0] >= '0' && typed[0] <= '9';
    if (!lineFeed && !digit) return true;
    const std::size_t held = sender->getString().size();
    if (held >= 10 && !lineFeed) setOkEnabled(true);
    return digit && held >= 11;
}

bool PopupBoxLayer::onTextFieldDeleteBackward(kite::TextFieldTTF*, const char*, std::size_t) {
    setOkEnabled(false);
    return false;
}

void PopupBoxLayer::onPhoneOk() {
    if (!textField) return;
    textField->detachWithIME();
    const std::string phone = textField->getString();
    if (regexMatch("^[1][34578][0-9]{9}$", phone)) {
        // Closed here, not left to the owner: after a wrong number's alert it is no longer the
        // current popup, and the owner's removePopup would leave it standing.
        PhoneOwner* owner = inputOwner;
        close();
        if (owner) owner->requestReceiveTelFee(phone);
    } else {
        QKSingleton::getInstance()->showAlert(this, "提示", "请输入正确的手机号");
    }
}
