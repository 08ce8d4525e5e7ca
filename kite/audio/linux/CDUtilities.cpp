#include "kite/audio/linux/CDUtilities.h"

#include "kite/foundation/FileUtils.h"

namespace kite {
namespace audio {

std::string CDUtilities::fullPathFromRelativePath(const std::string& relativePath) {
    if (relativePath.empty() || relativePath[0] == '/') return relativePath;
    FileUtils* files = FileUtils::getInstance();
    if (!files) return relativePath;
    const std::string found = files->fullPathForFilename(relativePath);
    return found.empty() ? relativePath : found;
}

}  // namespace audio
}  // namespace kite
