// The WebKitGTK backend of the web window (absent when built without it).
#pragma once
#include <memory>

#include "platform/WebWindow.h"

namespace platform {

// Null when WebKitGTK is not built in or no display can be opened.
std::unique_ptr<WebWindow> createWebKitWindow();
// Runs pending GTK events; does nothing before the first window.
void pumpWebKitEvents();

}  // namespace platform
