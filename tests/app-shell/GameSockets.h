// Where a game on a player's folders takes the URLs second launches hand over: one socket in the
// runtime folder for each folder it claimed, named after the folder's identity.
#pragma once
#include <string>
#include <vector>

#include "platform/FolderClaim.h"

namespace stargrid::test {

// The handover names of the claimed folders' identities, as the game gives them.
inline std::vector<std::string> handoverNames(const std::vector<std::string>& identities) {
    std::vector<std::string> names;
    for (const std::string& identity : identities) names.push_back("stargrid-" + identity);
    return names;
}

// The socket of the game that claimed the folder, in the runtime folder.
inline std::string handoverSocket(const std::string& runtime, const std::string& folder) {
    return runtime + "/stargrid-" + platform::FolderClaim::identityOf(folder) + ".sock";
}

}  // namespace stargrid::test
