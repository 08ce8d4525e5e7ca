// A single-line text entry drawn as a system-font label: typed text arrives through the input dispatcher
// while the field owns the keyboard; a placeholder shows while it is empty; a line feed ends the entry.
#pragma once
#include <string>

#include "kite/scene/IMEDelegate.h"
#include "kite/scene/Label.h"

namespace kite {

class TextFieldTTF;

// Lets the game veto or observe each step: true means the delegate handled it and the field does nothing.
class TextFieldDelegate {
public:
    virtual ~TextFieldDelegate() = default;
    virtual bool onTextFieldAttachWithIME(TextFieldTTF*) { return false; }
    virtual bool onTextFieldDetachWithIME(TextFieldTTF*) { return false; }
    virtual bool onTextFieldInsertText(TextFieldTTF*, const char*, std::size_t) { return false; }
    virtual bool onTextFieldDeleteBackward(TextFieldTTF*, const char*, std::size_t) { return false; }
    virtual bool onVisit(TextFieldTTF*, Renderer*, const Mat4&, uint32_t) { return false; }
};

class TextFieldTTF : public Label, public IMEDelegate {
public:
    static TextFieldTTF* textFieldWithPlaceHolder(const std::string& placeholder, const std::string& fontName,
                                                  float fontSize);
    bool initWithPlaceHolder(const std::string& placeholder, const std::string& fontName, float fontSize);

    TextFieldTTF();
    ~TextFieldTTF() override;

    // Takes or gives up the keyboard; the GL view shows or hides it when that succeeds.
    bool attachWithIME() override;
    bool detachWithIME() override;

    void setDelegate(TextFieldDelegate* delegate) { _delegate = delegate; }
    TextFieldDelegate* getDelegate() const { return _delegate; }
    int getCharCount() const { return _charCount; }

    const Color4B& getColorSpaceHolder() const { return _colorSpaceHolder; }
    virtual void setColorSpaceHolder(const Color3B& color);
    virtual void setColorSpaceHolder(const Color4B& color);
    void setTextColor(const Color4B& color) override;
    virtual void setPlaceHolder(const std::string& text);
    virtual const std::string& getPlaceHolder() const { return _placeHolder; }
    // Shows one bullet per byte of the input instead of the input.
    virtual void setSecureTextEntry(bool value);
    virtual bool isSecureTextEntry() const { return _secureTextEntry; }

    void setString(const std::string& text) override;
    const std::string& getString() const override { return _inputText; }
    void visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) override;
    using Node::visit;

    bool canAttachWithIME() override;
    bool canDetachWithIME() override;
    void insertText(const char* text, std::size_t length) override;
    void deleteBackward() override;
    const std::string& getContentText() override { return _inputText; }

private:
    // The label shows the placeholder in its colour.
    void showPlaceHolder();

    TextFieldDelegate* _delegate = nullptr;  // not owned
    int _charCount = 0;
    std::string _inputText;
    std::string _placeHolder;
    Color4B _colorSpaceHolder{127, 127, 127, 255};
    Color4B _colorText = Color4B::WHITE;
    bool _secureTextEntry = false;
};

}  // namespace kite
