#include "kite/platform/ScriptPlayer.h"

#include <chrono>
#include <fstream>
#include <thread>

#include "kite/foundation/Log.h"
#include "kite/platform/KTEAGLView.h"
#include "kite/scene/Director.h"
#include "kite/scene/NodeReport.h"
#include "kite/scene/Scene.h"
#include "platform/HostLoop.h"

namespace kite {

ScriptPlayer::ScriptPlayer(platform::InputScript script, platform::HostLoop& loop)
    : script_(std::move(script)), loop_(loop) {}

void ScriptPlayer::setHostView(KTEAGLView* view) {
    view_ = view;
    if (view_) presented_ = view_->getPresentedFrames();
}

void ScriptPlayer::start() {
    tick_ = loop_.currentTick();
    play(1);
}

void ScriptPlayer::afterPass() {
    const std::uint64_t presented = view_ ? view_->getPresentedFrames() : presented_;
    const std::uint64_t tick = loop_.currentTick();
    std::uint64_t passed = 0;
    if (presented > presented_)
        passed = presented - presented_;
    else if (loop_.isInBackground() && tick > tick_)
        passed = tick - tick_;
    presented_ = presented;
    tick_ = tick;
    if (passed > 0) writeReports();
    for (std::uint64_t i = 0; i < passed; ++i) {
        ++frame_;
        play(frame_ + 1);
    }
}

void ScriptPlayer::play(long frame) {
    using Kind = platform::ScriptStep::Kind;
    using Type = platform::InputEvent::Type;
    for (const platform::ScriptStep& step : script_.stepsAt(frame)) {
        switch (step.kind) {
            case Kind::DOWN:
            case Kind::MOVE:
            case Kind::UP: {
                if (!view_) break;
                // Frame pixels to window points, cut to whole points as the mouse reports them.
                const float scale = view_->getContentScaleFactor();
                const float x = static_cast<float>(static_cast<int>(step.x / scale));
                const float y = static_cast<float>(static_cast<int>(step.y / scale));
                const Type type = step.kind == Kind::DOWN   ? Type::TOUCH_BEGAN
                                  : step.kind == Kind::MOVE ? Type::TOUCH_MOVED
                                                            : Type::TOUCH_ENDED;
                loop_.post(platform::InputEvent::touch(type, KTEAGLView::MOUSE_TOUCH_ID, x, y, view_->getWindowID()));
                break;
            }
            case Kind::SHOT:
                if (view_) view_->captureNextFrame(step.path);
                break;
            case Kind::NODES: pendingReports_.push_back(step.path); break;
            case Kind::SLEEP: std::this_thread::sleep_for(std::chrono::milliseconds(step.milliseconds)); break;
            case Kind::TYPE: {
                platform::InputEvent typed =
                    platform::InputEvent::of(Type::TEXT_INPUT, view_ ? view_->getWindowID() : 0);
                typed.text = step.text;
                loop_.post(typed);
                break;
            }
            case Kind::BACKGROUND: loop_.post(platform::InputEvent::of(Type::BACKGROUND)); break;
            case Kind::FOREGROUND: loop_.post(platform::InputEvent::of(Type::FOREGROUND)); break;
            case Kind::QUIT: loop_.post(platform::InputEvent::of(Type::CLOSE)); break;
        }
    }
}

void ScriptPlayer::writeReports() {
    if (pendingReports_.empty()) return;
    const std::string report = nodeReport(Director::getInstance()->getRunningScene());
    for (const std::string& path : pendingReports_) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << report;
        if (!out) log("ScriptPlayer: cannot write the node report %s", path.c_str());
    }
    pendingReports_.clear();
}

}  // namespace kite
