// The web pages the game server links to: the activity, the user agreement, help and the shared page,
// and the shared page's icon.
#pragma once
#include <optional>
#include <string>

namespace stargrid_server {

// The HTML of "activity", "agreement", "help" or "share"; empty for any other name.
std::optional<std::string> pageNamed(const std::string& name);

// The PNG bytes of the icon that goes with a shared page (the game's own icon).
std::string shareIcon();

}  // namespace stargrid_server
