#include "kite/scene/IMEDispatcher.h"

#include <algorithm>

namespace kite {

IMEDelegate::IMEDelegate() { IMEDispatcher::sharedDispatcher()->addDelegate(this); }

IMEDelegate::~IMEDelegate() { IMEDispatcher::sharedDispatcher()->removeDelegate(this); }

bool IMEDelegate::attachWithIME() { return IMEDispatcher::sharedDispatcher()->attachDelegateWithIME(this); }

bool IMEDelegate::detachWithIME() { return IMEDispatcher::sharedDispatcher()->detachDelegateWithIME(this); }

IMEDispatcher* IMEDispatcher::sharedDispatcher() {
    static IMEDispatcher dispatcher;
    return &dispatcher;
}

bool IMEDispatcher::isListed(IMEDelegate* delegate) const {
    return std::find(delegates_.begin(), delegates_.end(), delegate) != delegates_.end();
}

void IMEDispatcher::addDelegate(IMEDelegate* delegate) {
    if (!delegate || isListed(delegate)) return;
    delegates_.push_front(delegate);
}

void IMEDispatcher::removeDelegate(IMEDelegate* delegate) {
    if (!delegate || !isListed(delegate)) return;
    // The owner going away leaves no owner, without callbacks.
    if (owner_ == delegate) owner_ = nullptr;
    delegates_.remove(delegate);
}

bool IMEDispatcher::attachDelegateWithIME(IMEDelegate* delegate) {
    if (!delegate || !isListed(delegate)) return false;
    if (owner_) {
        if (!owner_->canDetachWithIME() || !delegate->canAttachWithIME()) return false;
        IMEDelegate* old = owner_;
        owner_ = nullptr;
        old->didDetachWithIME();
    } else if (!delegate->canAttachWithIME()) {
        return false;
    }
    owner_ = delegate;
    delegate->didAttachWithIME();
    return true;
}

bool IMEDispatcher::detachDelegateWithIME(IMEDelegate* delegate) {
    if (!delegate || delegate != owner_ || !owner_->canDetachWithIME()) return false;
    owner_ = nullptr;
    delegate->didDetachWithIME();
    return true;
}

void IMEDispatcher::dispatchInsertText(const char* text, std::size_t length) {
    if (!text || length == 0 || !owner_) return;
    owner_->insertText(text, length);
}

void IMEDispatcher::dispatchDeleteBackward() {
    if (owner_) owner_->deleteBackward();
}

const std::string& IMEDispatcher::getContentText() {
    static const std::string none;
    return owner_ ? owner_->getContentText() : none;
}

// A copy of the list, so that a delegate may come or go while it is told.
template <class Notify>
void IMEDispatcher::notifyAll(Notify notify) {
    const std::list<IMEDelegate*> listeners = delegates_;
    for (IMEDelegate* delegate : listeners)
        if (isListed(delegate)) notify(delegate);
}

void IMEDispatcher::dispatchKeyboardWillShow(IMEKeyboardNotificationInfo& info) {
    notifyAll([&info](IMEDelegate* d) { d->keyboardWillShow(info); });
}

void IMEDispatcher::dispatchKeyboardDidShow(IMEKeyboardNotificationInfo& info) {
    notifyAll([&info](IMEDelegate* d) { d->keyboardDidShow(info); });
}

void IMEDispatcher::dispatchKeyboardWillHide(IMEKeyboardNotificationInfo& info) {
    notifyAll([&info](IMEDelegate* d) { d->keyboardWillHide(info); });
}

void IMEDispatcher::dispatchKeyboardDidHide(IMEKeyboardNotificationInfo& info) {
    notifyAll([&info](IMEDelegate* d) { d->keyboardDidHide(info); });
}

}  // namespace kite
