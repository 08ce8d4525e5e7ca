#include "kite/scene/TextFieldTTF.h"

#include <new>

#include "kite/scene/Director.h"
#include "kite/scene/GLView.h"

namespace kite {

namespace {

// UTF-8 characters: the bytes that do not continue a sequence.
int _calcCharCount(const char* text, std::size_t length) {
    int count = 0;
    for (std::size_t i = 0; i < length && text[i]; ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++count;
    return count;
}

constexpr const char* kBullet = "\xe2\x80\xa2";  // U+2022

void setIMEKeyboardState(bool open) {
    if (GLView* view = Director::getInstance()->getOpenGLView()) view->setIMEKeyboardState(open);
}

}  // namespace

TextFieldTTF* TextFieldTTF::textFieldWithPlaceHolder(const std::string& placeholder, const std::string& fontName,
                                                     float fontSize) {
    auto* field = new (std::nothrow) TextFieldTTF();
    if (!field || !field->initWithPlaceHolder("", fontName, fontSize)) {
        delete field;
        return nullptr;
    }
    field->autorelease();
    if (!placeholder.empty()) field->setPlaceHolder(placeholder);
    return field;
}

TextFieldTTF::TextFieldTTF() = default;
TextFieldTTF::~TextFieldTTF() = default;

bool TextFieldTTF::initWithPlaceHolder(const std::string& placeholder, const std::string& fontName, float fontSize) {
    _placeHolder = placeholder;
    setSystemFontName(fontName);
    setSystemFontSize(fontSize);
    showPlaceHolder();
    return true;
}

void TextFieldTTF::showPlaceHolder() {
    Label::setTextColor(_colorSpaceHolder);
    Label::setString(_placeHolder);
}

bool TextFieldTTF::attachWithIME() {
    const bool attached = IMEDelegate::attachWithIME();
    if (attached) setIMEKeyboardState(true);
    return attached;
}

bool TextFieldTTF::detachWithIME() {
    const bool detached = IMEDelegate::detachWithIME();
    if (detached) setIMEKeyboardState(false);
    return detached;
}

bool TextFieldTTF::canAttachWithIME() { return !_delegate || !_delegate->onTextFieldAttachWithIME(this); }

bool TextFieldTTF::canDetachWithIME() { return !_delegate || !_delegate->onTextFieldDetachWithIME(this); }

void TextFieldTTF::setColorSpaceHolder(const Color3B& color) {
    setColorSpaceHolder(Color4B(color.r, color.g, color.b, 255));
}

void TextFieldTTF::setColorSpaceHolder(const Color4B& color) {
    _colorSpaceHolder = color;
    if (_inputText.empty()) Label::setTextColor(_colorSpaceHolder);
}

void TextFieldTTF::setTextColor(const Color4B& color) {
    _colorText = color;
    if (!_inputText.empty()) Label::setTextColor(_colorText);
}

void TextFieldTTF::setPlaceHolder(const std::string& text) {
    _placeHolder = text;
    if (_inputText.empty()) showPlaceHolder();
}

void TextFieldTTF::setSecureTextEntry(bool value) {
    if (value == _secureTextEntry) return;
    _secureTextEntry = value;
    setString(_inputText);
}

void TextFieldTTF::setString(const std::string& text) {
    _inputText = text;
    if (_inputText.empty()) {
        showPlaceHolder();
    } else {
        std::string display = text;
        if (_secureTextEntry) {
            display.clear();
            for (std::size_t i = 0; i < text.size(); ++i) display += kBullet;
        }
        Label::setTextColor(_colorText);
        Label::setString(display);
    }
    _charCount = _calcCharCount(_inputText.data(), _inputText.size());
}

void TextFieldTTF::insertText(const char* text, std::size_t length) {
    std::string inserted(text, length);
    const std::size_t lineFeed = inserted.find('\n');
    if (lineFeed != std::string::npos) {
        inserted.resize(lineFeed);
        length = lineFeed;
    }
    if (length > 0) {
        if (_delegate && _delegate->onTextFieldInsertText(this, inserted.c_str(), length)) return;
        setString(_inputText + inserted);
    }
    if (lineFeed == std::string::npos) return;
    // A line feed ends the entry.
    if (_delegate && _delegate->onTextFieldInsertText(this, "\n", 1)) return;
    detachWithIME();
}

void TextFieldTTF::deleteBackward() {
    if (_inputText.empty()) return;
    // One UTF-8 character: the last byte and the continuation bytes before it, up to its lead byte.
    std::size_t start = _inputText.size() - 1;
    while (start > 0 && (static_cast<unsigned char>(_inputText[start]) & 0xC0) == 0x80) --start;
    const std::size_t count = _inputText.size() - start;
    if (_delegate && _delegate->onTextFieldDeleteBackward(this, _inputText.data() + start, count)) return;
    setString(_inputText.substr(0, start));
}

void TextFieldTTF::visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) {
    if (_delegate && _delegate->onVisit(this, renderer, parentTransform, parentFlags)) return;
    Label::visit(renderer, parentTransform, parentFlags);
}

}  // namespace kite
