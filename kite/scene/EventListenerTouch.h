// Touch listeners: one by one (claims single touches, may swallow them) and all at once.
#pragma once
#include <functional>
#include <vector>

#include "kite/scene/EventListener.h"

namespace kite {

class Touch;

class EventListenerTouchOneByOne : public EventListener {
public:
    static const ListenerID LISTENER_ID;  // "__kt_touch_one_by_one"

    using TouchBeganCallback = std::function<bool(Touch*, Event*)>;
    using TouchCallback = std::function<void(Touch*, Event*)>;

    static EventListenerTouchOneByOne* create();
    bool init();

    // A claimed touch that is swallowed reaches no later listener.
    void setSwallowTouches(bool needSwallow) { needSwallow_ = needSwallow; }
    bool isSwallowTouches() const { return needSwallow_; }

    bool checkAvailable() override;
    EventListenerTouchOneByOne* clone() override;

    TouchBeganCallback onTouchBegan;
    TouchCallback onTouchMoved;
    TouchCallback onTouchEnded;
    TouchCallback onTouchCancelled;

    // The touches this listener claimed on began and has not seen end yet (kept by the dispatcher).
    std::vector<Touch*>& getClaimedTouches() { return claimedTouches_; }
    const std::vector<Touch*>& getClaimedTouches() const { return claimedTouches_; }

    EventListenerTouchOneByOne() = default;  // for the create pattern

private:
    std::vector<Touch*> claimedTouches_;
    bool needSwallow_ = false;
};

class EventListenerTouchAllAtOnce : public EventListener {
public:
    static const ListenerID LISTENER_ID;  // "__kt_touch_all_at_once"

    using TouchesCallback = std::function<void(const std::vector<Touch*>&, Event*)>;

    static EventListenerTouchAllAtOnce* create();
    bool init();

    bool checkAvailable() override;
    EventListenerTouchAllAtOnce* clone() override;

    TouchesCallback onTouchesBegan;
    TouchesCallback onTouchesMoved;
    TouchesCallback onTouchesEnded;
    TouchesCallback onTouchesCancelled;

    EventListenerTouchAllAtOnce() = default;  // for the create pattern
};

}  // namespace kite
