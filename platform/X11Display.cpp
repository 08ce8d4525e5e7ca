// Xlib's error handlers and a display probe, looked up in libX11 at run time: a game that never opens
// an X display needs nothing of it.
#include "platform/X11Display.h"

#include <X11/Xlib.h>
#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/HostLoop.h"
#include "platform/PrintableText.h"

namespace platform {
namespace {

struct Xlib {
    decltype(&XOpenDisplay) openDisplay = nullptr;
    decltype(&XCloseDisplay) closeDisplay = nullptr;
    decltype(&XSetIOErrorHandler) setIOErrorHandler = nullptr;
    decltype(&XSetErrorHandler) setErrorHandler = nullptr;
    decltype(&XGetErrorText) getErrorText = nullptr;
    bool complete() const {
        return openDisplay && closeDisplay && setIOErrorHandler && setErrorHandler && getErrorText;
    }
};

// libX11, loaded when load is set and it is not there yet; null when it cannot be had.
const Xlib* xlib(bool load, std::string* why = nullptr) {
    static Xlib found;
    if (found.complete()) return &found;
    void* library = dlopen("libX11.so.6", RTLD_NOW | RTLD_GLOBAL | (load ? 0 : RTLD_NOLOAD));
    if (!library) {
        if (why) {
            const char* error = dlerror();
            *why = error ? error : "libX11 cannot be loaded";
        }
        return nullptr;
    }
    // Never closed: the handlers set here live in it.
    found.openDisplay = reinterpret_cast<decltype(&XOpenDisplay)>(dlsym(library, "XOpenDisplay"));
    found.closeDisplay = reinterpret_cast<decltype(&XCloseDisplay)>(dlsym(library, "XCloseDisplay"));
    found.setIOErrorHandler = reinterpret_cast<decltype(&XSetIOErrorHandler)>(dlsym(library, "XSetIOErrorHandler"));
    found.setErrorHandler = reinterpret_cast<decltype(&XSetErrorHandler)>(dlsym(library, "XSetErrorHandler"));
    found.getErrorText = reinterpret_cast<decltype(&XGetErrorText)>(dlsym(library, "XGetErrorText"));
    if (found.complete()) return &found;
    if (why) *why = "libX11 lacks the error handler functions";
    return nullptr;
}

pthread_t loopThread;
bool loopThreadKnown = false;
std::atomic<bool> displayLost{false};

// Called by Xlib, on the thread whose request found the connection broken, before it would exit.
int onDisplayLost(Display*) {
    // A second loss while the first is handled (the exit's own clean-up reaching the dead display): the
    // background step already ran.
    if (displayLost.exchange(true)) std::_Exit(1);
    // The step belongs to the loop's thread; on another one the game's state is not this thread's to touch.
    if (loopThreadKnown && pthread_equal(pthread_self(), loopThread)) HostLoop::main().enterBackground();
    std::fprintf(stderr, "%s: the display went away\n", program_invocation_short_name);
    std::fflush(stdout);
    // As Xlib would: the clean-up at exit still writes what the background step queued.
    std::exit(1);
}

void onBrokenPipe(int) {}

// A write can be the first to meet the broken connection (the server gone between xcb's poll and its
// send): at SIGPIPE's default the process would end right there, before Xlib reaches the handler above.
// A handler of its own, unlike SIG_IGN, is not passed on to the programs the game starts.
void keepBrokenPipesFromEndingTheProcess() {
    struct sigaction current {};
    if (sigaction(SIGPIPE, nullptr, &current) != 0) return;
    if ((current.sa_flags & SA_SIGINFO) || current.sa_handler != SIG_DFL) return;  // someone else's choice
    struct sigaction quiet {};
    quiet.sa_handler = onBrokenPipe;
    sigemptyset(&quiet.sa_mask);
    quiet.sa_flags = SA_RESTART;
    sigaction(SIGPIPE, &quiet, nullptr);
}

int trapDepth = 0;
std::string trappedError;
XErrorHandler untrappedHandler = nullptr;  // where errors went before the first trap

int onXError(Display* display, XErrorEvent* event) {
    if (trapDepth == 0) return untrappedHandler ? untrappedHandler(display, event) : 0;
    if (trappedError.empty()) {
        char text[256] = "";
        if (const Xlib* x = xlib(false)) x->getErrorText(display, event->error_code, text, sizeof text);
        trappedError = *text ? text : "error " + std::to_string(event->error_code);
    }
    return 0;
}

}  // namespace

std::string whyNoX11Display() {
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) return "DISPLAY is not set";
    std::string why;
    const Xlib* x = xlib(true, &why);
    if (!x) return why;
    Display* display = x->openDisplay(nullptr);
    if (!display) return "the X display \"" + printableText(name) + "\" cannot be opened";
    x->closeDisplay(display);
    return std::string();
}

void watchDisplayLoss() {
    const Xlib* x = xlib(false);
    if (!x) return;
    if (!loopThreadKnown) {
        loopThread = pthread_self();
        loopThreadKnown = true;
    }
    keepBrokenPipesFromEndingTheProcess();
    x->setIOErrorHandler(onDisplayLost);
}

X11ErrorTrap::X11ErrorTrap() {
    const Xlib* x = xlib(true);
    if (!x) return;
    armed_ = true;
    if (trapDepth++ > 0) return;
    trappedError.clear();
    XErrorHandler previous = x->setErrorHandler(onXError);
    if (previous != onXError) untrappedHandler = previous;
}

X11ErrorTrap::~X11ErrorTrap() {
    if (armed_) --trapDepth;
}

const std::string& X11ErrorTrap::firstError() const { return trappedError; }

}  // namespace platform
