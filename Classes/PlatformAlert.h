// The platform's alert view, outside every screen: a title, a message and one button. The
// application shell installs what draws it; without one an alert is only its log line.
#pragma once
#include <functional>
#include <string>

namespace platformAlert {

// Runs once the alert is before the player.
using Shown = std::function<void()>;
using Presenter = std::function<void(const std::string& title, const std::string& message, const std::string& button)>;
// One that draws the alert later, and runs `shown` after the frame that first drew it; never, when it never is.
using DrawingPresenter = std::function<void(const std::string& title, const std::string& message,
                                            const std::string& button, Shown shown)>;

// Null puts the log line back. This presenter, as the log line, has shown the alert once it returns.
void setPresenter(Presenter presenter);
void setDrawingPresenter(DrawingPresenter presenter);
void show(const std::string& title, const std::string& message, const std::string& button, Shown shown = nullptr);

}  // namespace platformAlert
