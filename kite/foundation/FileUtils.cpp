// Resource lookup over search paths and resolution directories, file reading, directory operations.
#include "kite/foundation/FileUtils.h"

#include "kite/foundation/Log.h"
#include "kite/foundation/ZipUtils.h"
#include "platform/PrintableText.h"

#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unzip.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace kite {

bool FileUtils::popupNotify = true;
FileUtils* FileUtils::sharedFileUtils = nullptr;

namespace {

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// The length of an open regular file, or -1 (directories, pipes, errors).
long regularFileLength(FILE* f) {
    struct stat st;
    if (fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    if (std::fseek(f, 0, SEEK_END) != 0) return -1;
    long length = std::ftell(f);
    if (std::fseek(f, 0, SEEK_SET) != 0) return -1;
    return length;
}

std::string withTrailingSlash(std::string path) {
    if (!path.empty() && path.back() != '/') path += '/';
    return path;
}

int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
    if (std::remove(path) != 0) {
        log("Fail to remove: %s ", platform::printableText(path).c_str());
        return -1;
    }
    return 0;
}

}  // namespace

FileUtils::FileUtils() = default;

FileUtils::~FileUtils() = default;

void FileUtils::destroyInstance() {
    delete sharedFileUtils;
    sharedFileUtils = nullptr;
}

bool FileUtils::init() {
    searchPaths.push_back(defaultResRootPath);
    searchResolutionsOrder.push_back("");
    return true;
}

void FileUtils::purgeCachedEntries() {
    std::lock_guard<std::recursive_mutex> lock(lookupMutex_);
    fullPathCache.clear();
}

Data FileUtils::readWholeFile(const std::string& filename, bool asText) {
    if (filename.empty()) return Data::Null;
    const std::string fullPath = fullPathForFilename(filename);
    Data result;
    if (fullPath.empty()) return result;
    FilePtr file(std::fopen(fullPath.c_str(), asText ? "rt" : "rb"));
    if (!file) return result;
    const long length = regularFileLength(file.get());
    if (length < 0) return result;
    const size_t allocation = static_cast<size_t>(length) + (asText ? 1 : 0);
    auto* block = static_cast<unsigned char*>(std::malloc(allocation > 0 ? allocation : 1));
    if (!block) {
        log("FileUtils: no memory to read %s (%ld bytes)", platform::printableText(fullPath).c_str(), length);
        return result;
    }
    const size_t read = std::fread(block, 1, static_cast<size_t>(length), file.get());
    if (asText) block[read] = 0;
    if (read == 0) {
        std::free(block);
        return result;
    }
    result.fastSet(block, static_cast<std::int64_t>(read));
    return result;
}

std::string FileUtils::getStringFromFile(const std::string& filename) {
    Data data = readWholeFile(filename, true);
    if (data.isNull()) return std::string();
    // Text ends at its first zero byte.
    return std::string(reinterpret_cast<const char*>(data.getBytes()));
}

Data FileUtils::getDataFromFile(const std::string& filename) { return readWholeFile(filename, false); }

unsigned char* FileUtils::getFileData(const std::string& filename, const char* mode, ssize_t* size) {
    if (size) *size = 0;
    if (filename.empty() || !mode || !size) return nullptr;
    const std::string fullPath = fullPathForFilename(filename);
    if (fullPath.empty()) return nullptr;
    FilePtr file(std::fopen(fullPath.c_str(), mode));
    if (!file) return nullptr;
    const long length = regularFileLength(file.get());
    if (length < 0) return nullptr;
    auto* block = static_cast<unsigned char*>(std::malloc(length > 0 ? static_cast<size_t>(length) : 1));
    if (!block) return nullptr;
    *size = static_cast<ssize_t>(std::fread(block, 1, static_cast<size_t>(length), file.get()));
    return block;
}

unsigned char* FileUtils::getFileDataFromZip(const std::string& zipFilePath, const std::string& filename,
                                             ssize_t* size) {
    if (size) *size = 0;
    if (zipFilePath.empty() || !size) return nullptr;
    unzFile zip = unzOpen(zipFilePath.c_str());
    if (!zip) return nullptr;

    unsigned char* block = nullptr;
    do {
        if (unzLocateFile(zip, filename.c_str(), 1) != UNZ_OK) break;
        char name[260];
        unz_file_info info;
        if (unzGetCurrentFileInfo(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) break;
        if (static_cast<ssize_t>(info.uncompressed_size) > ZipUtils::kMaxInflatedSize) {
            log("FileUtils: zip member %s announces %lu bytes, refused", platform::printableText(filename).c_str(),
                static_cast<unsigned long>(info.uncompressed_size));
            break;
        }
        if (unzOpenCurrentFile(zip) != UNZ_OK) break;
        const size_t expected = info.uncompressed_size;
        block = static_cast<unsigned char*>(std::malloc(expected > 0 ? expected : 1));
        size_t got = 0;
        int status = 0;
        while (block && got < expected) {
            unsigned chunk = static_cast<unsigned>(std::min<size_t>(expected - got, 1u << 30));
            status = unzReadCurrentFile(zip, block + got, chunk);
            if (status <= 0) break;
            got += static_cast<size_t>(status);
        }
        // Closing checks the CRC once the whole member was read.
        const int closeStatus = unzCloseCurrentFile(zip);
        if (!block || got != expected || status < 0 || closeStatus != UNZ_OK) {
            log("FileUtils: zip member %s of %s is damaged (%zu of %zu bytes read)",
                platform::printableText(filename).c_str(), platform::printableText(zipFilePath).c_str(), got, expected);
            std::free(block);
            block = nullptr;
            break;
        }
        *size = static_cast<ssize_t>(expected);
    } while (false);

    unzClose(zip);
    return block;
}

std::string FileUtils::getNewFilename(const std::string& filename) const {
    auto it = filenameLookupDict.find(filename);
    if (it == filenameLookupDict.end()) return filename;
    return it->second.asString();
}

std::string FileUtils::getPathForFilename(const std::string& filename, const std::string& resolutionDirectory,
                                          const std::string& searchPath) {
    std::string directory;
    std::string file = filename;
    std::string::size_type slash = filename.rfind('/');
    if (slash != std::string::npos) {
        directory = filename.substr(0, slash + 1);
        file = filename.substr(slash + 1);
    }
    return getFullPathForDirectoryAndFilename(searchPath + directory + resolutionDirectory, file);
}

std::string FileUtils::getFullPathForDirectoryAndFilename(const std::string& directory, const std::string& filename) {
    std::string path = directory;
    if (!path.empty() && path.back() != '/') path += '/';
    path += filename;
    return isFileExistInternal(path) ? path : std::string();
}

std::string FileUtils::fullPathForFilename(const std::string& filename) {
    std::lock_guard<std::recursive_mutex> lock(lookupMutex_);

    if (filename.empty()) return std::string();
    if (isAbsolutePath(filename)) return filename;
    auto cached = fullPathCache.find(filename);
    if (cached != fullPathCache.end()) return cached->second;

    const std::string newFilename = getNewFilename(filename);
    for (const std::string& searchPath : searchPaths) {
        for (const std::string& resolution : searchResolutionsOrder) {
            std::string fullPath = getPathForFilename(newFilename, resolution, searchPath);
            if (!fullPath.empty()) {
                fullPathCache[filename] = fullPath;
                return fullPath;
            }
        }
    }
    return std::string();
}

std::string FileUtils::searchFullPathForFilename(const std::string& filename) {
    if (isAbsolutePath(filename)) return filename;
    std::string path = fullPathForFilename(filename);
    return path == filename ? std::string() : path;
}

std::string FileUtils::fullPathFromRelativeFile(const std::string& filename, const std::string& relativeFile) {
    std::lock_guard<std::recursive_mutex> lock(lookupMutex_);

    std::string::size_type slash = relativeFile.rfind('/');
    std::string directory = slash == std::string::npos ? std::string() : relativeFile.substr(0, slash + 1);
    return directory + getNewFilename(filename);
}

void FileUtils::loadFilenameLookupDictionaryFromFile(const std::string& filename) {
    const std::string fullPath = fullPathForFilename(filename);
    if (fullPath.empty()) return;
    ValueMap dict = getValueMapFromFile(fullPath);
    if (dict.empty()) return;
    auto metadata = dict.find("metadata");
    if (metadata == dict.end() || metadata->second.getType() != Value::Type::MAP) return;
    const ValueMap& meta = metadata->second.asValueMap();
    auto version = meta.find("version");
    if (version == meta.end() || version->second.asInt() != 1) return;
    auto filenames = dict.find("filenames");
    if (filenames == dict.end() || filenames->second.getType() != Value::Type::MAP) return;
    setFilenameLookupDictionary(filenames->second.asValueMap());
}

void FileUtils::setFilenameLookupDictionary(const ValueMap& filenameLookupDictionary) {
    std::lock_guard<std::recursive_mutex> lock(lookupMutex_);

    fullPathCache.clear();
    if (&filenameLookupDictionary != &filenameLookupDict) filenameLookupDict = filenameLookupDictionary;
}

void FileUtils::setSearchResolutionsOrder(const std::vector<std::string>& order) {
    std::lock_guard<std::recursive_mutex> lock(lookupMutex_);

    fullPathCache.clear();
    searchResolutionsOrder.clear();
    bool sawEmpty = false;
    for (const std::string& entry : order) {
        if (entry.empty()) sawEmpty = true;
        searchResolutionsOrder.push_back(withTrailingSlash(entry));
    }
    if (!sawEmpty) searchResolutionsOrder.push_back("");
}

void FileUtils::addSearchResolutionsOrder(const std::string& order, bool front) {
    std::lock_guard<std::recursive_mutex> lock(lookupMutex_);

    std::string entry = withTrailingSlash(order);
    if (front) {
        searchResolutionsOrder.insert(searchResolutionsOrder.begin(), entry);
    } else {
        searchResolutionsOrder.push_back(entry);
    }
}

const std::vector<std::string>& FileUtils::getSearchResolutionsOrder() const { return searchResolutionsOrder; }

void FileUtils::setSearchPaths(const std::vector<std::string>& paths) {
    std::lock_guard<std::recursive_mutex> lock(lookupMutex_);

    fullPathCache.clear();
    searchPaths.clear();
    bool sawDefaultRoot = false;
    for (const std::string& entry : paths) {
        std::string path = isAbsolutePath(entry) ? entry : defaultResRootPath + entry;
        path = withTrailingSlash(path);
        if (path == defaultResRootPath) sawDefaultRoot = true;
        searchPaths.push_back(path);
    }
    if (!sawDefaultRoot) searchPaths.push_back(defaultResRootPath);
}

const std::vector<std::string>& FileUtils::getSearchPaths() const { return searchPaths; }

void FileUtils::setWritablePath(const std::string& path) { writablePath = path; }

void FileUtils::setPopupNotify(bool notify) { popupNotify = notify; }

bool FileUtils::isPopupNotify() const { return popupNotify; }

ValueMap FileUtils::getValueMapFromFile(const std::string&) { return ValueMap(); }

ValueMap FileUtils::getValueMapFromData(const char*, int) { return ValueMap(); }

bool FileUtils::writeToFile(const ValueMap&, const std::string&) { return false; }

ValueVector FileUtils::getValueVectorFromFile(const std::string&) { return ValueVector(); }

bool FileUtils::isFileExist(const std::string& filename) {
    if (isAbsolutePath(filename)) return isFileExistInternal(filename);
    return !searchFullPathForFilename(filename).empty();
}

bool FileUtils::isAbsolutePath(const std::string& path) const { return !path.empty() && path[0] == '/'; }

bool FileUtils::isDirectoryExistInternal(const std::string& dirPath) const {
    struct stat st;
    return stat(dirPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileUtils::isDirectoryExist(const std::string& dirPath) {
    std::lock_guard<std::recursive_mutex> lock(lookupMutex_);

    if (isAbsolutePath(dirPath)) return isDirectoryExistInternal(dirPath);
    auto cached = fullPathCache.find(dirPath);
    if (cached != fullPathCache.end()) return isDirectoryExistInternal(cached->second);
    for (const std::string& searchPath : searchPaths) {
        for (const std::string& resolution : searchResolutionsOrder) {
            std::string candidate = searchPath + dirPath + resolution;
            if (isDirectoryExistInternal(candidate)) {
                fullPathCache[dirPath] = candidate;
                return true;
            }
        }
    }
    return false;
}

bool FileUtils::createDirectory(const std::string& path) {
    if (!isAbsolutePath(path)) {
        // Relative names denote read-only resources; where else it would land depends on the current directory.
        log("FileUtils: cannot create the relative directory '%s'; give a full path",
            platform::printableText(path).c_str());
        return false;
    }
    if (isDirectoryExist(path)) return true;
    std::vector<std::string> components;
    std::string::size_type start = 0;
    while (start < path.size()) {
        std::string::size_type separator = path.find_first_of("/\\", start);
        std::string::size_type end = separator == std::string::npos ? path.size() : separator + 1;
        std::string piece = path.substr(start, end - start);
        if (!piece.empty()) components.push_back(piece);
        start = end;
    }
    std::string prefix;
    for (const std::string& component : components) {
        prefix += component;
        if (DIR* dir = opendir(prefix.c_str())) {
            closedir(dir);
            continue;
        }
        // The folders the game makes are its player's: the owner's only.
        if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
}

bool FileUtils::removeDirectory(const std::string& path) {
    if (!path.empty() && path.back() != '/') return false;
    return nftw(path.c_str(), removeEntry, 64, FTW_DEPTH | FTW_PHYS) == 0;
}

bool FileUtils::removeFile(const std::string& path) { return std::remove(path.c_str()) == 0; }

bool FileUtils::renameFile(const std::string& path, const std::string& oldname, const std::string& name) {
    return std::rename((path + oldname).c_str(), (path + name).c_str()) == 0;
}

long FileUtils::getFileSize(const std::string& filepath) {
    std::string fullPath = filepath;
    if (!isAbsolutePath(filepath)) {
        fullPath = searchFullPathForFilename(filepath);
        if (fullPath.empty()) return 0;
    }
    struct stat st;
    if (stat(fullPath.c_str(), &st) != 0) return -1;
    return static_cast<long>(st.st_size);
}

std::vector<std::pair<std::string, std::string>> FileUtils::getFullPathCacheEntries() const {
    std::lock_guard<std::recursive_mutex> lock(lookupMutex_);
    return {fullPathCache.begin(), fullPathCache.end()};
}

}  // namespace kite
