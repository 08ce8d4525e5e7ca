// The preferences backend on Linux: a typed map kept as an XML property list, saved atomically.
#include "kite/platform/PreferencesStoreLinux.h"

#include "kite/foundation/Log.h"
#include "kite/foundation/PropertyList.h"
#include "kite/foundation/StringUtils.h"
#include "platform/AtomicFile.h"
#include "platform/PrintableText.h"
#include "platform/SaidOnce.h"
#include "platform/StoredFile.h"
#include "platform/UserFolders.h"

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
// Far past what the game keeps: a larger file is not a store of ours, and is never read whole.
constexpr std::size_t kMaxStoreBytes = 1u << 20;

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
    // The config folder as the game's other stores find it: made, and refused when another user's.
    const std::string folder = platform::configFolder();
    return folder.empty() ? folder : folder + "/UserDefaults.plist";
}

std::string PreferencesStoreLinux::legacyDirectory() const {
    // Looked at once a start, as the game's other folders are: one found open is narrowed, should an
    // older version have left it so; a link or another user's is refused (said for the folder), and
    // what it holds is not read. One that is not there is not made.
    const std::string folder = platform::cacheFolder(false);
    if (!folder.empty()) return folder + "/";
    const std::string line =
        "UserDefault: the old preferences (UserDefault.xml) are not read: there is no cache folder to read them from";
    if (platform::firstTimeSaid(line)) log("%s", line.c_str());
    return folder;
}

void PreferencesStoreLinux::load() {
    if (path_.empty()) {
        // No config folder (none, or refused, said for it): nothing to read, nowhere to save.
        readOnly_ = true;
        readOnlyReason_ = "there is no config folder";
        log("UserDefault: there is no config folder for the store; changes will not be saved");
        return;
    }
    // Left by a save that was killed before its rename.
    platform::removeLeftoverTemporaries(path_);
    std::string bytes, reason;
    switch (platform::readStoredFile(path_, bytes, kMaxStoreBytes, &reason)) {
        case platform::StoredFileRead::Missing: return;
        case platform::StoredFileRead::Failed:
            // The player's values are there but out of reach: a save would replace
            // them with an empty store, so none is made this run.
            keepFileAsItIs("cannot read " + platform::printableText(path_) + ": " + reason);
            return;
        case platform::StoredFileRead::Read: break;
    }
    if (bytes.size() > kMaxStoreBytes) return setDamagedFileAside("larger than 1 MiB");
    // Saves leave the file the owner's only, but a run that changes nothing makes none: one an
    // older version left open is narrowed now (never through a link).
    if (!platform::narrowMode(path_, kStoreMode)) {
        log("UserDefault: cannot narrow %s: %s", platform::printableText(path_).c_str(), std::strerror(errno));
    }
    Value root;
    if (PropertyList::parse(bytes.data(), bytes.size(), root, path_.c_str(), PropertyList::BadValues::Skip) &&
        root.getType() == Value::Type::MAP) {
        values_ = std::move(root.asValueMap());
        return;
    }
    setDamagedFileAside("damaged");
}

// Keeps the unreadable bytes for a person to look at (the next save would
// otherwise replace them), never over an earlier damaged copy. When they
// cannot be moved, the file stays as it is and nothing is saved over it.
void PreferencesStoreLinux::setDamagedFileAside(const char* problem) {
    if (const std::optional<std::string> aside = platform::setDamagedFileAside(path_)) {
        log("UserDefault: %s is %s; moved to %s, starting empty", platform::printableText(path_).c_str(), problem,
            platform::printableText(*aside).c_str());
        return;
    }
    keepFileAsItIs(platform::printableText(path_) + " is " + problem +
                   " and cannot be set aside: " + std::strerror(errno));
}

void PreferencesStoreLinux::keepFileAsItIs(const std::string& why) {
    readOnly_ = true;
    readOnlyReason_ = why;
    log("UserDefault: %s; it is left as it is and changes will not be saved", why.c_str());
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
    noteWriterOutcome(true);
    values_[key] = std::move(value);
    dirty_ = true;
}

bool PreferencesStoreLinux::hasKey(const std::string& key) const { return find(key) != nullptr; }

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
    // What the reader would set aside is never written over what it holds now.
    if (bytes.size() > kMaxStoreBytes) {
        errno = EFBIG;
        return false;
    }
    return makeDirectories(directoryOf(path_)) && platform::writeFileAtomically(path_, bytes, kStoreMode);
}

void PreferencesStoreLinux::noteWriteOutcome(PreferencesWriter::Outcome outcome, int error) {
    switch (outcome) {
        case PreferencesWriter::Outcome::None: return;
        case PreferencesWriter::Outcome::Failed:
            // Stays pending for the next frame; one line, not one per frame.
            dirty_ = true;
            if (failing_) return;
            failing_ = true;
            log("UserDefault: cannot save %s: %s", platform::printableText(path_).c_str(), std::strerror(error));
            reportSaveState(false, std::strerror(error));
            return;
        case PreferencesWriter::Outcome::Written:
            if (!failing_) return;
            failing_ = false;
            log("UserDefault: %s is saved again", platform::printableText(path_).c_str());
            reportSaveState(true, std::string());
            return;
    }
}

// Nothing is written over a file that could not be taken; the changes are said to be unsaved once.
void PreferencesStoreLinux::noteReadOnly() {
    if (!dirty_ || failing_) return;
    failing_ = true;
    reportSaveState(false, readOnlyReason_);
}

void PreferencesStoreLinux::noteWriterOutcome(bool wait) {
    if (!writer_) return;
    int error = 0;
    const PreferencesWriter::Outcome outcome = wait ? writer_->waitIdle(error) : writer_->takeOutcome(error);
    noteWriteOutcome(outcome, error);
}

void PreferencesStoreLinux::flushInBackground() {
    noteWriterOutcome(false);
    if (readOnly_) return noteReadOnly();
    if (!dirty_) return;
    if (!writer_)
        writer_ = std::make_unique<PreferencesWriter>([this](const std::string& bytes) { return writeFile(bytes); });
    writer_->submit(PropertyList::serialize(values_));
    dirty_ = false;
}

bool PreferencesStoreLinux::flushPending() {
    noteWriterOutcome(true);
    if (readOnly_) {
        noteReadOnly();
        return !dirty_;
    }
    if (!dirty_) return true;
    const bool saved = writeFile(PropertyList::serialize(values_));
    const int error = errno;
    // Cleared before the listener hears of it, so a change it makes stays pending.
    if (saved) dirty_ = false;
    noteWriteOutcome(saved ? PreferencesWriter::Outcome::Written : PreferencesWriter::Outcome::Failed, error);
    return saved;
}

}  // namespace kite
