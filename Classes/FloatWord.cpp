#include "Classes/FloatWord.h"

#include "kite/foundation/Create.h"
#include "kite/foundation/Ref.h"
#include "kite/scene/ActionInstant.h"
#include "kite/scene/ActionInterval.h"
#include "kite/scene/Director.h"
#include "kite/scene/Label.h"

namespace {

float centreX() { return kite::Director::getInstance()->getVisibleSize().width / 2; }

}  // namespace

FloatWord* FloatWord::create(const std::string& text, int fontSize, const kite::Vec2& start) {
    return kite::createAutoreleased<FloatWord>(text, fontSize, start);
}

bool FloatWord::init(const std::string& text, int, const kite::Vec2& startPoint) {
    if (!Node::init()) return false;
    start = startPoint;
    label = kite::Label::createWithBMFont("Font/NumberD.fnt", text);
    if (!label) return false;
    label->setPosition(start);
    addChild(label);
    return true;
}

void FloatWord::floatIn(float duration, const std::function<void()>& done) {
    label->runAction(kite::Sequence::create(kite::MoveTo::create(duration, kite::Vec2(centreX(), start.y)),
                                            kite::CallFunc::create([done] {
                                                if (done) done();
                                            })));
}

void FloatWord::finishAndLeave(const std::function<void()>& done) {
    // Leaving with clean-up stops the action that is calling us: the callback
    // runs first, and the word outlives its own removal until we return.
    kite::RefPtr<FloatWord> keep(this);
    if (done) done();
    removeFromParentAndCleanup(true);
}

void FloatWord::leaveAndFinish(const std::function<void()>& done) {
    // The callback may outlast the action that holds it: it is copied before the clean-up stops that action.
    kite::RefPtr<FloatWord> keep(this);
    const std::function<void()> callback = done;
    removeFromParentAndCleanup(true);
    if (callback) callback();
}

void FloatWord::floatOut(float duration, const std::function<void()>& done) {
    label->runAction(kite::Sequence::create(kite::MoveTo::create(duration, kite::Vec2(-200.0f, start.y)),
                                            kite::CallFunc::create([this, done] { finishAndLeave(done); })));
}

void FloatWord::floatInOut(float moveDuration, float hold, const std::function<void()>& done) {
    label->runAction(kite::Sequence::create(kite::MoveTo::create(moveDuration, kite::Vec2(centreX(), start.y)),
                                            kite::DelayTime::create(hold),
                                            kite::MoveTo::create(moveDuration, kite::Vec2(0.0f, start.y)),
                                            kite::CallFunc::create([this, done] { leaveAndFinish(done); })));
}
