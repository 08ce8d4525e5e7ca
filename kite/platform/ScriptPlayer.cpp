#include "kite/platform/ScriptPlayer.h"

#include <SDL2/SDL.h>

#include "kite/foundation/Log.h"
#include "kite/platform/KTEAGLView.h"
#include "platform/HostLoop.h"

namespace kite {

ScriptPlayer::ScriptPlayer(platform::InputScript script, platform::HostLoop& loop)
    : script_(std::move(script)), loop_(loop) {}

void ScriptPlayer::start() { play(1); }

void ScriptPlayer::afterPass() {
    ++passes_;
    play(passes_ + 1);
}

void ScriptPlayer::play(long frame) {
    using Kind = platform::ScriptStep::Kind;
    for (const platform::ScriptStep& step : script_.stepsAt(frame)) {
        switch (step.kind) {
            case Kind::DOWN:
            case Kind::MOVE:
            case Kind::UP: {
                if (!view_) break;
                // Frame pixels to window points, as the mouse reports them.
                const float scale = view_->getContentScaleFactor();
                const int x = static_cast<int>(step.x / scale);
                const int y = static_cast<int>(step.y / scale);
                SDL_Event event{};
                if (step.kind == Kind::MOVE) {
                    event.type = SDL_MOUSEMOTION;
                    event.motion.windowID = view_->getWindowID();
                    event.motion.state = SDL_BUTTON_LMASK;
                    event.motion.x = x;
                    event.motion.y = y;
                } else {
                    event.type = step.kind == Kind::DOWN ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
                    event.button.windowID = view_->getWindowID();
                    event.button.button = SDL_BUTTON_LEFT;
                    event.button.state = step.kind == Kind::DOWN ? SDL_PRESSED : SDL_RELEASED;
                    event.button.clicks = 1;
                    event.button.x = x;
                    event.button.y = y;
                }
                if (SDL_PushEvent(&event) < 0) kite::log("script: frame %ld: input lost: %s", frame, SDL_GetError());
                break;
            }
            case Kind::SHOT:
                if (view_) view_->captureNextFrame(step.path);
                break;
            case Kind::BACKGROUND: loop_.enterBackground(); break;
            case Kind::FOREGROUND: loop_.enterForeground(); break;
            case Kind::QUIT: loop_.quit(); break;
        }
    }
}

}  // namespace kite
