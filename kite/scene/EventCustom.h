// An event known by its name, carrying an untyped pointer of user data.
#pragma once
#include <string>

#include "kite/scene/Event.h"

namespace kite {

class EventCustom : public Event {
public:
    explicit EventCustom(const std::string& eventName) : Event(Type::CUSTOM), eventName_(eventName) {}

    void setUserData(void* data) { userData_ = data; }
    void* getUserData() const { return userData_; }
    const std::string& getEventName() const { return eventName_; }

private:
    void* userData_ = nullptr;
    std::string eventName_;
};

}  // namespace kite
