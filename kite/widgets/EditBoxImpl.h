// The platform half of the edit box: what the box asks of the text field that does the typing.
#pragma once
#include <memory>
#include <string>

#include "kite/foundation/math/MathTypes.h"

namespace kite {

class Renderer;

namespace ui {

class EditBox;
class EditBoxDelegate;

class EditBoxImpl {
public:
    explicit EditBoxImpl(EditBox* editBox) : editBox(editBox) {}
    virtual ~EditBoxImpl() = default;
    EditBoxImpl(const EditBoxImpl&) = delete;
    EditBoxImpl& operator=(const EditBoxImpl&) = delete;

    virtual bool initWithSize(const Size& size) = 0;
    virtual void setFont(const char* fontName, int fontSize) = 0;
    virtual void setFontColor(const Color3B& color) = 0;
    virtual void setPlaceholderFont(const char* fontName, int fontSize) = 0;
    virtual void setPlaceholderFontColor(const Color3B& color) = 0;
    virtual void setInputMode(int inputMode) = 0;
    virtual void setInputFlag(int inputFlag) = 0;
    virtual void setMaxLength(int maxLength) = 0;
    virtual int getMaxLength() = 0;
    virtual void setReturnType(int returnType) = 0;
    virtual bool isEditing() = 0;
    virtual void setText(const char* text) = 0;
    virtual const char* getText() = 0;
    virtual void setPlaceHolder(const char* text) = 0;
    virtual void doAnimationWhenKeyboardMove(float duration, float distance) = 0;
    virtual void openKeyboard() = 0;
    virtual void closeKeyboard() = 0;
    virtual void setPosition(const Vec2& position) = 0;
    virtual void setVisible(bool visible) = 0;
    virtual void setContentSize(const Size& size) = 0;
    virtual void setAnchorPoint(const Vec2& anchor) = 0;
    virtual void updatePosition(float dt) = 0;
    virtual void visit() = 0;
    virtual void onEnter() = 0;

    void setDelegate(EditBoxDelegate* d) { delegate = d; }
    EditBoxDelegate* getDelegate() const { return delegate; }
    EditBox* getEditBox() const { return editBox; }

protected:
    EditBoxDelegate* delegate = nullptr;  // not owned
    EditBox* editBox = nullptr;           // the owner
};

// The platform's implementation for the box.
std::unique_ptr<EditBoxImpl> createEditBoxImpl(EditBox* editBox);

}  // namespace ui
}  // namespace kite
