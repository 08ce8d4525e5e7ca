// The edit box node: settings kept and forwarded to the platform half, its background, the keyboard's coming and going.
#include "kite/widgets/EditBox.h"

#include <new>

#include "kite/foundation/Create.h"
#include "kite/foundation/math/AffineTransform.h"
#include "kite/widgets/EditBoxImpl.h"
#include "kite/widgets/Scale9Sprite.h"

namespace kite {
namespace ui {

namespace {
// Room kept between the box and the keyboard.
constexpr float KEYBOARD_MARGIN = 4.0f;
// How often the platform half's text field is brought to where the node is.
constexpr float POSITION_CHECK_INTERVAL = 0.1f;
}  // namespace

EditBox* EditBox::create(const Size& size, Scale9Sprite* normalSprite, Scale9Sprite*, Scale9Sprite*) {
    auto* box = new (std::nothrow) EditBox();
    if (box && box->initWithSizeAndBackgroundSprite(size, normalSprite)) {
        box->autorelease();
        return box;
    }
    delete box;
    return nullptr;
}

EditBox::EditBox() = default;

EditBox::~EditBox() {
    editBoxImpl.reset();
    releaseAndClear(backgroundSprite);
}

bool EditBox::initWithSizeAndBackgroundSprite(const Size& size, Scale9Sprite* normalSprite) {
    if (!Widget::init()) return false;
    editBoxImpl = createEditBoxImpl(this);
    if (!editBoxImpl || !editBoxImpl->initWithSize(size)) return false;
    editBoxImpl->setInputMode(static_cast<int>(InputMode::ANY));

    assignRetained(backgroundSprite, normalSprite);
    setContentSize(size);
    setPosition(Vec2::ZERO);
    if (backgroundSprite) {
        backgroundSprite->setPosition(Vec2(size.width / 2.0f, size.height / 2.0f));
        backgroundSprite->setContentSize(size);
        addProtectedChild(backgroundSprite);
    }
    setTouchEnabled(true);
    addTouchEventListener([this](Ref* sender, TouchEventType type) { touchDownAction(sender, type); });
    return true;
}

void EditBox::touchDownAction(Ref*, TouchEventType type) {
    if (type == TouchEventType::ENDED && editBoxImpl) editBoxImpl->openKeyboard();
}

// ---- Settings ----

void EditBox::setDelegate(EditBoxDelegate* d) {
    delegate = d;
    if (editBoxImpl) editBoxImpl->setDelegate(d);
}

void EditBox::setText(const char* newText) {
    if (!newText) return;
    text = newText;
    if (editBoxImpl) editBoxImpl->setText(newText);
}

const char* EditBox::getText() const {
    const char* current = editBoxImpl ? editBoxImpl->getText() : nullptr;
    return current ? current : "";
}

void EditBox::setFont(const char* name, int size) {
    fontSize = size;
    if (!name) return;
    fontName = name;
    if (editBoxImpl) editBoxImpl->setFont(name, size);
}

void EditBox::setFontColor(const Color3B& color) {
    colText = color;
    if (editBoxImpl) editBoxImpl->setFontColor(color);
}

void EditBox::setPlaceholderFont(const char* name, int size) {
    placeholderFontSize = size;
    if (!name) return;
    placeholderFontName = name;
    if (editBoxImpl) editBoxImpl->setPlaceholderFont(name, size);
}

void EditBox::setPlaceholderFontColor(const Color3B& color) {
    colPlaceHolder = color;
    if (editBoxImpl) editBoxImpl->setPlaceholderFontColor(color);
}

void EditBox::setPlaceHolder(const char* newPlaceHolder) {
    if (!newPlaceHolder) return;
    placeHolder = newPlaceHolder;
    if (editBoxImpl) editBoxImpl->setPlaceHolder(newPlaceHolder);
}

void EditBox::setInputMode(InputMode mode) {
    editBoxInputMode = mode;
    if (editBoxImpl) editBoxImpl->setInputMode(static_cast<int>(mode));
}

void EditBox::setInputFlag(InputFlag flag) {
    editBoxInputFlag = flag;
    if (editBoxImpl) editBoxImpl->setInputFlag(static_cast<int>(flag));
}

void EditBox::setMaxLength(int length) {
    maxLength = length;
    if (editBoxImpl) editBoxImpl->setMaxLength(length);
}

void EditBox::setReturnType(KeyboardReturnType type) {
    keyboardReturnType = type;
    if (editBoxImpl) editBoxImpl->setReturnType(static_cast<int>(type));
}

// ---- Node operations, passed on to the platform half ----

void EditBox::setPosition(const Vec2& p) {
    Widget::setPosition(p);
    if (editBoxImpl) editBoxImpl->setPosition(p);
}

void EditBox::setVisible(bool v) {
    Widget::setVisible(v);
    if (editBoxImpl) editBoxImpl->setVisible(v);
}

void EditBox::setContentSize(const Size& size) {
    Widget::setContentSize(size);
    backgroundSizeDirty = true;
    if (editBoxImpl) editBoxImpl->setContentSize(size);
}

void EditBox::setAnchorPoint(const Vec2& anchor) {
    Widget::setAnchorPoint(anchor);
    if (editBoxImpl) editBoxImpl->setAnchorPoint(anchor);
}

void EditBox::visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) {
    Widget::visit(renderer, parentTransform, parentFlags);
    if (editBoxImpl) editBoxImpl->visit();
}

void EditBox::adaptRenderers() {
    if (!backgroundSizeDirty) return;
    backgroundSizeDirty = false;
    if (!backgroundSprite) return;
    backgroundSprite->setContentSize(contentSize);
    backgroundSprite->setPosition(Vec2(contentSize.width / 2.0f, contentSize.height / 2.0f));
}

void EditBox::onEnter() {
    Widget::onEnter();
    if (editBoxImpl) editBoxImpl->onEnter();
    scheduleWithInterval(schedule_selector(&EditBox::updatePosition), POSITION_CHECK_INTERVAL);
}

void EditBox::updatePosition(float dt) {
    if (editBoxImpl) editBoxImpl->updatePosition(dt);
}

void EditBox::onExit() {
    Widget::onExit();
    if (editBoxImpl) editBoxImpl->closeKeyboard();
}

// ---- The keyboard ----

const std::string& EditBox::getContentText() {
    static const std::string none;
    return none;
}

void EditBox::keyboardWillShow(IMEKeyboardNotificationInfo& info) {
    // A keyboard that takes no room (a desktop's) covers nothing, wherever the box is.
    if (info.end.size.width <= 0.0f || info.end.size.height <= 0.0f) return;
    Rect box = RectApplyAffineTransform(Rect(0.0f, 0.0f, contentSize.width, contentSize.height),
                                        getNodeToWorldAffineTransform());
    box.origin.y -= KEYBOARD_MARGIN;
    if (!box.intersectsRect(info.end)) return;
    adjustHeight = info.end.getMaxY() - box.getMinY();
    if (editBoxImpl) editBoxImpl->doAnimationWhenKeyboardMove(info.duration, adjustHeight);
}

void EditBox::keyboardWillHide(IMEKeyboardNotificationInfo& info) {
    if (editBoxImpl) editBoxImpl->doAnimationWhenKeyboardMove(info.duration, -adjustHeight);
}

}  // namespace ui
}  // namespace kite
