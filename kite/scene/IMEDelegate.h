// What receives typed text: the objects that can own the keyboard, one at a time, through the dispatcher.
#pragma once
#include <cstddef>
#include <string>

#include "kite/foundation/math/Rect.h"

namespace kite {

// The keyboard's frame before and after a change, and how long the change takes. There is no on-screen
// keyboard on a desktop, so both frames are empty.
struct IMEKeyboardNotificationInfo {
    Rect begin;
    Rect end;
    float duration = 0.0f;
};

class IMEDelegate {
public:
    virtual ~IMEDelegate();

    // Asks the dispatcher to make this the keyboard owner, or to release the keyboard.
    virtual bool attachWithIME();
    virtual bool detachWithIME();

protected:
    friend class IMEDispatcher;

    // Registers with the dispatcher.
    IMEDelegate();
    IMEDelegate(const IMEDelegate&) = delete;
    IMEDelegate& operator=(const IMEDelegate&) = delete;

    virtual bool canAttachWithIME() = 0;
    virtual void didAttachWithIME() {}
    virtual bool canDetachWithIME() = 0;
    virtual void didDetachWithIME() {}
    // Typed text (UTF-8 bytes) for the owner.
    virtual void insertText(const char* text, std::size_t length) = 0;
    virtual void deleteBackward() = 0;
    virtual const std::string& getContentText() = 0;

    virtual void keyboardWillShow(IMEKeyboardNotificationInfo&) {}
    virtual void keyboardDidShow(IMEKeyboardNotificationInfo&) {}
    virtual void keyboardWillHide(IMEKeyboardNotificationInfo&) {}
    virtual void keyboardDidHide(IMEKeyboardNotificationInfo&) {}
};

}  // namespace kite
