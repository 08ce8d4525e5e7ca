// The application object: the game's delegate derives from it; launching, lifecycle and frame-clock access.
#pragma once
#include <string>

namespace kite {

enum class LanguageType {
    ENGLISH = 0,
    CHINESE,
    FRENCH,
    ITALIAN,
    GERMAN,
    SPANISH,
    DUTCH,
    RUSSIAN,
    KOREAN,
    JAPANESE,
    HUNGARIAN,
    PORTUGUESE,
    ARABIC,
    NORWEGIAN,
    POLISH,
    TURKISH,
    UKRAINIAN,
};

class ApplicationProtocol {
public:
    enum class Platform { OS_IPHONE = 4, OS_IPAD = 5 };

    // Destroys the script-engine manager, then the autorelease pools.
    virtual ~ApplicationProtocol();

    virtual bool didFinishLaunching() = 0;
    virtual void didEnterBackground() = 0;
    virtual void willEnterForeground() = 0;
    virtual void setAnimationInterval(double seconds) = 0;
    virtual void initGLContextAttributes() {}
    virtual LanguageType getCurrentLanguage() = 0;
    virtual const char* getCurrentLanguageCode() = 0;
    virtual Platform getTargetPlatform() = 0;
    virtual bool openURL(const std::string& url) = 0;
    // The screen's new size in pixels, after a rotation or a change of the window's size.
    virtual void applicationScreenSizeChanged(int newWidth, int newHeight) = 0;
};

class Application : public ApplicationProtocol {
public:
    Application();
    ~Application() override;
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // The one application object, or null.
    static Application* getInstance();

    // Calls didFinishLaunching; when it succeeds, starts the display link. Returns 0
    // at once either way: the host loop then drives the frames.
    int run();

    // Rebuilds the display link for the new frame interval.
    void setAnimationInterval(double seconds) override;
    // From the user's locale settings (LANGUAGE, LC_ALL, LC_MESSAGES, LANG).
    LanguageType getCurrentLanguage() override;
    // At most two letters ("zh", "en"); the buffer is overwritten by the next call.
    const char* getCurrentLanguageCode() override;
    // iPad for the ipad device profile, iPhone otherwise.
    Platform getTargetPlatform() override;
    // Launches the program registered for the URL's scheme; false (with a log line) when there is none.
    bool openURL(const std::string& url) override;
    void applicationScreenSizeChanged(int, int) override {}

    // The language code of a locale identifier such as "pt_BR.UTF-8" or "zh-Hans": "pt", "zh".
    static std::string languageCodeOf(const std::string& identifier);
    static LanguageType languageOfCode(const std::string& code);
};

}  // namespace kite
