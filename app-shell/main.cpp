// Start-up of the game: options, the window, the delegate, then the host loop until quit.
#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "Classes/MenuScene.h"
#include "app-shell/AppController.h"
#include "app-shell/AppDelegate.h"
#include "app-shell/FolderLaunch.h"
#include "app-shell/RootViewController.h"
#include "kite/audio/linux/SimpleAudioEngine.h"
#include "kite/foundation/Console.h"
#include "kite/foundation/Log.h"
#include "kite/platform/GLViewImpl.h"
#include "kite/platform/KTEAGLView.h"
#include "kite/platform/ScriptPlayer.h"
#include "kite/scene/Director.h"
#include "platform/AsciiText.h"
#include "platform/AudioSession.h"
#include "platform/DeviceProfile.h"
#include "platform/FolderClaim.h"
#include "platform/HostLoop.h"
#include "platform/InputScript.h"
#include "platform/PrintableText.h"
#include "platform/ShaderCache.h"
#include "platform/Signals.h"
#include "platform/TextRenderer.h"
#include "platform/ThreadLimits.h"
#include "platform/UrlHandover.h"
#include "platform/UserFolders.h"

namespace {

struct Options {
    long frames = -1;  // run this many frames, then quit; -1: until closed
    bool fixedStep = false;
    bool stats = false;  // the director's statistics display
    platform::DeviceProfile device = *platform::deviceProfileNamed("iphone5");
    platform::InputScript script;  // --script and --shot steps
    std::string url;               // a URL of the game's own scheme to open
    bool checkOnly = false;        // --check-options: the options are checked, and nothing is run
    bool help = false;             // -h, --help: the usage, and nothing is run
};

// Once the menu is on screen, the free pages start-up left in the heap go back to the system.
constexpr unsigned kHeapTrimFrame = 2;
// The most frames --frames takes: the director counts them in an unsigned int, which never passes this.
constexpr long kMostFrames = std::numeric_limits<unsigned int>::max();
// The family of the game's system-font text.
constexpr const char* kSystemFont = "Helvetica Neue";

// A thread for start-up work that the main thread would otherwise do while nothing else runs; joined
// when the launch ends, however it ends.
class StartupWork {
public:
    // Without a thread for it, the work is done here and now.
    template <class Work>
    explicit StartupWork(Work work) {
        try {
            thread_ = std::thread(work);
        } catch (const std::system_error& error) {
            kite::log("stargrid: cannot start a thread for start-up work (%s); it is done in turn", error.what());
            work();
        }
    }
    ~StartupWork() {
        if (thread_.joinable()) thread_.join();
    }
    StartupWork(const StartupWork&) = delete;
    StartupWork& operator=(const StartupWork&) = delete;

private:
    std::thread thread_;
};

void usage(std::FILE* out) {
    std::fprintf(out,
                 "usage: stargrid [--device iphone4|iphone5|ipad] [--frames N] [--fixed-step]\n"
                 "                [--script FILE] [--shot FRAME:PATH]... [--stats] [--check-options]\n"
                 "                [URL]\n"
                 "  --device      screen to play on (default: STARGRID_DEVICE, else iphone5)\n"
                 "  --frames N    draw N frames, then quit\n"
                 "  --fixed-step  advance exactly 1/60 s per frame, without waiting\n"
                 "  --script FILE play scripted taps, drags, background/foreground and shots\n"
                 "  --shot FRAME:PATH  save the frame drawn at FRAME as a PNG\n"
                 "  --stats       show frame rate, draw calls and vertices in the lower-left corner\n"
                 "  --check-options  check the other options as a run would take them, and run\n"
                 "                nothing: exit 0 when they are taken, 2 (saying why) when not\n"
                 "  -h, --help    show this text\n"
                 "  URL           a URL of the game's scheme (%s://...): handed to the running\n"
                 "                game if there is one\n"
                 "While the game runs, a second launch hands its URL over, or brings the game's\n"
                 "window forward; --frames, --script and --shot need a game of their own.\n"
                 "A run whose shots or node reports could not all be written exits with status 1.\n",
                 AppController::kUrlScheme);
}

// The steps of --script FILE (null when the value is missing) join the script.
bool addScript(const char* path, platform::InputScript& script) {
    if (!path) {
        std::fprintf(stderr, "stargrid: --script needs a value\n");
        return false;
    }
    if (!*path) {
        std::fprintf(stderr, "stargrid: --script needs a file name, not \"\"\n");
        return false;
    }
    std::string error;
    std::optional<platform::InputScript> loaded = platform::InputScript::load(path, &error);
    if (!loaded) {
        std::fprintf(stderr, "stargrid: --script: %s\n", platform::printableText(error).c_str());
        return false;
    }
    script.add(*loaded);
    return true;
}

// The step of --shot FRAME:PATH (null when the value is missing) joins the script.
bool addShot(const char* text, platform::InputScript& script) {
    std::string error = "--shot needs a value";
    std::optional<platform::ScriptStep> shot = text ? platform::InputScript::parseShot(text, &error) : std::nullopt;
    if (!shot) {
        std::fprintf(stderr, "stargrid: %s\n", error.c_str());
        return false;
    }
    script.add(*shot);
    return true;
}

// An argument as a refusal quotes it: its first 64 bytes, control characters escaped.
std::string quotedArgument(const std::string& arg) { return platform::printableText(arg, 64); }

// Only URLs of the game's own scheme are opened by the running game: any other is refused here, before
// it could be handed over and dropped there.
bool takeUrl(const std::string& arg, std::string& url) {
    if (arg.empty()) {
        std::fprintf(stderr, "stargrid: an empty argument is not a URL\n");
        return false;
    }
    std::string wrong;
    if (!platform::UrlHandover::checkUrl(arg, &wrong)) {
        std::fprintf(stderr, "stargrid: not a URL (%s): %s\n", wrong.c_str(), quotedArgument(arg).c_str());
        return false;
    }
    const std::string prefix = std::string(AppController::kUrlScheme) + "://";
    if (arg.compare(0, prefix.size(), prefix) != 0) {
        std::fprintf(stderr, "stargrid: the game opens only URLs of its own scheme %s, not %s\n", prefix.c_str(),
                     quotedArgument(arg).c_str());
        return false;
    }
    url = arg;
    return true;
}

std::optional<Options> parse(int argc, char** argv) {
    Options options;
    if (const char* env = std::getenv("STARGRID_DEVICE"); env && *env) {
        auto device = platform::deviceProfileNamed(env);
        if (!device) {
            std::fprintf(stderr, "stargrid: unknown device in STARGRID_DEVICE: %s (valid: %s)\n",
                         platform::printableText(env).c_str(), platform::deviceProfileNames().c_str());
            return std::nullopt;
        }
        options.device = *device;
    }
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
        if (arg == "--help" || arg == "-h") {
            // What follows is not looked at, as a run shows the usage and ends; a check asked for there
            // still runs nothing.
            options.help = true;
            for (int rest = i + 1; rest < argc; ++rest)
                options.checkOnly = options.checkOnly || std::string(argv[rest]) == "--check-options";
            return options;
        } else if (arg == "--check-options") {
            options.checkOnly = true;
        } else if (arg == "--device") {
            const char* name = value();
            auto device = name ? platform::deviceProfileNamed(name) : std::nullopt;
            if (!device) {
                std::fprintf(stderr, "stargrid: --device needs iphone4, iphone5 or ipad\n");
                return std::nullopt;
            }
            options.device = *device;
        } else if (arg == "--frames") {
            // Digits only: strtol would take " 3" or "+3".
            const char* text = value();
            const std::optional<long> frames = text ? platform::wholeNumber(text, kMostFrames) : std::nullopt;
            if (!frames) {
                const std::string_view digits = text ? text : "";
                const bool past = !digits.empty() && std::all_of(digits.begin(), digits.end(), platform::isAsciiDigit);
                if (past)
                    std::fprintf(stderr, "stargrid: --frames needs a whole number of frames, at most %ld\n", kMostFrames);
                else
                    std::fprintf(stderr, "stargrid: --frames needs a whole number of frames\n");
                return std::nullopt;
            }
            options.frames = *frames;
        } else if (arg == "--fixed-step") {
            options.fixedStep = true;
        } else if (arg == "--stats") {
            options.stats = true;
        } else if (arg == "--script") {
            if (!addScript(value(), options.script)) return std::nullopt;
        } else if (arg == "--shot") {
            if (!addShot(value(), options.script)) return std::nullopt;
        } else if (arg[0] == '-') {
            std::fprintf(stderr, "stargrid: unknown option %s (stargrid --help lists the options)\n",
                         platform::printableText(arg).c_str());
            return std::nullopt;
        } else if (!options.url.empty()) {
            std::fprintf(stderr, "stargrid: one URL at most: %s\n", quotedArgument(arg).c_str());
            return std::nullopt;
        } else if (!takeUrl(arg, options.url)) {
            return std::nullopt;
        }
    }
    return options;
}

// What the game inherits stays its own (scripts/play's session pipe, whose end tells its server the session
// is over): no program it starts holds it on, WebKit's processes included, which are started with every
// descriptor that is not close-on-exec. Where the kernel cannot mark them all at once, each one is.
void keepInheritedDescriptorsFromChildren() {
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
    DIR* descriptors = ::opendir("/proc/self/fd");
    if (!descriptors) return;
    while (const dirent* entry = ::readdir(descriptors)) {
        const std::optional<long> fd = platform::wholeNumber(entry->d_name, std::numeric_limits<int>::max());
        if (fd && *fd > 2) ::fcntl(static_cast<int>(*fd), F_SETFD, FD_CLOEXEC);
    }
    ::closedir(descriptors);
}

// The debug console listens on 127.0.0.1 only when STARGRID_CONSOLE_PORT names a port.
void startConsole() {
    const char* text = std::getenv("STARGRID_CONSOLE_PORT");
    if (!text || !*text) return;
    char* end = nullptr;
    errno = 0;
    const long port = std::strtol(text, &end, 10);
    if (*end != '\0' || errno != 0 || port < 1 || port > 65535) {
        kite::log("stargrid: STARGRID_CONSOLE_PORT is not a port: %s", platform::printableText(text).c_str());
        return;
    }
    if (kite::Console* console = kite::Director::getInstance()->getConsole())
        console->listenOnTCP(static_cast<int>(port));
}

}  // namespace

int main(int argc, char** argv) {
    platform::keepFileSizeLimitFromEndingTheProcess();
    keepInheritedDescriptorsFromChildren();
    std::optional<Options> options = parse(argc, argv);
    if (!options) return 2;
    // scripts/play asks whether the options are taken before it registers or starts anything for them. Only
    // an option asks: a variable could be left in the environment, and end every run there unrun.
    if (options->checkOnly) return 0;
    if (options->help) {
        usage(stdout);
        return 0;
    }
    const bool ofPlay = secondLaunchOfPlay();
    std::unique_ptr<platform::FolderClaim> claim;
    const LaunchRequest request{options->frames >= 0 || !options->script.empty(), options->url};
    if (std::optional<int> status = claimFolders(request, claim)) return *status;
    if (ofPlay) return kLaunchAsFirst;
    platform::setCurrentDeviceProfile(options->device);
    platform::watchLifecycleSignals();
    // Before any other thread starts and the GL driver loads (which reads its settings from the
    // environment): its threads and shader cache fit what the system allows.
    platform::fitThreadsToLimits();
    platform::prepareShaderCache();
    // Until the loop runs, a quit request that start-up does not bring there ends the process.
    platform::watchStartup();
    // The game answers launches from the moment it holds the player's folders: until its loop runs, that it is
    // starting, however long its window and services take; what they hand over meanwhile waits for the loop.
    platform::startupStep("listening for handed-over URLs");
    std::string handoverError;
    std::unique_ptr<platform::UrlHandover> handover =
        platform::UrlHandover::listenWhileStarting(handoverNames(claim->identities()), &handoverError);
    if (!handoverError.empty())
        kite::log("UrlHandover: %s; URLs handed over there do not reach this game",
                  platform::printableText(handoverError).c_str());
    // While the window is made: the menu's pictures are decoded on the texture cache's loading thread
    // and the fonts of system-font text looked up and opened.
    MenuScene::preloadPictures();
    StartupWork fonts([] { platform::TextRenderer::instance().prepare(kSystemFont); });

    AppDelegate app;
    AppController controller;
    platform::HostLoop& loop = platform::HostLoop::main();
    loop.setFixedStep(options->fixedStep);

    // The window and its view come first, with the delegate's context attributes;
    // the host view gets one touch at a time.
    platform::startupStep("opening the window");
    app.initGLContextAttributes();
    kite::GLViewImpl::convertContextAttributes();
    const kite::Rect frame(0.0f, 0.0f, static_cast<float>(options->device.width),
                           static_cast<float>(options->device.height));
    std::unique_ptr<kite::KTEAGLView> host =
        kite::KTEAGLView::viewWithFrame(frame, kite::GLViewImpl::getPixelFormat(), kite::GLViewImpl::getDepthFormat());
    if (!host) return 1;  // "OpenGL ES 2.O is required." is logged
    host->setMultipleTouchEnabled(false);
    kite::KTEAGLView* hostView = host.get();
    const bool headless = hostView->getContext()->isHeadless();
    kite::GLViewImpl* view = kite::GLViewImpl::createWithEAGLView(std::move(host));
    if (!view) return 1;
    kite::Director::getInstance()->setGLView(view);
    startConsole();

    kite::ScriptPlayer player(options->script, loop);
    player.setHostView(hostView);

    platform::HostLoop::Handlers handlers;
    handlers.background = [&controller] {
        kite::log("stargrid: entering the background");
        controller.applicationWillResignActive();
        controller.applicationDidEnterBackground();
        platform::AudioSession::shared().beginInterruption();
    };
    handlers.foreground = [&controller] {
        kite::log("stargrid: entering the foreground");
        platform::AudioSession::shared().endInterruption();
        controller.applicationWillEnterForeground();
        controller.applicationDidBecomeActive();
    };
    handlers.quit = [&hostView, &player, &controller] {
        controller.applicationWillTerminate();
        // The shutdown closes the window with its host view.
        hostView = nullptr;
        player.setHostView(nullptr);
        kite::Director* director = kite::Director::getInstance();
        director->end();
        director->mainLoop();  // shuts the director down now, drawing nothing more
        // The game's sounds close their audio device before OpenAL's own exit clean-up runs.
        kite::audio::SimpleAudioEngine::end();
    };
    handlers.input = [&hostView](const platform::InputEvent& event) {
        if (hostView) RootViewController::handleWindowEvent(*hostView, event);
    };
    const long frameLimit = options->frames;
    const bool scripted = !options->script.empty();
    handlers.afterPass = [&loop, &player, frameLimit, scripted, trimmed = false]() mutable {
        if (scripted) player.afterPass();
        const unsigned frames = kite::Director::getInstance()->getTotalFrames();
        if (!trimmed && frames >= kHeapTrimFrame) {
            malloc_trim(0);
            trimmed = true;
        }
        if (frameLimit >= 0 && frames >= frameLimit) loop.quit();
    };
    loop.setHandlers(std::move(handlers));

    platform::startupStep("starting the game's services");
    controller.didFinishLaunching();
    platform::startupStep("launching the game");
    app.run();
    controller.applicationDidBecomeActive();
    platform::startupStep("opening the URL");
    if (!options->url.empty()) controller.handleOpenURL(options->url);
    // After the delegate's launch, which switches the display off.
    if (options->stats) kite::Director::getInstance()->setDisplayStats(true);
    kite::log("stargrid: running on %s (%dx%d)%s", options->device.name, options->device.width, options->device.height,
              headless ? ", headless" : "");
    if (scripted) player.start();
    if (frameLimit == 0) loop.quit();
    // The loop answers launches from its first pass on, the window there to show.
    if (handover) {
        platform::UrlHandover::Handlers handoverHandlers;
        handoverHandlers.scheme = AppController::kUrlScheme;
        handoverHandlers.open = [&controller](const std::string& url) { controller.handleOpenURL(url); };
        handoverHandlers.show = [&hostView] {
            if (hostView) hostView->getContext()->bringForward();
        };
        handover->serve(std::move(handoverHandlers));
    }
    platform::startupReachedLoop();
    int status = loop.run();
    // A shot or node report the script asked for that is not there fails the run.
    const std::vector<std::string> unwritten = player.unwritten();
    for (const std::string& output : unwritten) kite::log("stargrid: not written: %s", output.c_str());
    kite::log("stargrid: quit");
    return unwritten.empty() || status != 0 ? status : 1;
}
