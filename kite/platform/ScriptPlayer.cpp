#include "kite/platform/ScriptPlayer.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "kite/foundation/Log.h"
#include "kite/platform/KTEAGLView.h"
#include "kite/scene/Director.h"
#include "kite/scene/NodeReport.h"
#include "kite/scene/Scene.h"
#include "platform/AtomicFile.h"
#include "platform/HostLoop.h"
#include "platform/PrintableText.h"

namespace kite {

namespace {

std::string describe(const char* kind, long frame, const std::string& path, const std::string& why) {
    return std::string(kind) + " " + std::to_string(frame) + " " + platform::printableText(path) + " (" + why + ")";
}

std::string endedBefore(long frame) { return "the run ended before frame " + std::to_string(frame); }
// A shot armed at a frame is taken of the next frame drawn; in the background none may come.
std::string noneDrawnFrom(long frame) { return "no frame was drawn from frame " + std::to_string(frame) + " on"; }

}  // namespace

ScriptPlayer::ScriptPlayer(platform::InputScript script, platform::HostLoop& loop)
    : script_(std::move(script)), loop_(loop) {}

void ScriptPlayer::setHostView(KTEAGLView* view) {
    if (view_ && view_->getPresentedFrames() > presented_) settleShots();
    // A view that goes takes no more shots.
    for (const Output& shot : armedShots_)
        unwritten_.push_back(describe("shot", shot.frame, shot.path, noneDrawnFrom(shot.frame)));
    armedShots_.clear();
    view_ = view;
    if (view_) {
        presented_ = view_->getPresentedFrames();
        view_->takeFailedCaptures();  // taken before the script had a say
    }
}

// Once the view presented a frame it has taken the shots armed for it: those it could not write
// are among its failed captures.
void ScriptPlayer::settleShots() {
    std::vector<std::string> failed = view_->takeFailedCaptures();
    for (const Output& shot : armedShots_) {
        auto found = std::find(failed.begin(), failed.end(), shot.path);
        if (found == failed.end()) continue;
        failed.erase(found);
        unwritten_.push_back(describe("shot", shot.frame, shot.path, "the file could not be written"));
    }
    armedShots_.clear();
}

std::vector<std::string> ScriptPlayer::unwritten() const {
    std::vector<std::string> lines = unwritten_;
    for (const Output& shot : armedShots_)
        lines.push_back(describe("shot", shot.frame, shot.path, noneDrawnFrom(shot.frame)));
    for (const Output& report : pendingReports_)
        lines.push_back(describe("nodes", report.frame, report.path, endedBefore(report.frame)));
    using Kind = platform::ScriptStep::Kind;
    for (const platform::ScriptStep& step : script_.steps()) {
        if (step.frame <= played_ || (step.kind != Kind::SHOT && step.kind != Kind::NODES)) continue;
        lines.push_back(describe(step.kind == Kind::SHOT ? "shot" : "nodes", step.frame, step.path,
                                 endedBefore(step.frame)));
    }
    return lines;
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
    if (presented > presented_) settleShots();
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
    played_ = frame;
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
                if (view_) {
                    view_->captureNextFrame(step.path);
                    armedShots_.push_back({frame, step.path});
                } else {
                    unwritten_.push_back(describe("shot", frame, step.path, "there is no window to take it from"));
                }
                break;
            case Kind::NODES: pendingReports_.push_back({frame, step.path}); break;
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
    for (const Output& pending : pendingReports_) {
        std::string why;
        if (platform::writeFileInPlace(pending.path, report.data(), report.size(), &why)) continue;
        log("ScriptPlayer: cannot write the node report %s: %s", platform::printableText(pending.path).c_str(),
            why.c_str());
        unwritten_.push_back(describe("nodes", pending.frame, pending.path, "the file could not be written"));
    }
    pendingReports_.clear();
}

}  // namespace kite
