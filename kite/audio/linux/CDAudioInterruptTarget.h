// What can be muted and switched off as a whole: sources, the engine, the manager, groups.
#pragma once
#include "kite/foundation/Ref.h"

namespace kite {
namespace audio {

class CDAudioInterruptTarget : public Ref {
public:
    virtual bool mute() const = 0;
    virtual void setMute(bool mute) = 0;
    virtual bool enabled() const = 0;
    virtual void setEnabled(bool enabled) = 0;
};

}  // namespace audio
}  // namespace kite
