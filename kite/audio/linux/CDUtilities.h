// Where a sound file named by the game is found.
#pragma once
#include <string>

namespace kite {
namespace audio {

class CDUtilities {
public:
    // An absolute path as it is; otherwise the file among the resources, or the
    // path as given when it is not found there. Empty for an empty path.
    static std::string fullPathFromRelativePath(const std::string& relativePath);
};

}  // namespace audio
}  // namespace kite
