// The game's application: design resolution, first-run defaults and the menu as the first
// scene; background (stop, flush, cut the HTTP client off) and foreground (start, log in again).
#pragma once
#include "kite/platform/Application.h"

namespace kite::network {
class HttpClient;
class HttpResponse;
}  // namespace kite::network

class AppDelegate : public kite::Application {
public:
    bool didFinishLaunching() override;
    void didEnterBackground() override;
    void willEnterForeground() override;
    void initGLContextAttributes() override;

    // The reply to the login sent on coming back to the foreground.
    void onHttpRequestCompleted(kite::network::HttpClient* client, kite::network::HttpResponse* response);

    // The design height for a device frame: tall iPhones get 852, the rest 720.
    static float designHeightFor(int frameHeight, bool pad);

private:
    // On the very first launch: the switches on, the tutorial unseen, 20 diamonds.
    static void writeFirstRunDefaults();
};
