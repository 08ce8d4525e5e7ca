// Start-up of the game: options, the window, the delegate, then the host loop until quit.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "app-shell/AppDelegate.h"
#include "kite/foundation/Log.h"
#include "kite/platform/HostView.h"
#include "kite/scene/Director.h"
#include "platform/DeviceProfile.h"
#include "platform/HostLoop.h"
#include "platform/Signals.h"

namespace {

struct Options {
    long frames = -1;  // run this many frames, then quit; -1: until closed
    bool fixedStep = false;
    platform::DeviceProfile device = *platform::deviceProfileNamed("iphone5");
};

void usage(std::FILE* out) {
    std::fprintf(out,
                 "usage: stargrid [--device iphone4|iphone5|ipad] [--frames N] [--fixed-step]\n"
                 "  --device      screen to play on (default: STARGRID_DEVICE, else iphone5)\n"
                 "  --frames N    draw N frames, then quit\n"
                 "  --fixed-step  advance exactly 1/60 s per frame, without waiting\n");
}

std::optional<Options> parse(int argc, char** argv) {
    Options options;
    if (const char* env = std::getenv("STARGRID_DEVICE"); env && *env) {
        auto device = platform::deviceProfileNamed(env);
        if (!device) {
            std::fprintf(stderr, "stargrid: unknown device in STARGRID_DEVICE: %s\n", env);
            return std::nullopt;
        }
        options.device = *device;
    }
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (arg == "--device") {
            const char* name = value();
            auto device = name ? platform::deviceProfileNamed(name) : std::nullopt;
            if (!device) {
                std::fprintf(stderr, "stargrid: --device needs iphone4, iphone5 or ipad\n");
                return std::nullopt;
            }
            options.device = *device;
        } else if (arg == "--frames") {
            const char* text = value();
            char* end = nullptr;
            errno = 0;
            long frames = text ? std::strtol(text, &end, 10) : -1;
            if (!text || *end != '\0' || errno != 0 || frames < 0) {
                std::fprintf(stderr, "stargrid: --frames needs a whole number of frames\n");
                return std::nullopt;
            }
            options.frames = frames;
        } else if (arg == "--fixed-step") {
            options.fixedStep = true;
        } else if (arg == "--help" || arg == "-h") {
            usage(stdout);
            std::exit(0);
        } else {
            std::fprintf(stderr, "stargrid: unknown option %s\n", arg.c_str());
            usage(stderr);
            return std::nullopt;
        }
    }
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    std::optional<Options> options = parse(argc, argv);
    if (!options) return 2;
    platform::setCurrentDeviceProfile(options->device);
    platform::installLifecycleSignalHandlers();

    AppDelegate app;
    platform::HostLoop& loop = platform::HostLoop::main();
    loop.setFixedStep(options->fixedStep);

    // The window and its view come first, with the delegate's context attributes.
    app.initGLContextAttributes();
    kite::HostView* view = kite::HostView::create("stargrid", options->device.width, options->device.height);
    if (!view) return 1;
    kite::Director::getInstance()->setFrameView(view);
    const bool headless = view->getContext()->isHeadless();

    platform::HostLoop::Handlers handlers;
    handlers.background = [&app] {
        kite::log("stargrid: entering the background");
        app.didEnterBackground();
    };
    handlers.foreground = [&app] {
        kite::log("stargrid: entering the foreground");
        app.willEnterForeground();
    };
    handlers.quit = [] {
        kite::Director* director = kite::Director::getInstance();
        director->end();
        director->mainLoop();  // shuts the director down now, drawing nothing more
    };
    const long frameLimit = options->frames;
    handlers.afterPass = [&loop, frameLimit] {
        if (frameLimit >= 0 && kite::Director::getInstance()->getTotalFrames() >= frameLimit) loop.quit();
    };
    loop.setHandlers(std::move(handlers));

    app.run();
    kite::log("stargrid: running on %s (%dx%d)%s", options->device.name, options->device.width,
              options->device.height, headless ? ", headless" : "");
    if (frameLimit == 0) loop.quit();
    int status = loop.run();
    kite::log("stargrid: quit");
    return status;
}
