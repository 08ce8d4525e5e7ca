// The cloning interface of engine objects that can copy themselves.
#pragma once

namespace kite {

class Clonable {
public:
    // A new autoreleased copy.
    virtual Clonable* clone() const = 0;
    virtual ~Clonable() = default;
};

}  // namespace kite
