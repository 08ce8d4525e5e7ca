// The edit box's text field on Linux: typed text arrives from the window's text input through the engine's
// dispatcher; the engine draws the text (masked for passwords), the placeholder and the cursor.
#include "kite/widgets/EditBoxImplLinux.h"

#include <algorithm>
#include <cstring>

#include "kite/foundation/Log.h"
#include "kite/foundation/StringUtils.h"
#include "kite/platform/GLViewImpl.h"
#include "kite/platform/KTEAGLView.h"
#include "kite/scene/Director.h"
#include "kite/scene/DrawNode.h"
#include "kite/scene/GLView.h"
#include "kite/scene/IMEDelegate.h"
#include "kite/scene/Label.h"
#include "kite/widgets/EditBox.h"

namespace kite {
namespace ui {

namespace {

constexpr int LABEL_Z = 9999;
// Text starts this far in from the box's left edge, and stops as far from its right one.
constexpr float TEXT_INSET = 5.0f;
constexpr float CURSOR_WIDTH = 2.0f;
constexpr const char* SYSTEM_FONT = "sans-serif";
constexpr const char* PASSWORD_MARK = "\xe2\x97\x8f";       // U+25CF, one per character
constexpr const char* OBJECT_REPLACEMENT = "\xef\xbf\xbc";  // U+FFFC

enum InputMode { NUMERIC = 2, PHONE_NUMBER = 3, DECIMAL = 5 };
constexpr int PASSWORD_FLAG = 0;

std::size_t characterCount(const std::string& utf8) {
    return static_cast<std::size_t>(
        std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// Drops the last UTF-8 character: its continuation bytes, then its lead byte.
void dropLastCharacter(std::string& utf8) {
    while (!utf8.empty() && (static_cast<unsigned char>(utf8.back()) & 0xC0) == 0x80) utf8.pop_back();
    if (!utf8.empty()) utf8.pop_back();
}

Color4B opaque(const Color3B& c) { return Color4B(c.r, c.g, c.b, 255); }

void setKeyboardOpen(bool open) {
    if (GLView* view = Director::getInstance()->getOpenGLView()) view->setIMEKeyboardState(open);
}

// The window the field is drawn in, when the director's view has one.
KTEAGLView* hostView() {
    auto* view = dynamic_cast<GLViewImpl*>(Director::getInstance()->getOpenGLView());
    return view ? view->getHostView() : nullptr;
}

}  // namespace

// The field's link to the dispatcher: it owns the keyboard while the box is edited.
class EditBoxImplLinux::TextInput : public IMEDelegate {
public:
    explicit TextInput(EditBoxImplLinux& field) : field_(field) {}

protected:
    bool canAttachWithIME() override { return true; }
    bool canDetachWithIME() override { return true; }
    // Each hook keeps the box alive to its end: the box's delegate may remove it meanwhile.
    void didAttachWithIME() override {
        RefPtr<EditBox> alive(field_.editBox);
        field_.didBeginEditing();
    }
    void didDetachWithIME() override {
        RefPtr<EditBox> alive(field_.editBox);
        if (field_.editing) field_.didEndEditing();
    }
    void insertText(const char* text, std::size_t length) override {
        RefPtr<EditBox> alive(field_.editBox);
        field_.insertText(std::string(text, length));
    }
    void deleteBackward() override {
        RefPtr<EditBox> alive(field_.editBox);
        field_.deleteBackward();
    }
    const std::string& getContentText() override { return field_.text; }

private:
    EditBoxImplLinux& field_;
};

std::unique_ptr<EditBoxImpl> createEditBoxImpl(EditBox* editBox) { return std::make_unique<EditBoxImplLinux>(editBox); }

EditBoxImplLinux::EditBoxImplLinux(EditBox* box) : EditBoxImpl(box) {}

EditBoxImplLinux::~EditBoxImplLinux() {
    // Leaving the dispatcher ends the ownership without callbacks; the window stops taking text.
    textInput.reset();
    if (!editing) return;
    if (KTEAGLView* host = hostView()) host->clearFirstResponderTextField(this);
    setKeyboardOpen(false);
}

bool EditBoxImplLinux::initWithSize(const Size& size) {
    textInput = std::make_unique<TextInput>(*this);
    label = Label::create();
    labelPlaceHolder = Label::create();
    cursor = DrawNode::create();
    if (!label || !labelPlaceHolder || !cursor) return false;
    label->setAnchorPoint(Vec2(0.0f, 0.5f));
    label->setTextColor(opaque(Color3B::WHITE));
    label->setVisible(false);
    labelPlaceHolder->setAnchorPoint(Vec2(0.0f, 0.5f));
    labelPlaceHolder->setTextColor(opaque(Color3B(166, 166, 166)));
    cursor->setVisible(false);
    editBox->addChild(label.get(), LABEL_Z);
    editBox->addChild(labelPlaceHolder.get(), LABEL_Z);
    editBox->addChild(cursor.get(), LABEL_Z);
    const int fontSize = static_cast<int>(size.height * 2.0f / 3.0f);
    setFont(SYSTEM_FONT, fontSize);
    setPlaceholderFont(SYSTEM_FONT, fontSize);
    setContentSize(size);
    return true;
}

// ---- Looks ----

void EditBoxImplLinux::setContentSize(const Size& size) {
    contentSize = size;
    if (!label) return;
    label->setPosition(Vec2(TEXT_INSET, size.height / 2.0f));
    labelPlaceHolder->setPosition(Vec2(TEXT_INSET, size.height / 2.0f));
    placeCursor();
}

void EditBoxImplLinux::setFont(const char* fontName, int fontSize) {
    if (!label) return;
    label->setSystemFontName(fontName && *fontName ? fontName : SYSTEM_FONT);
    label->setSystemFontSize(static_cast<float>(fontSize));
    placeCursor();
}

void EditBoxImplLinux::setFontColor(const Color3B& color) {
    textColor = color;
    if (label) label->setTextColor(opaque(color));
    placeCursor();
}

void EditBoxImplLinux::setPlaceholderFont(const char* fontName, int fontSize) {
    if (!labelPlaceHolder) return;
    labelPlaceHolder->setSystemFontName(fontName && *fontName ? fontName : SYSTEM_FONT);
    labelPlaceHolder->setSystemFontSize(static_cast<float>(fontSize));
}

void EditBoxImplLinux::setPlaceholderFontColor(const Color3B& color) {
    if (labelPlaceHolder) labelPlaceHolder->setTextColor(opaque(color));
}

void EditBoxImplLinux::setPlaceHolder(const char* newPlaceHolder) {
    placeholder = newPlaceHolder ? newPlaceHolder : "";
    if (labelPlaceHolder) labelPlaceHolder->setString(placeholder);
}

void EditBoxImplLinux::setInputFlag(int inputFlag) {
    secureTextEntry = inputFlag == PASSWORD_FLAG;
    if (editing)
        showEditingState();
    else
        refreshInactiveText();
}

std::string EditBoxImplLinux::shownText() const {
    if (!secureTextEntry) return text;
    std::string marks;
    for (std::size_t i = characterCount(text); i > 0; --i) marks += PASSWORD_MARK;
    return marks;
}

void EditBoxImplLinux::setInactiveText() {
    if (!label) return;
    label->setString(shownText());
    const float room = contentSize.width - 2.0f * TEXT_INSET;
    if (label->getContentSize().width > room) label->setDimensions(room, label->getContentSize().height);
}

void EditBoxImplLinux::refreshInactiveText() {
    if (editing || !label) return;
    setInactiveText();
    label->setVisible(!text.empty());
    labelPlaceHolder->setVisible(text.empty());
}

void EditBoxImplLinux::showEditingState() {
    if (!label) return;
    setInactiveText();
    label->setVisible(!text.empty());
    labelPlaceHolder->setVisible(text.empty());
    placeCursor();
    cursor->setVisible(editing);
}

// A bar two thirds of the box high, just after the text.
void EditBoxImplLinux::placeCursor() {
    if (!cursor || !label) return;
    const float x = TEXT_INSET + (text.empty() ? 0.0f : label->getContentSize().width);
    const float half = contentSize.height / 3.0f;
    const float middle = contentSize.height / 2.0f;
    const Vec2 corners[] = {Vec2(x, middle - half), Vec2(x + CURSOR_WIDTH, middle - half),
                            Vec2(x + CURSOR_WIDTH, middle + half), Vec2(x, middle + half)};
    const Color4F colour(textColor);
    cursor->clear();
    cursor->drawPolygon(corners, 4, colour, 0.0f, colour);
}

// ---- Text ----

void EditBoxImplLinux::setText(const char* newText) {
    const std::string wanted = newText ? newText : "";
    if (wanted != text) text = wanted;
    if (editing)
        showEditingState();
    else
        refreshInactiveText();
}

const char* EditBoxImplLinux::getText() {
    visibleText = text;
    for (std::size_t at = visibleText.find(OBJECT_REPLACEMENT); at != std::string::npos;
         at = visibleText.find(OBJECT_REPLACEMENT, at))
        visibleText.erase(at, std::strlen(OBJECT_REPLACEMENT));
    return visibleText.c_str();
}

bool EditBoxImplLinux::acceptsText(const std::string& typed) const {
    std::u16string typedUnits;
    std::u16string currentUnits;
    if (!StringUtils::UTF8ToUTF16(typed, typedUnits)) {
        log("EditBoxImplLinux: typed text is not UTF-8; ignored");
        return false;
    }
    const char* allowed = nullptr;
    if (inputMode == NUMERIC || inputMode == DECIMAL) allowed = "0123456789.";
    if (inputMode == PHONE_NUMBER) allowed = "0123456789+*#";
    if (allowed && typed.find_first_not_of(allowed) != std::string::npos) return false;
    // A change that would pass the limit is refused whole.
    StringUtils::UTF8ToUTF16(text, currentUnits);
    return maxTextLength < 0 || currentUnits.size() + typedUnits.size() <= static_cast<std::size_t>(maxTextLength);
}

void EditBoxImplLinux::insertText(const std::string& typed) {
    const std::size_t newline = typed.find('\n');
    const std::string before = typed.substr(0, newline);
    if (!before.empty() && acceptsText(before)) {
        text += before;
        showEditingState();
        notifyTextChanged();
    }
    // Return never inserts anything: it ends the editing.
    if (newline != std::string::npos) closeKeyboard();
}

void EditBoxImplLinux::deleteBackward() {
    if (text.empty()) return;
    dropLastCharacter(text);
    showEditingState();
    notifyTextChanged();
}

void EditBoxImplLinux::notifyTextChanged() {
    if (delegate) delegate->editBoxTextChanged(editBox, getText());
}

// ---- The editing cycle ----

void EditBoxImplLinux::openKeyboard() {
    if (editing || !textInput) return;
    RefPtr<EditBox> alive(editBox);
    if (!textInput->attachWithIME()) return;
    setKeyboardOpen(true);
}

void EditBoxImplLinux::didBeginEditing() {
    editing = true;
    showEditingState();
    KTEAGLView* host = hostView();
    const bool keyboardShown = host && host->isKeyboardShown();
    // A touch elsewhere in the window ends the editing, as it would take a native field's focus; one on
    // the box is the field's own.
    if (host)
        host->setFirstResponderTextField(
            this, [this] { closeKeyboard(); }, [this](const Vec2& pixel) { return isOnBox(pixel); });
    if (delegate) delegate->editBoxEditingDidBegin(editBox);
    // The keyboard is up already (another input had it): this box hears of it too. The view is looked up
    // again, as the delegate may have changed it.
    if (!keyboardShown) return;
    if (KTEAGLView* now = hostView()) now->doAnimationWhenAnotherEditBeClicked();
}

bool EditBoxImplLinux::isOnBox(const Vec2& pixel) const {
    GLView* view = Director::getInstance()->getOpenGLView();
    if (!view || view->getScaleX() == 0.0f || view->getScaleY() == 0.0f) return false;
    for (const Node* node = editBox; node; node = node->getParent())
        if (!node->isVisible()) return false;
    // Surface pixels to design points, as the view places touches, then to the world.
    const Rect& viewPort = view->getViewPortRect();
    const Vec2 inView((pixel.x - viewPort.origin.x) / view->getScaleX(),
                      (pixel.y - viewPort.origin.y) / view->getScaleY());
    return editBox->hitTest(Director::getInstance()->convertToGL(inView));
}

void EditBoxImplLinux::closeKeyboard() {
    if (!editing) return;
    RefPtr<EditBox> alive(editBox);
    if (textInput) textInput->detachWithIME();
    // Ended here when the dispatcher had no record of the field owning the keyboard.
    if (editing) didEndEditing();
    setKeyboardOpen(false);
}

void EditBoxImplLinux::didEndEditing() {
    editing = false;
    if (KTEAGLView* host = hostView()) host->clearFirstResponderTextField(this);
    refreshInactiveText();
    if (delegate) delegate->editBoxEditingDidEnd(editBox);
    if (delegate) delegate->editBoxReturn(editBox);
    onEndEditing();
}

void EditBoxImplLinux::onEndEditing() {
    cursor->setVisible(false);
    setInactiveText();
    label->setVisible(!text.empty());
    labelPlaceHolder->setVisible(text.empty());
}

// The keyboard takes no room on a desktop: the view never has to move for it.
void EditBoxImplLinux::doAnimationWhenKeyboardMove(float, float) {}

}  // namespace ui
}  // namespace kite
