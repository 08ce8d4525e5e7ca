#include "Classes/PlatformAlert.h"

#include <utility>

#include "kite/foundation/Log.h"

namespace platformAlert {
namespace {

Presenter& presenter() {
    static Presenter installed;
    return installed;
}

}  // namespace

void setPresenter(Presenter replacement) { presenter() = std::move(replacement); }

void show(const std::string& title, const std::string& message, const std::string& button) {
    if (presenter()) {
        presenter()(title, message, button);
    } else {
        kite::log("AlertView: %s / %s [%s]", title.c_str(), message.c_str(), button.c_str());
    }
}

}  // namespace platformAlert
