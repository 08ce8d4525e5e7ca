// The edit box's platform half on Linux: a text field drawn by the engine (text, placeholder, cursor) and typed
// into through the engine's text input dispatcher.
#pragma once
#include <memory>
#include <string>

#include "kite/foundation/Ref.h"
#include "kite/widgets/EditBoxImpl.h"

namespace kite {

class DrawNode;
class Label;

namespace ui {

class EditBoxImplLinux : public EditBoxImpl {
public:
    explicit EditBoxImplLinux(EditBox* editBox);
    ~EditBoxImplLinux() override;

    bool initWithSize(const Size& size) override;
    void setFont(const char* fontName, int fontSize) override;
    void setFontColor(const Color3B& color) override;
    void setPlaceholderFont(const char* fontName, int fontSize) override;
    void setPlaceholderFontColor(const Color3B& color) override;
    void setInputMode(int inputMode) override { this->inputMode = inputMode; }
    void setInputFlag(int inputFlag) override;
    void setMaxLength(int length) override { maxTextLength = length; }
    int getMaxLength() override { return maxTextLength; }
    // No key of a desktop keyboard changes with it.
    void setReturnType(int returnType) override { this->returnType = returnType; }
    bool isEditing() override { return editing; }
    void setText(const char* text) override;
    // Valid until the next call.
    const char* getText() override;
    void setPlaceHolder(const char* text) override;
    void doAnimationWhenKeyboardMove(float duration, float distance) override;
    void openKeyboard() override;
    void closeKeyboard() override;
    void setPosition(const Vec2& position) override { this->position = position; }
    // The field is part of the box's drawing, so the box's visibility and visit already cover it.
    void setVisible(bool) override {}
    void setContentSize(const Size& size) override;
    void setAnchorPoint(const Vec2& anchor) override { anchorPoint = anchor; }
    // The field is drawn as part of the box, so it is always where the node is.
    void updatePosition(float) override {}
    void visit() override {}
    void onEnter() override { setInactiveText(); }

    void refreshInactiveText();

private:
    class TextInput;
    friend class TextInput;

    // What the text input hands on.
    void didBeginEditing();
    void insertText(const std::string& typed);
    void deleteBackward();
    void didEndEditing();
    void onEndEditing();
    // Whether a touch at this surface pixel of the window lands on the box.
    bool isOnBox(const Vec2& pixel) const;

    // Refuses text the input mode does not take and text past the length limit.
    bool acceptsText(const std::string& typed) const;
    std::string shownText() const;
    void setInactiveText();
    // Shows the text or the placeholder, and the cursor while editing.
    void showEditingState();
    void placeCursor();
    void notifyTextChanged();

    RefPtr<Label> label;
    RefPtr<Label> labelPlaceHolder;
    RefPtr<DrawNode> cursor;
    std::unique_ptr<TextInput> textInput;
    Size contentSize;
    Vec2 position;
    Vec2 anchorPoint = Vec2(0.5f, 0.5f);
    std::string text;
    // What getText last handed out: the text without object-replacement characters.
    std::string visibleText;
    std::string placeholder;
    Color3B textColor = Color3B::WHITE;
    int inputMode = 0;
    int returnType = 0;
    bool secureTextEntry = false;
    bool editing = false;
    int maxTextLength = -1;
};

}  // namespace ui
}  // namespace kite
