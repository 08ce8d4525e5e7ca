// What a node that follows a tweened value implements: it is told each new value with its key.
#pragma once
#include <string>

namespace kite {

class ActionTweenDelegate {
public:
    virtual ~ActionTweenDelegate() = default;
    virtual void updateTweenAction(float value, const std::string& key) = 0;
};

}  // namespace kite
