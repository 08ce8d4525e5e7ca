// Opening URLs through GIO's scheme handlers.
#include "platform/UrlOpener.h"

#include <gio/gio.h>

#include <cstdio>
#include <memory>

#include "platform/PrintableText.h"

namespace platform {
namespace {

struct GFreeDeleter {
    void operator()(char* text) const { g_free(text); }
};
struct GObjectDeleter {
    void operator()(GAppInfo* info) const { g_object_unref(info); }
};
struct GErrorDeleter {
    void operator()(GError* error) const { g_error_free(error); }
};

std::unique_ptr<GAppInfo, GObjectDeleter> handlerFor(const std::string& url) {
    std::unique_ptr<char, GFreeDeleter> scheme(g_uri_parse_scheme(url.c_str()));
    if (!scheme) return nullptr;
    return std::unique_ptr<GAppInfo, GObjectDeleter>(g_app_info_get_default_for_uri_scheme(scheme.get()));
}

}  // namespace

bool canOpenUrl(const std::string& url) { return handlerFor(url) != nullptr; }

bool openUrl(const std::string& url) {
    if (!handlerFor(url)) {
        std::fprintf(stderr, "UrlOpener: no program handles \"%s\"\n", printableText(url, 200).c_str());
        return false;
    }
    GError* rawError = nullptr;
    const bool launched = g_app_info_launch_default_for_uri(url.c_str(), nullptr, &rawError);
    std::unique_ptr<GError, GErrorDeleter> error(rawError);
    if (!launched) {
        std::fprintf(stderr, "UrlOpener: cannot open \"%s\": %s\n", printableText(url, 200).c_str(),
                     error ? printableText(error->message).c_str() : "unknown failure");
    }
    return launched;
}

}  // namespace platform
