#include "kite/scene/ActionInstant.h"

#include "kite/foundation/Create.h"

namespace kite {

CallFunc* CallFunc::create(const std::function<void()>& function) { return createAutoreleased<CallFunc>(function); }

CallFunc* CallFunc::create(Ref* selectorTarget, MemberCallback callback) {
    return createAutoreleased<CallFunc>(selectorTarget, callback);
}

bool CallFunc::init(const std::function<void()>& function) {
    function_ = function;
    return true;
}

bool CallFunc::init(Ref* selectorTarget, MemberCallback callback) {
    setTargetCallback(selectorTarget);
    callback_ = callback;
    return true;
}

CallFunc::~CallFunc() { releaseAndClear(selectorTarget_); }

void CallFunc::setTargetCallback(Ref* selectorTarget) { assignRetained(selectorTarget_, selectorTarget); }

void CallFunc::execute() {
    if (callback_) {
        if (selectorTarget_) (selectorTarget_->*callback_)();
    } else if (function_) {
        function_();
    }
}

CallFunc* CallFunc::clone() const {
    if (selectorTarget_) return create(selectorTarget_, callback_);
    return create(function_);
}

CallFuncN* CallFuncN::create(const std::function<void(Node*)>& function) {
    return createAutoreleased<CallFuncN>(function);
}

CallFuncN* CallFuncN::create(Ref* selectorTarget, MemberCallbackN callback) {
    return createAutoreleased<CallFuncN>(selectorTarget, callback);
}

bool CallFuncN::init(const std::function<void(Node*)>& function) {
    functionN_ = function;
    return true;
}

bool CallFuncN::init(Ref* selectorTarget, MemberCallbackN callback) {
    setTargetCallback(selectorTarget);
    callbackN_ = callback;
    return true;
}

void CallFuncN::execute() {
    if (callbackN_) {
        if (selectorTarget_) (selectorTarget_->*callbackN_)(target_);
    } else if (functionN_) {
        functionN_(target_);
    }
}

CallFuncN* CallFuncN::clone() const {
    if (selectorTarget_) return create(selectorTarget_, callbackN_);
    return create(functionN_);
}

}  // namespace kite
