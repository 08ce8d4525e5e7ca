// The WebKitGTK backend of the web window, built as a module of its own: it is loaded with the
// first web window, so a program that shows no page never loads WebKit and GTK.
#pragma once
#include "platform/WebWindow.h"

extern "C" {
// A new window, owned by the caller; null when no display can be opened.
platform::WebWindow* stargridWebKitCreateWindow();
// Runs pending GTK events; does nothing before the first window.
void stargridWebKitPumpEvents();
}
