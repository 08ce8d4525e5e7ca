#include "kite/platform/Application.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "kite/foundation/AutoreleasePool.h"
#include "kite/foundation/Ref.h"
#include "kite/platform/KTDirectorCaller.h"
#include "platform/DeviceProfile.h"
#include "platform/UrlOpener.h"

namespace kite {

namespace {
Application* sharedApplication = nullptr;
char languageCode[3];
}  // namespace

ApplicationProtocol::~ApplicationProtocol() {
    ScriptEngineManager::destroyInstance();
    PoolManager::destroyInstance();
}

Application::Application() { sharedApplication = this; }

Application::~Application() {
    KTDirectorCaller::destroy();
    if (sharedApplication == this) sharedApplication = nullptr;
}

Application* Application::getInstance() { return sharedApplication; }

int Application::run() {
    if (!didFinishLaunching()) return 0;
    KTDirectorCaller::sharedDirectorCaller()->startMainLoop();
    return 0;
}

void Application::setAnimationInterval(double seconds) {
    KTDirectorCaller::sharedDirectorCaller()->setAnimationInterval(seconds);
}

std::string Application::languageCodeOf(const std::string& identifier) {
    std::string code;
    for (char c : identifier) {
        if (c == '_' || c == '-' || c == '.' || c == '@' || c == ':') break;
        code += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    // The C and POSIX locales say nothing about a language: English.
    if (code.empty() || code == "c" || code == "posix") return "en";
    return code;
}

LanguageType Application::languageOfCode(const std::string& code) {
    static const struct {
        const char* code;
        LanguageType language;
    } table[] = {
        {"zh", LanguageType::CHINESE},  {"en", LanguageType::ENGLISH},   {"fr", LanguageType::FRENCH},
        {"it", LanguageType::ITALIAN},  {"de", LanguageType::GERMAN},    {"es", LanguageType::SPANISH},
        {"nl", LanguageType::DUTCH},    {"ru", LanguageType::RUSSIAN},   {"ko", LanguageType::KOREAN},
        {"ja", LanguageType::JAPANESE}, {"hu", LanguageType::HUNGARIAN}, {"pt", LanguageType::PORTUGUESE},
        {"ar", LanguageType::ARABIC},   {"nb", LanguageType::NORWEGIAN}, {"pl", LanguageType::POLISH},
        {"tr", LanguageType::TURKISH},  {"uk", LanguageType::UKRAINIAN},
    };
    for (const auto& entry : table) {
        if (code == entry.code) return entry.language;
    }
    return LanguageType::ENGLISH;
}

namespace {
// The user's first preferred language, as the locale settings give it.
std::string preferredLanguage() {
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) return Application::languageCodeOf(value);
    }
    return "en";
}
}  // namespace

LanguageType Application::getCurrentLanguage() { return languageOfCode(preferredLanguage()); }

const char* Application::getCurrentLanguageCode() {
    std::string code = preferredLanguage();
    std::size_t length = code.size() < 2 ? code.size() : 2;
    std::memcpy(languageCode, code.data(), length);
    languageCode[length] = '\0';
    return languageCode;
}

ApplicationProtocol::Platform Application::getTargetPlatform() {
    return platform::currentDeviceProfile().pad ? Platform::OS_IPAD : Platform::OS_IPHONE;
}

bool Application::openURL(const std::string& url) { return platform::openUrl(url); }

}  // namespace kite
