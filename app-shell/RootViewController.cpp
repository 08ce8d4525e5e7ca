#include "app-shell/RootViewController.h"

#include "kite/platform/Application.h"
#include "kite/platform/KTEAGLView.h"
#include "kite/scene/Director.h"
#include "kite/scene/GLView.h"
#include "platform/InputEvent.h"

namespace {

// The application hears the host view's width and height, when the director has a GL view with one.
void tellScreenSize() {
    kite::GLView* glView = kite::Director::getInstance()->getOpenGLView();
    if (!glView) return;
    const auto* view = static_cast<const kite::KTEAGLView*>(glView->getEAGLView());
    kite::Application* application = kite::Application::getInstance();
    if (view && application) application->applicationScreenSizeChanged(view->getWidth(), view->getHeight());
}

}  // namespace

void RootViewController::didRotateFromInterfaceOrientation(int) { tellScreenSize(); }

bool RootViewController::handleWindowEvent(kite::KTEAGLView& view, const platform::InputEvent& event) {
    if (!view.handleInput(event)) return false;
    // The host view has laid the picture out for the new size already.
    if (event.type == platform::InputEvent::Type::WINDOW_RESIZED) tellScreenSize();
    return true;
}
