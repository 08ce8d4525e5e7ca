// The Linux file utilities: the Resources bundle, the XDG writable path, property lists.
#pragma once
#include "kite/foundation/FileUtils.h"

#include <string>

namespace kite {

class FileUtilsLinux : public FileUtils {
public:
    // The bundle is $STARGRID_RESOURCES when set (one that is no folder is logged and used all the same),
    // else Resources/ beside the executable.
    FileUtilsLinux();
    explicit FileUtilsLinux(const std::string& bundlePath);

    // The path given to setWritablePath when there is one, else
    // $XDG_DATA_HOME/stargrid/ (default ~/.local/share/stargrid/), created on demand and checked as
    // platform::documentsFolder() does; empty when it is refused.
    std::string getWritablePath() const override;

    // Property lists are read in the XML or the binary ("bplist00") form. Missing, damaged or
    // non-dictionary files give an empty map (damage is logged).
    ValueMap getValueMapFromFile(const std::string& filename) override;
    ValueMap getValueMapFromData(const char* filedata, int filesize) override;
    // Written atomically to fullPath as given; false when the write fails.
    bool writeToFile(const ValueMap& dict, const std::string& fullPath) override;
    ValueVector getValueVectorFromFile(const std::string& filename) override;

    // Absolute, ending in "/".
    const std::string& getBundlePath() const { return bundle_; }

    // Per-user base directories, each an absolute path ending in "/stargrid/" (empty without a home),
    // as platform::gameFolderPath names them. Nothing is made or looked at.
    static std::string userDataDirectory();
    static std::string userConfigDirectory();
    static std::string userCacheDirectory();

protected:
    bool isFileExistInternal(const std::string& path) const override;
    bool isDirectoryExistInternal(const std::string& path) const override;
    std::string getFullPathForDirectoryAndFilename(const std::string& directory, const std::string& filename) override;

private:
    bool readPropertyList(const std::string& filename, Value& root);

    std::string bundle_;
};

}  // namespace kite
