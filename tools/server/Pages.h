// The web pages the game server links to: the activity, the user agreement, help and the shared page.
#pragma once
#include <optional>
#include <string>

namespace stargrid_server {

// The HTML of "activity", "agreement", "help" or "share"; empty for any other name.
std::optional<std::string> pageNamed(const std::string& name);

}  // namespace stargrid_server
