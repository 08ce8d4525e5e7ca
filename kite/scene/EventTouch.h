// A touch event: a phase and the touches (at most 15) that changed in it.
#pragma once
#include <vector>

#include "kite/scene/Event.h"

namespace kite {

class Touch;

class EventTouch : public Event {
public:
    static constexpr int MAX_TOUCHES = 15;

    enum class EventCode { BEGAN = 0, MOVED = 1, ENDED = 2, CANCELLED = 3 };

    EventTouch() : Event(Type::TOUCH) { touches_.reserve(MAX_TOUCHES); }

    EventCode getEventCode() const { return eventCode_; }
    void setEventCode(EventCode code) { eventCode_ = code; }
    const std::vector<Touch*>& getTouches() const { return touches_; }
    void setTouches(const std::vector<Touch*>& touches) { touches_ = touches; }

private:
    EventCode eventCode_ = EventCode::BEGAN;
    std::vector<Touch*> touches_;
};

}  // namespace kite
