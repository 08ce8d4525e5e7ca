// Instant actions: act once in the frame they start; the two callback actions.
#pragma once
#include <functional>

#include "kite/scene/Action.h"

namespace kite {

class ActionInstant : public FiniteTimeAction {
public:
    ActionInstant* clone() const override { return nullptr; }
    ActionInstant* reverse() const override { return nullptr; }
    bool isDone() const override { return true; }
    void step(float) override { update(1.0f); }

protected:
    ActionInstant() = default;
};

// Calls a function (or a member callback of a retained target) once.
class CallFunc : public ActionInstant {
public:
    using MemberCallback = void (Ref::*)();

    static CallFunc* create(const std::function<void()>& function);
    static CallFunc* create(Ref* selectorTarget, MemberCallback callback);
    bool init(const std::function<void()>& function);
    bool init(Ref* selectorTarget, MemberCallback callback);
    ~CallFunc() override;

    virtual void execute();
    void update(float) override { execute(); }
    CallFunc* clone() const override;
    CallFunc* reverse() const override { return clone(); }

    Ref* getTargetCallback() const { return selectorTarget_; }
    // Retains the new target before releasing the old one.
    void setTargetCallback(Ref* selectorTarget);

    CallFunc() = default;

protected:
    Ref* selectorTarget_ = nullptr;  // retained
    MemberCallback callback_ = nullptr;
    std::function<void()> function_;
};

// Calls a function with the action's target node once.
class CallFuncN : public CallFunc {
public:
    using MemberCallbackN = void (Ref::*)(Node*);

    static CallFuncN* create(const std::function<void(Node*)>& function);
    static CallFuncN* create(Ref* selectorTarget, MemberCallbackN callback);
    bool init(const std::function<void(Node*)>& function);
    bool init(Ref* selectorTarget, MemberCallbackN callback);

    void execute() override;
    CallFuncN* clone() const override;
    CallFuncN* reverse() const override { return clone(); }

    CallFuncN() = default;

private:
    MemberCallbackN callbackN_ = nullptr;
    std::function<void(Node*)> functionN_;
};

}  // namespace kite
