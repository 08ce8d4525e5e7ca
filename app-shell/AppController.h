// The application's platform delegate: the bundle's version into the game-wide state, the
// network watched and reported, URLs of the game's own scheme received (from a launch or from
// a second launch), the messenger's callbacks turned into alerts, and background and
// foreground passed to the game's application.
#pragma once
#include <memory>
#include <string>

#include "app-shell/Reachability.h"
#include "sdk/pigeon/PGApi.h"

namespace kite {
class EventListenerCustom;
}

class AppController {
public:
    // The scheme of the game's own URLs (the messenger answers through it).
    static constexpr const char* kUrlScheme = "pg5e18c0a7d94b2f63";
    // Only a route to it is asked for: reachability resolves nothing.
    static constexpr const char* kProbeHost = "www.example.com";

    AppController() = default;
    ~AppController();
    AppController(const AppController&) = delete;
    AppController& operator=(const AppController&) = delete;

    // Before the application runs: version, the reachability observer and its first report;
    // registration with the messenger (which starts statistics).
    bool didFinishLaunching();
    // The game stops being the one the user works with (before it goes to the background), and is
    // again (after it came back, and once it has started): those who observe it hear of it.
    void applicationWillResignActive();
    void applicationDidBecomeActive();
    void applicationDidEnterBackground();
    void applicationWillEnterForeground();
    // The game is about to exit: those who observe the application's end hear of it.
    void applicationWillTerminate();

    // A URL of the game's scheme, checked strictly; true when it was taken.
    bool handleOpenURL(const std::string& url);

    void reachabilityChanged(Reachability* reachability);
    void reportReachabilityStatus(const Reachability& reachability);

    void onReq(const pigeon::BaseReq& request);
    void onResp(const pigeon::BaseResp& response);

    Reachability* hostReachability() const { return hostReach_.get(); }

private:
    // Hands the messenger SDK's callbacks to the controller.
    class MessengerDelegate : public pigeon::PGApiDelegate {
    public:
        explicit MessengerDelegate(AppController& controller) : controller_(controller) {}
        void onReq(const std::shared_ptr<pigeon::BaseReq>& request) override;
        void onResp(const std::shared_ptr<pigeon::BaseResp>& response) override;

    private:
        AppController& controller_;
    };

    // "CFBundleShortVersionString" and "CFBundleVersion" of the bundle's Info.plist.
    void storeBundleVersion();
    void registerWithMessenger();

    MessengerDelegate messengerDelegate_{*this};
    std::unique_ptr<Reachability> hostReach_;
    kite::EventListenerCustom* reachabilityListener_ = nullptr;  // retained
};
