// The platform's alert view here: one log line, and a modal alert drawn over the running scene
// (over the first scene to run, when none runs yet). It is not the game's current popup, so a
// screen closing its wait box never closes it. At most one alert of a title shows at a time:
// the newest of those raised meanwhile waits until it closes; one raised while none of its
// title showed (as at start, before a scene runs) is never replaced. `drawn` runs once the first
// frame that drew the alert is on the screen (in the next frame, or as the alert leaves the screen
// before it); an alert given one is never replaced.
#pragma once
#include <functional>
#include <string>

void showAlertView(const std::string& title, const std::string& message, const std::string& button,
                   std::function<void()> drawn = nullptr);
