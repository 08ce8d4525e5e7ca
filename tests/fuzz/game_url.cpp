// URLs of the game's own scheme, as a second launch, a desktop link or the messenger hands them
// over: the handover's check, then the messenger SDK's reading of answers (sign-in, payment, card
// lists, exchanges left on the pasteboard).
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "platform/UrlHandover.h"
#include "sdk/pigeon/PGApi.h"

namespace {

class Listener : public pigeon::PGApiDelegate {};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool registered = [] {
        fuzz::PrivateUserFolders::once();
        pigeon::PGApi::registerApp("pg5e18c0a7d94b2f63");
        return true;
    }();
    (void)registered;
    const std::string url = fuzz::text(data, size);
    platform::UrlHandover::checkUrl(url);
    Listener listener;
    pigeon::PGApi::handleOpenURL(url, &listener);
    return 0;
}
