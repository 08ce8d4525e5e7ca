// The registry of text receivers: knows which one owns the keyboard, forwards typed text and backspaces
// to it, and tells every receiver when the keyboard shows or hides.
#pragma once
#include <cstddef>
#include <list>
#include <string>

#include "kite/scene/IMEDelegate.h"

namespace kite {

class IMEDispatcher {
public:
    static IMEDispatcher* sharedDispatcher();

    void dispatchInsertText(const char* text, std::size_t length);
    void dispatchDeleteBackward();
    // The owner's text; empty without an owner.
    const std::string& getContentText();

    void dispatchKeyboardWillShow(IMEKeyboardNotificationInfo& info);
    void dispatchKeyboardDidShow(IMEKeyboardNotificationInfo& info);
    void dispatchKeyboardWillHide(IMEKeyboardNotificationInfo& info);
    void dispatchKeyboardDidHide(IMEKeyboardNotificationInfo& info);

    bool hasOwner() const { return owner_ != nullptr; }

    IMEDispatcher(const IMEDispatcher&) = delete;
    IMEDispatcher& operator=(const IMEDispatcher&) = delete;

protected:
    friend class IMEDelegate;

    IMEDispatcher() = default;

    void addDelegate(IMEDelegate* delegate);
    void removeDelegate(IMEDelegate* delegate);
    bool attachDelegateWithIME(IMEDelegate* delegate);
    bool detachDelegateWithIME(IMEDelegate* delegate);

private:
    bool isListed(IMEDelegate* delegate) const;
    template <class Notify>
    void notifyAll(Notify notify);

    std::list<IMEDelegate*> delegates_;  // newest first
    IMEDelegate* owner_ = nullptr;
};

}  // namespace kite
