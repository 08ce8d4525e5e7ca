// A render command that runs its owner's function at draw time.
#pragma once
#include <functional>

#include "kite/rendering/RenderCommand.h"

namespace kite {

class CustomCommand : public RenderCommand {
public:
    CustomCommand() { type_ = Type::CUSTOM_COMMAND; }

    void init(float globalOrder, const Mat4& modelView, std::uint32_t flags) {
        RenderCommand::init(globalOrder, modelView, flags);
    }
    // Only the global order; 3D flag and depth stay as they are.
    void init(float globalOrder) { globalOrder_ = globalOrder; }

    void execute() const {
        if (func) func();
    }

    std::function<void()> func;
};

}  // namespace kite
