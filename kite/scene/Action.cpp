#include "kite/scene/Action.h"

#include "kite/foundation/StringUtils.h"

namespace kite {

std::string Action::description() const { return StringUtils::format("<Action | Tag = %d", tag_); }

void Action::startWithTarget(Node* target) {
    originalTarget_ = target;
    target_ = target;
}

void Action::stop() { target_ = nullptr; }

void Action::step(float) {}

void Action::update(float) {}

}  // namespace kite
