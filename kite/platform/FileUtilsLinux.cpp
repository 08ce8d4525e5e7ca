// The Linux file utilities: the Resources bundle, the XDG writable path, property lists in either form.
#include "kite/platform/FileUtilsLinux.h"

#include "kite/foundation/Log.h"
#include "kite/foundation/PropertyList.h"
#include "platform/AtomicFile.h"
#include "platform/PlistBinary.h"
#include "platform/PrintableText.h"
#include "platform/SaidOnce.h"
#include "platform/UserFolders.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace kite {
namespace {

std::string currentDirectory() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string("/");
}

std::string absoluteDirectory(std::string path) {
    if (path.empty()) path = ".";
    if (path[0] != '/') path = currentDirectory() + "/" + path;
    if (path.back() != '/') path += '/';
    return path;
}

std::string executableDirectory() {
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return currentDirectory() + "/";
    std::string path(buffer, static_cast<size_t>(n));
    return path.substr(0, path.rfind('/') + 1);
}

// A folder of the game's as the engine names folders, with a trailing slash; empty stays empty (no
// home to put it under, or refused).
std::string engineFolder(const std::string& folder) { return folder.empty() ? folder : folder + "/"; }

bool pathExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

constexpr char kBinaryMagic[] = "bplist00";
constexpr std::size_t kBinaryMagicSize = sizeof kBinaryMagic - 1;

// One value of a binary list as a Value; false for the kinds a Value has no
// place for (dates, data), whose entries and elements are left out.
bool valueFromPlist(const platform::PlistValue& in, Value& out) {
    using Type = platform::PlistValue::Type;
    switch (in.type()) {
        case Type::String: out = Value(*in.asString()); return true;
        case Type::Boolean: out = Value(*in.asBoolean()); return true;
        case Type::Real:
            out = in.isSingleReal() ? Value(static_cast<float>(*in.asReal())) : Value(*in.asReal());
            return true;
        case Type::Integer:
            // 32 bits, as the XML reader clamps them.
            out = Value(static_cast<int>(std::clamp<std::int64_t>(*in.asInteger(), INT_MIN, INT_MAX)));
            return true;
        case Type::Dictionary: {
            ValueMap map;
            for (const auto& [key, entry] : *in.asDictionary()) {
                Value value;
                if (valueFromPlist(entry, value)) map.emplace(key, std::move(value));
            }
            out = Value(std::move(map));
            return true;
        }
        case Type::Array: {
            ValueVector vector;
            for (const platform::PlistValue& element : *in.asArray()) {
                Value value;
                if (valueFromPlist(element, value)) vector.push_back(std::move(value));
            }
            out = Value(std::move(vector));
            return true;
        }
        case Type::Date:
        case Type::Data: return false;
    }
    return false;
}

// Either form of property list, told apart by the binary form's header.
bool parsePropertyList(const char* bytes, std::size_t size, Value& root, const char* source) {
    root = Value();
    if (!bytes || size < kBinaryMagicSize || std::memcmp(bytes, kBinaryMagic, kBinaryMagicSize) != 0) {
        return PropertyList::parse(bytes, size, root, source);
    }
    // Resource lists run larger than what programs hand each other.
    platform::PlistLimits limits;
    limits.maxDepth = PropertyList::kMaxDepth;
    limits.maxValues = std::size_t(1) << 20;
    std::string problem;
    const auto plist =
        platform::decodePlistBinary(reinterpret_cast<const std::uint8_t*>(bytes), size, &problem, limits);
    if (!plist) {
        log("FileUtils: cannot parse the binary property list %s: %s", platform::printableText(source).c_str(),
            problem.c_str());
        return false;
    }
    valueFromPlist(*plist, root);  // a top value of no Value kind leaves root NONE
    return true;
}

}  // namespace

FileUtils* FileUtils::getInstance() {
    if (!sharedFileUtils) {
        sharedFileUtils = new (std::nothrow) FileUtilsLinux();
        if (sharedFileUtils && !sharedFileUtils->init()) {
            delete sharedFileUtils;
            sharedFileUtils = nullptr;
        }
    }
    return sharedFileUtils;
}

FileUtilsLinux::FileUtilsLinux() {
    const char* resources = std::getenv("STARGRID_RESOURCES");
    if (!(resources && resources[0])) {
        bundle_ = absoluteDirectory(executableDirectory() + "Resources/");
        return;
    }
    bundle_ = absoluteDirectory(resources);
    // The folder is still used as named, but a mistyped one is told here, before every asset it lacks is;
    // once, though the director's shutdown makes the file utilities anew.
    const std::string folder = bundle_.size() > 1 ? bundle_.substr(0, bundle_.size() - 1) : bundle_;
    struct stat st;
    const int problem = stat(folder.c_str(), &st) != 0 ? errno : !S_ISDIR(st.st_mode) ? ENOTDIR : 0;
    const std::string line = "FileUtils: STARGRID_RESOURCES names " + platform::printableText(folder) +
                             " which is not a folder: " + std::strerror(problem);
    if (problem != 0 && platform::firstTimeSaid(line)) log("%s", line.c_str());
}

FileUtilsLinux::FileUtilsLinux(const std::string& bundlePath) : bundle_(absoluteDirectory(bundlePath)) {}

std::string FileUtilsLinux::userDataDirectory() { return engineFolder(platform::gameFolderPath("XDG_DATA_HOME")); }

std::string FileUtilsLinux::userConfigDirectory() { return engineFolder(platform::gameFolderPath("XDG_CONFIG_HOME")); }

std::string FileUtilsLinux::userCacheDirectory() { return engineFolder(platform::gameFolderPath("XDG_CACHE_HOME")); }

std::string FileUtilsLinux::getWritablePath() const {
    if (!writablePath.empty()) return writablePath;
    // Like a phone's Documents folder, the writable path always exists: it is the game's data folder,
    // made, checked and narrowed as the game's other folders are, and what is wrong with it is said once
    // there. Empty when it is refused: nothing is kept for the player then.
    return engineFolder(platform::documentsFolder());
}

// Relative directories, like relative files, live in the bundle.
bool FileUtilsLinux::isDirectoryExistInternal(const std::string& path) const {
    if (path.empty()) return false;
    return FileUtils::isDirectoryExistInternal(path[0] == '/' ? path : bundle_ + path);
}

bool FileUtilsLinux::isFileExistInternal(const std::string& path) const {
    if (path.empty()) return false;
    if (path[0] != '/') return pathExists(bundle_ + path);
    return pathExists(path);
}

std::string FileUtilsLinux::getFullPathForDirectoryAndFilename(const std::string& directory,
                                                               const std::string& filename) {
    std::string path;
    if (directory.empty() || directory[0] != '/') {
        path = bundle_ + directory;
        if (!directory.empty() && directory.back() != '/') path += '/';
        path += filename;
    } else {
        path = directory + filename;
    }
    return pathExists(path) ? path : std::string();
}

bool FileUtilsLinux::readPropertyList(const std::string& filename, Value& root) {
    const std::string fullPath = fullPathForFilename(filename);
    if (fullPath.empty()) return false;
    Data data = getDataFromFile(fullPath);
    if (data.isNull()) return false;
    return parsePropertyList(reinterpret_cast<const char*>(data.getBytes()), static_cast<size_t>(data.getSize()), root,
                             fullPath.c_str());
}

ValueMap FileUtilsLinux::getValueMapFromFile(const std::string& filename) {
    Value root;
    if (!readPropertyList(filename, root)) return ValueMap();
    if (root.getType() != Value::Type::MAP) {
        log("FileUtils: %s is not a dictionary property list", platform::printableText(filename).c_str());
        return ValueMap();
    }
    return std::move(root.asValueMap());
}

ValueMap FileUtilsLinux::getValueMapFromData(const char* filedata, int filesize) {
    Value root;
    if (!filedata || filesize <= 0 ||
        !parsePropertyList(filedata, static_cast<size_t>(filesize), root, "property-list data")) {
        return ValueMap();
    }
    if (root.getType() != Value::Type::MAP) return ValueMap();
    return std::move(root.asValueMap());
}

ValueVector FileUtilsLinux::getValueVectorFromFile(const std::string& filename) {
    Value root;
    if (!readPropertyList(filename, root)) return ValueVector();
    if (root.getType() != Value::Type::VECTOR) {
        log("FileUtils: %s is not an array property list", platform::printableText(filename).c_str());
        return ValueVector();
    }
    return std::move(root.asValueVector());
}

bool FileUtilsLinux::writeToFile(const ValueMap& dict, const std::string& fullPath) {
    // What the game writes belongs to its player: the owner's only.
    if (platform::writeFileAtomically(fullPath, PropertyList::serialize(dict), 0600)) return true;
    log("FileUtils: cannot write %s: %s", platform::printableText(fullPath).c_str(), std::strerror(errno));
    return false;
}

}  // namespace kite
