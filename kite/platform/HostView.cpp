#include "kite/platform/HostView.h"

#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"
#include "kite/platform/KTDirectorCaller.h"

namespace kite {

HostView* HostView::create(const std::string& title, int frameWidth, int frameHeight) {
    return createAutoreleased<HostView>(title, frameWidth, frameHeight);
}

bool HostView::init(const std::string& title, int frameWidth, int frameHeight) {
    platform::WindowOptions options;
    options.title = title;
    options.width = frameWidth;
    options.height = frameHeight;
    options.fitToDisplay = true;
    options.attributes = getContextAttributes();
    context_ = platform::GLContext::create(options);
    if (!context_) {
        kite::log("HostView: no window with an OpenGL ES 2.0 context");
        return false;
    }
    frameWidth_ = frameWidth;
    frameHeight_ = frameHeight;
    return true;
}

void HostView::makeCurrent() {
    if (context_) context_->makeCurrent();
}

void HostView::swapBuffers() {
    if (context_) context_->swapBuffers();
}

void HostView::end() {
    KTDirectorCaller::destroy();
    context_.reset();  // the window closes now, not when the last reference goes
    release();
}

}  // namespace kite
