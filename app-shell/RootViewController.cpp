#include "app-shell/RootViewController.h"

#include "kite/platform/Application.h"
#include "kite/scene/Director.h"

void RootViewController::didRotateFromInterfaceOrientation(int) {
    if (!kite::Director::getInstance()->getOpenGLView()) return;
    if (kite::Application* application = kite::Application::getInstance()) application->applicationScreenSizeChanged();
}
