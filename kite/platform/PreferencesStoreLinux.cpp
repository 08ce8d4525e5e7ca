// The preferences backend on Linux: a typed map kept as an XML property list, saved atomically.
#include "kite/platform/PreferencesStoreLinux.h"

#include "kite/foundation/Log.h"
#include "kite/foundation/PropertyList.h"
#include "kite/foundation/StringUtils.h"
#include "kite/platform/FileUtilsLinux.h"
#include "platform/AtomicFile.h"
#include "platform/StoredFile.h"

#include <sys/stat.h>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kite {
namespace {

// The store holds the bound account: only its owner may read it.
constexpr unsigned int kStoreMode = 0600;

// mkdir -p; true when the directory exists afterwards.
bool makeDirectories(const std::string& directory) {
    std::string prefix;
    std::string::size_type start = 0;
    while (start <= directory.size()) {
        std::string::size_type slash = directory.find('/', start);
        if (slash == std::string::npos) slash = directory.size();
        prefix = directory.substr(0, slash);
        if (!prefix.empty() && ::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
        start = slash + 1;
    }
    struct stat st;
    return ::stat(directory.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string directoryOf(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// What a stored value can be read as; lists and maps read as nothing.
enum class ValueKind { NONE, BOOLEAN, WHOLE, REAL, TEXT };

ValueKind kindOf(const Value& v) {
    switch (v.getType()) {
        case Value::Type::BOOLEAN: return ValueKind::BOOLEAN;
        case Value::Type::INTEGER:
        case Value::Type::BYTE: return ValueKind::WHOLE;
        case Value::Type::FLOAT:
        case Value::Type::DOUBLE: return ValueKind::REAL;
        case Value::Type::STRING: return ValueKind::TEXT;
        default: return ValueKind::NONE;
    }
}

bool textAsBool(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    while (i < text.size() && text[i] == '0') ++i;
    if (i >= text.size()) return false;
    char c = text[i];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

int textAsInt(const std::string& text) {
    long long v = std::strtoll(text.c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

int realAsInt(double v) {
    if (std::isnan(v)) return 0;
    return static_cast<int>(std::clamp(v, double(INT_MIN), double(INT_MAX)));
}

}  // namespace

std::unique_ptr<UserDefaultBackend> createUserDefaultBackend() {
    return std::make_unique<PreferencesStoreLinux>(PreferencesStoreLinux::defaultFilePath());
}

PreferencesStoreLinux::PreferencesStoreLinux(std::string filePath) : path_(std::move(filePath)) { load(); }

std::string PreferencesStoreLinux::defaultFilePath() {
    return FileUtilsLinux::userConfigDirectory() + "UserDefaults.plist";
}

std::string PreferencesStoreLinux::legacyDirectory() const {
    const std::string directory = FileUtilsLinux::userCacheDirectory();
    // Looked at once a start: the game's cache folder is narrowed like its others, should an older
    // version have left it open. One that is not there is not made.
    struct stat st;
    if (::stat(directory.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & 077) != 0 &&
        ::chmod(directory.c_str(), 0700) != 0) {
        log("UserDefault: cannot narrow %s: %s", directory.c_str(), std::strerror(errno));
    }
    return directory;
}

void PreferencesStoreLinux::load() {
    // Left by a save that was killed before its rename.
    platform::removeLeftoverTemporaries(path_);
    std::string bytes;
    switch (platform::readStoredFile(path_, bytes)) {
        case platform::StoredFileRead::Missing: return;
        case platform::StoredFileRead::Failed:
            // The player's values are there but out of reach: a save would replace
            // them with an empty store, so none is made this run.
            readOnly_ = true;
            log("UserDefault: cannot read %s: %s; changes will not be saved", path_.c_str(), std::strerror(errno));
            return;
        case platform::StoredFileRead::Read: break;
    }
    // Saves leave the file the owner's only, but a run that changes nothing makes none: one an
    // older version left open is narrowed now.
    if (!platform::narrowMode(path_, kStoreMode)) {
        log("UserDefault: cannot narrow %s: %s", path_.c_str(), std::strerror(errno));
    }
    Value root;
    if (PropertyList::parse(bytes.data(), bytes.size(), root, path_.c_str(), PropertyList::BadValues::Skip) &&
        root.getType() == Value::Type::MAP) {
        values_ = std::move(root.asValueMap());
        return;
    }
    setDamagedFileAside();
}

// Keeps the unreadable bytes for a person to look at (the next save would
// otherwise replace them), never over an earlier damaged copy.
void PreferencesStoreLinux::setDamagedFileAside() const {
    if (const std::optional<std::string> aside = platform::setDamagedFileAside(path_)) {
        log("UserDefault: %s is damaged; moved to %s, starting empty", path_.c_str(), aside->c_str());
        return;
    }
    log("UserDefault: %s is damaged; starting empty", path_.c_str());
}

const Value* PreferencesStoreLinux::find(const std::string& key) const {
    auto it = values_.find(key);
    return it == values_.end() ? nullptr : &it->second;
}

void PreferencesStoreLinux::store(const std::string& key, Value value) {
    auto it = values_.find(key);
    if (it != values_.end() && it->second == value) return;
    // A change waits for the last frame's save still being written: a game killed later loses at
    // most the changes of the frame it was killed in. Saves take well under a frame, so this
    // rarely waits at all.
    int error = 0;
    if (writer_ && !writer_->waitIdle(error)) noteWriteResult(false, error);
    values_[key] = std::move(value);
    dirty_ = true;
}

bool PreferencesStoreLinux::getBool(const std::string& key, bool& value) const {
    const Value* v = find(key);
    const ValueKind kind = v ? kindOf(*v) : ValueKind::NONE;
    if (kind == ValueKind::NONE) return false;
    value = kind == ValueKind::TEXT ? textAsBool(v->asString()) : v->asBool();
    return true;
}

bool PreferencesStoreLinux::getInteger(const std::string& key, int& value) const {
    const Value* v = find(key);
    switch (v ? kindOf(*v) : ValueKind::NONE) {
        case ValueKind::NONE: return false;
        case ValueKind::REAL: value = realAsInt(v->asDouble()); break;
        case ValueKind::TEXT: value = textAsInt(v->asString()); break;
        default: value = v->asInt(); break;
    }
    return true;
}

bool PreferencesStoreLinux::getString(const std::string& key, std::string& value) const {
    const Value* v = find(key);
    switch (v ? kindOf(*v) : ValueKind::NONE) {
        case ValueKind::NONE: return false;
        case ValueKind::BOOLEAN: value = v->asBool() ? "1" : "0"; break;
        case ValueKind::WHOLE: value = std::to_string(v->asInt()); break;
        case ValueKind::REAL: value = realToText(v->asDouble()); break;
        case ValueKind::TEXT: value = v->asString(); break;
    }
    return true;
}

void PreferencesStoreLinux::setBool(const std::string& key, bool value) { store(key, Value(value)); }

void PreferencesStoreLinux::setInteger(const std::string& key, int value) { store(key, Value(value)); }

void PreferencesStoreLinux::setString(const std::string& key, const std::string& value) { store(key, Value(value)); }

bool PreferencesStoreLinux::writeFile(const std::string& bytes) const {
    return makeDirectories(directoryOf(path_)) && platform::writeFileAtomically(path_, bytes, kStoreMode);
}

void PreferencesStoreLinux::noteWriteResult(bool written, int error) {
    if (!written) {
        // Stays pending for the next frame; one line, not one per frame.
        if (!failureLogged_) log("UserDefault: cannot save %s: %s", path_.c_str(), std::strerror(error));
        failureLogged_ = true;
        dirty_ = true;
        return;
    }
    failureLogged_ = false;
}

void PreferencesStoreLinux::flushInBackground() {
    int error = 0;
    if (writer_ && !writer_->takeFailure(error)) noteWriteResult(false, error);
    if (!dirty_ || readOnly_) return;
    if (!writer_)
        writer_ = std::make_unique<PreferencesWriter>([this](const std::string& bytes) { return writeFile(bytes); });
    writer_->submit(PropertyList::serialize(values_));
    dirty_ = false;
}

bool PreferencesStoreLinux::flushPending() {
    int error = 0;
    if (writer_ && !writer_->waitIdle(error)) noteWriteResult(false, error);
    if (!dirty_) return true;
    if (readOnly_) return false;
    const bool saved = writeFile(PropertyList::serialize(values_));
    noteWriteResult(saved, errno);
    if (saved) dirty_ = false;
    return saved;
}

}  // namespace kite
