// The single-line text input: a nine-slice background, the text or its placeholder, typed into through the keyboard.
#pragma once
#include <memory>
#include <string>

#include "kite/scene/IMEDelegate.h"
#include "kite/widgets/Widget.h"

namespace kite {
namespace ui {

class EditBox;
class EditBoxImpl;
class Scale9Sprite;

// What the owner of a box is told of its editing.
class EditBoxDelegate {
public:
    virtual ~EditBoxDelegate() = default;
    virtual void editBoxEditingDidBegin(EditBox*) {}
    virtual void editBoxEditingDidEnd(EditBox*) {}
    virtual void editBoxTextChanged(EditBox*, const std::string&) {}
    virtual void editBoxReturn(EditBox* editBox) = 0;
};

// The box's own IME part only hears of the keyboard coming and going; the typing goes to the
// platform half's text field.
class EditBox : public Widget, public IMEDelegate {
public:
    // What the keyboard offers; on a desktop the numeric and phone modes also limit what is accepted.
    enum class InputMode {
        ANY = 0,
        EMAIL_ADDRESS = 1,
        NUMERIC = 2,
        PHONE_NUMBER = 3,
        URL = 4,
        DECIMAL = 5,
        SINGLE_LINE = 6
    };
    enum class InputFlag {
        PASSWORD = 0,
        SENSITIVE = 1,
        INITIAL_CAPS_WORD = 2,
        INITIAL_CAPS_SENTENCE = 3,
        INITIAL_CAPS_ALL_CHARACTERS = 4
    };
    enum class KeyboardReturnType { DEFAULT = 0, DONE = 1, SEND = 2, SEARCH = 3, GO = 4 };

    // The two further sprites a caller may pass have no effect.
    static EditBox* create(const Size& size, Scale9Sprite* normalSprite, Scale9Sprite* pressedSprite = nullptr,
                           Scale9Sprite* disabledSprite = nullptr);

    EditBox();
    ~EditBox() override;

    bool initWithSizeAndBackgroundSprite(const Size& size, Scale9Sprite* normalSprite);
    std::string description() const override { return "EditBox"; }

    void setDelegate(EditBoxDelegate* delegate);
    EditBoxDelegate* getDelegate() const { return delegate; }

    void setText(const char* text);
    // The typed text; empty without a platform half.
    const char* getText() const;
    void setFont(const char* fontName, int fontSize);
    void setFontColor(const Color3B& color);
    void setPlaceholderFont(const char* fontName, int fontSize);
    void setPlaceholderFontColor(const Color3B& color);
    // A null text is ignored.
    void setPlaceHolder(const char* text);
    const char* getPlaceHolder() const { return placeHolder.c_str(); }
    void setInputMode(InputMode mode);
    void setInputFlag(InputFlag flag);
    // The longest text accepted, in UTF-16 units; never set means no limit.
    void setMaxLength(int length);
    int getMaxLength() const { return maxLength; }
    void setReturnType(KeyboardReturnType type);
    // How far the box last asked the view to move up for the keyboard.
    float getAdjustHeight() const { return adjustHeight; }

    void setPosition(const Vec2& position) override;
    using Widget::setPosition;
    void setVisible(bool visible) override;
    void setContentSize(const Size& size) override;
    void setAnchorPoint(const Vec2& anchor) override;
    void visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) override;
    using Widget::visit;
    void onEnter() override;
    void onExit() override;
    // Run every 0.1 s while the box is in the scene: the platform half's text field follows the node.
    void updatePosition(float dt);

    // The IME part's keyboard hooks.
    void keyboardWillShow(IMEKeyboardNotificationInfo& info) override;
    void keyboardDidShow(IMEKeyboardNotificationInfo&) override {}
    void keyboardWillHide(IMEKeyboardNotificationInfo& info) override;
    void keyboardDidHide(IMEKeyboardNotificationInfo&) override {}

protected:
    void adaptRenderers() override;
    // Opens the keyboard when a tap on the box ends.
    void touchDownAction(Ref* sender, TouchEventType type);

    // The rest of the IME part: the box never owns the keyboard itself.
    bool canAttachWithIME() override { return false; }
    bool canDetachWithIME() override { return false; }
    void insertText(const char*, std::size_t) override {}
    void deleteBackward() override {}
    const std::string& getContentText() override;

private:
    std::unique_ptr<EditBoxImpl> editBoxImpl;
    EditBoxDelegate* delegate = nullptr;  // not owned
    InputMode editBoxInputMode = InputMode::SINGLE_LINE;
    InputFlag editBoxInputFlag = InputFlag::INITIAL_CAPS_ALL_CHARACTERS;
    KeyboardReturnType keyboardReturnType = KeyboardReturnType::DEFAULT;
    Scale9Sprite* backgroundSprite = nullptr;  // retained
    std::string text;
    std::string placeHolder;
    std::string fontName;
    std::string placeholderFontName;
    int fontSize = -1;
    int placeholderFontSize = -1;
    Color3B colText = Color3B::WHITE;
    Color3B colPlaceHolder = Color3B(166, 166, 166);
    int maxLength = 0;
    float adjustHeight = 0.0f;
    bool backgroundSizeDirty = true;
};

}  // namespace ui
}  // namespace kite
