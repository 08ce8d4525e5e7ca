// Keeps the GL driver loaded for the whole test run. Unloading it with the last window strands
// what llvmpipe's shader compiler allocated for the frames drawn, which the leak checker reports.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include "platform/GLContext.h"

namespace {

class KeepGLDriverLoaded : public ::testing::Environment {
public:
    void SetUp() override {
        platform::prepareVideoDriver();
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return;
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_ES);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 2);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 0);
        SDL_GL_LoadLibrary(nullptr);
    }
};

[[maybe_unused]] ::testing::Environment* const keepGLDriverLoaded =
    ::testing::AddGlobalTestEnvironment(new KeepGLDriverLoaded);

}  // namespace
