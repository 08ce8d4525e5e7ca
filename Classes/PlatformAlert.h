// The platform's alert view, outside every screen: a title, a message and one button. The
// application shell installs what draws it; without one an alert is only its log line.
#pragma once
#include <functional>
#include <string>

namespace platformAlert {

using Presenter = std::function<void(const std::string& title, const std::string& message, const std::string& button)>;

// Null puts the log line back.
void setPresenter(Presenter presenter);
void show(const std::string& title, const std::string& message, const std::string& button);

}  // namespace platformAlert
