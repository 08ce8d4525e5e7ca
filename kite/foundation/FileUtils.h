// Resource lookup over search paths and resolution directories, file reading, directory operations.
#pragma once
#include "kite/foundation/Data.h"
#include "kite/foundation/Value.h"

#include <sys/types.h>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace kite {

// Abstract base; the platform subclass supplies the writable path, the
// existence test, the bundle-aware lookup, property lists and getInstance.
// Name lookups may run on any thread; changing the search lists belongs to
// the main thread (getSearchPaths hands out a reference).
class FileUtils {
public:
    // Defined with the platform subclass. Null only when init fails.
    static FileUtils* getInstance();
    static void destroyInstance();

    virtual ~FileUtils();

    virtual void purgeCachedEntries();
    // The requested names and full paths found so far (a copy, in the cache's own order).
    std::vector<std::pair<std::string, std::string>> getFullPathCacheEntries() const;

    // Whole file as text; the text ends at its first zero byte.
    virtual std::string getStringFromFile(const std::string& filename);
    // Whole file as raw bytes; empty when it cannot be read.
    virtual Data getDataFromFile(const std::string& filename);
    // malloc'ed block owned by the caller (null on failure); *size = bytes read.
    virtual unsigned char* getFileData(const std::string& filename, const char* mode, ssize_t* size);
    // One member of a zip archive, malloc'ed and owned by the caller; null
    // (with *size 0) when missing, damaged, short or failing its CRC.
    virtual unsigned char* getFileDataFromZip(const std::string& zipFilePath, const std::string& filename,
                                              ssize_t* size);

    // Full path of a resource name, or "" when nothing is found.
    virtual std::string fullPathForFilename(const std::string& filename);
    virtual void loadFilenameLookupDictionaryFromFile(const std::string& filename);
    virtual void setFilenameLookupDictionary(const ValueMap& filenameLookupDict);
    virtual std::string fullPathFromRelativeFile(const std::string& filename, const std::string& relativeFile);

    virtual void setSearchResolutionsOrder(const std::vector<std::string>& searchResolutionsOrder);
    virtual void addSearchResolutionsOrder(const std::string& order, bool front = false);
    virtual const std::vector<std::string>& getSearchResolutionsOrder() const;
    virtual void setSearchPaths(const std::vector<std::string>& searchPaths);
    virtual const std::vector<std::string>& getSearchPaths() const;

    virtual std::string getWritablePath() const = 0;
    virtual void setWritablePath(const std::string& writablePath);

    virtual void setPopupNotify(bool notify);
    virtual bool isPopupNotify() const;

    // Property lists; the base answers empty containers and false.
    virtual ValueMap getValueMapFromFile(const std::string& filename);
    virtual ValueMap getValueMapFromData(const char* filedata, int filesize);
    virtual bool writeToFile(const ValueMap& dict, const std::string& fullPath);
    virtual ValueVector getValueVectorFromFile(const std::string& filename);

    virtual bool isFileExist(const std::string& filename);
    virtual bool isAbsolutePath(const std::string& path) const;
    // A relative name is looked for through the search paths, as files are.
    virtual bool isDirectoryExist(const std::string& dirPath);
    // Refuses a relative path with a log line.
    virtual bool createDirectory(const std::string& dirPath);
    // Refuses a non-empty path that does not end in "/".
    virtual bool removeDirectory(const std::string& dirPath);
    virtual bool removeFile(const std::string& filepath);
    // Renames path + oldname to path + name.
    virtual bool renameFile(const std::string& path, const std::string& oldname, const std::string& name);
    // Size in bytes; 0 for an unresolved relative name, -1 when stat fails.
    virtual long getFileSize(const std::string& filepath);

    // Adds the default root to the search paths and the empty resolution directory.
    virtual bool init();

protected:
    FileUtils();

    virtual std::string getNewFilename(const std::string& filename) const;
    virtual bool isFileExistInternal(const std::string& path) const = 0;
    virtual bool isDirectoryExistInternal(const std::string& dirPath) const;
    virtual std::string getPathForFilename(const std::string& filename, const std::string& resolutionDirectory,
                                           const std::string& searchPath);
    virtual std::string getFullPathForDirectoryAndFilename(const std::string& directory, const std::string& filename);
    virtual std::string searchFullPathForFilename(const std::string& filename);

    // The shared reader behind getDataFromFile (raw) and getStringFromFile (text).
    Data readWholeFile(const std::string& filename, bool asText);

    ValueMap filenameLookupDict;
    std::vector<std::string> searchResolutionsOrder;
    std::vector<std::string> searchPaths;
    std::string defaultResRootPath;
    std::unordered_map<std::string, std::string> fullPathCache;
    std::string writablePath;

    // Guards the cache, the lookup dictionary and the search lists, so a
    // loader thread may resolve names while the main thread does too.
    mutable std::recursive_mutex lookupMutex_;

    static bool popupNotify;
    static FileUtils* sharedFileUtils;
};

}  // namespace kite
