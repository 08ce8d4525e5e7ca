#include "Classes/PlatformAlert.h"

#include <utility>

#include "kite/foundation/Log.h"

namespace platformAlert {
namespace {

DrawingPresenter& presenter() {
    static DrawingPresenter installed;
    return installed;
}

}  // namespace

void setPresenter(Presenter replacement) {
    if (!replacement) return setDrawingPresenter(nullptr);
    setDrawingPresenter([replacement = std::move(replacement)](const std::string& title, const std::string& message,
                                                               const std::string& button, Shown shown) {
        replacement(title, message, button);
        if (shown) shown();
    });
}

void setDrawingPresenter(DrawingPresenter replacement) { presenter() = std::move(replacement); }

void show(const std::string& title, const std::string& message, const std::string& button, Shown shown) {
    if (presenter()) {
        presenter()(title, message, button, std::move(shown));
        return;
    }
    kite::log("AlertView: %s / %s [%s]", title.c_str(), message.c_str(), button.c_str());
    if (shown) shown();
}

}  // namespace platformAlert
