// The preferences store and its one-time migration from the legacy "UserDefault.xml".
#include "kite/foundation/UserDefault.h"

#include "kite/foundation/Log.h"
#include "platform/AtomicFile.h"
#include "platform/PrintableText.h"
#include "platform/StoredFile.h"

#include <tinyxml2.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <sstream>

namespace kite {
namespace {

UserDefault* sharedUserDefault = nullptr;
std::string legacyFilePath;  // empty until the first store is made
// The legacy file cannot be used (unreadable, not a file, too large, not XML): said once, then left alone.
bool legacyUnusable = false;
bool legacyRewriteFailureSaid = false;

// An old store far past what the game ever kept is not one: it is left as it is, unread.
constexpr std::size_t kMaxLegacyBytes = 1u << 20;
// The keys taken from the legacy file, so none is taken from it twice (its rewrite may fail).
constexpr const char* kMovedKeysKey = "UserDefault.xml.moved";

UserDefault::SaveStateListener& saveStateListener() {
    static UserDefault::SaveStateListener listener;
    return listener;
}

// The legacy document and the element holding one key.
struct LegacyLookup {
    tinyxml2::XMLDocument document{true, tinyxml2::PRESERVE_WHITESPACE};
    tinyxml2::XMLElement* element = nullptr;
};

void giveUpOnLegacyFile(const char* problem, const std::string& reason) {
    log("UserDefault: %s %s: %s; nothing is taken from it", problem, platform::printableText(legacyFilePath).c_str(),
        platform::printableText(reason).c_str());
    legacyUnusable = true;
}

// Finds the key's element in the legacy file; false when there is nothing to migrate.
bool findLegacyElement(const char* key, LegacyLookup& lookup) {
    if (!key || legacyFilePath.empty() || legacyUnusable) return false;
    std::string content, reason;
    switch (platform::readStoredFile(legacyFilePath, content, kMaxLegacyBytes, &reason)) {
        case platform::StoredFileRead::Missing: return false;
        case platform::StoredFileRead::Failed: giveUpOnLegacyFile("can not read xml file", reason); return false;
        case platform::StoredFileRead::Read: break;
    }
    if (content.size() > kMaxLegacyBytes) {
        giveUpOnLegacyFile("can not read xml file", "larger than 1 MiB");
        return false;
    }
    if (content.empty()) {
        giveUpOnLegacyFile("can not read xml file", "it is empty");
        return false;
    }
    lookup.document.Parse(content.c_str(), content.size());
    tinyxml2::XMLElement* root = lookup.document.RootElement();
    if (!root) {
        const char* error = lookup.document.ErrorStr();
        giveUpOnLegacyFile("read root node error in", error && *error ? error : "no root element");
        return false;
    }
    tinyxml2::XMLElement* child = root->FirstChildElement();
    if (!child) {
        std::remove(legacyFilePath.c_str());
        return false;
    }
    for (; child; child = child->NextSiblingElement()) {
        if (std::strcmp(child->Name(), key) == 0) {
            lookup.element = child;
            return true;
        }
    }
    return false;
}

// Removes the element and saves the document back in place, atomically. A rewrite that fails
// leaves the file as it was; the store's record of moved keys keeps them from being taken again.
void removeLegacyElement(LegacyLookup& lookup) {
    if (!lookup.element) return;
    lookup.document.DeleteNode(lookup.element);
    lookup.element = nullptr;
    tinyxml2::XMLPrinter printer(nullptr, false);
    lookup.document.Print(&printer);
    const std::string text(printer.CStr(), static_cast<size_t>(printer.CStrSize() - 1));
    if (!platform::writeFileAtomically(legacyFilePath, text, 0600) && !legacyRewriteFailureSaid) {
        legacyRewriteFailureSaid = true;
        log("UserDefault: cannot rewrite %s: %s; the keys moved from it stay there and are not taken again",
            platform::printableText(legacyFilePath).c_str(), std::strerror(errno));
    }
}

bool listHolds(const std::string& list, const char* key) {
    std::istringstream words(list);
    for (std::string word; words >> word;) {
        if (word == key) return true;
    }
    return false;
}

}  // namespace

UserDefault::UserDefault(std::unique_ptr<UserDefaultBackend> backend) : backend_(std::move(backend)) {}

UserDefault::~UserDefault() = default;

void UserDefault::initLegacyFilePath(const UserDefaultBackend& backend) {
    if (!legacyFilePath.empty()) return;
    const std::string directory = backend.legacyDirectory();
    if (!directory.empty()) legacyFilePath = directory + "UserDefault.xml";  // none: nothing to take
}

const std::string& UserDefault::getLegacyFilePath() { return legacyFilePath; }

UserDefault* UserDefault::getInstance() {
    if (!sharedUserDefault) {
        std::unique_ptr<UserDefaultBackend> backend = createUserDefaultBackend();
        if (!backend) return nullptr;
        initLegacyFilePath(*backend);
        backend->setSaveStateReporter([](bool saved, const std::string& reason) {
            if (saveStateListener()) saveStateListener()(saved, reason);
        });
        sharedUserDefault = new (std::nothrow) UserDefault(std::move(backend));
        static bool exitHookInstalled = false;
        if (sharedUserDefault && !exitHookInstalled) {
            exitHookInstalled = std::atexit(&UserDefault::saveAtExit) == 0;
        }
    }
    return sharedUserDefault;
}

void UserDefault::destroyInstance() {
    if (sharedUserDefault) sharedUserDefault->flushQuietly();
    delete sharedUserDefault;
    sharedUserDefault = nullptr;
    // A store made later looks for the legacy file where the platform says then.
    legacyFilePath.clear();
    legacyUnusable = false;
    legacyRewriteFailureSaid = false;
}

// At exit the changes are written before the process ends, not handed to the writer.
void UserDefault::saveAtExit() {
    if (sharedUserDefault) sharedUserDefault->flushQuietly();
}

void UserDefault::setSaveStateListener(SaveStateListener listener) { saveStateListener() = std::move(listener); }

void UserDefault::saveIfDirty() {
    if (sharedUserDefault) sharedUserDefault->backend_->flushInBackground();
}

bool UserDefault::migrateLegacyKey(const char* key, const std::function<void(const std::string&)>& store) {
    // The store's own value (or one it moved before) is newer than anything the legacy file holds.
    if (!key || backend_->hasKey(key) || movedFromLegacy(key)) return false;
    LegacyLookup lookup;
    if (!findLegacyElement(key, lookup)) return false;
    const tinyxml2::XMLNode* first = lookup.element->FirstChild();
    if (!first) {
        removeLegacyElement(lookup);
        return false;
    }
    store(first->Value() ? first->Value() : "");
    recordMovedFromLegacy(key);
    // The element goes only once the store holds the value on disk, so a
    // crash or a full disk in between migrates it again instead of losing it.
    if (backend_->flushPending()) removeLegacyElement(lookup);
    return true;
}

bool UserDefault::movedFromLegacy(const char* key) const {
    std::string moved;
    return backend_->getString(kMovedKeysKey, moved) && listHolds(moved, key);
}

// Element names hold no white space, so the names are kept as one line of words.
void UserDefault::recordMovedFromLegacy(const char* key) {
    std::string moved;
    backend_->getString(kMovedKeysKey, moved);
    backend_->setString(kMovedKeysKey, moved.empty() ? std::string(key) : moved + " " + key);
}

void UserDefault::removeLegacyKey(const char* key) {
    LegacyLookup lookup;
    if (findLegacyElement(key, lookup)) removeLegacyElement(lookup);
}

bool UserDefault::getBoolForKey(const char* key, bool defaultValue) {
    if (!key) return defaultValue;
    bool value = defaultValue;
    if (migrateLegacyKey(key, [&](const std::string& text) {
            value = text == "true";
            backend_->setBool(key, value);
        })) {
        return value;
    }
    return backend_->getBool(key, value) ? value : defaultValue;
}

int UserDefault::getIntegerForKey(const char* key, int defaultValue) {
    if (!key) return defaultValue;
    int value = defaultValue;
    if (migrateLegacyKey(key, [&](const std::string& text) {
            value = static_cast<int>(std::clamp<long>(std::strtol(text.c_str(), nullptr, 10), INT_MIN, INT_MAX));
            backend_->setInteger(key, value);
        })) {
        return value;
    }
    return backend_->getInteger(key, value) ? value : defaultValue;
}

std::string UserDefault::getStringForKey(const char* key, const std::string& defaultValue) {
    if (!key) return defaultValue;
    std::string value;
    if (migrateLegacyKey(key, [&](const std::string& text) {
            value = text;
            backend_->setString(key, value);
        })) {
        return value;
    }
    return backend_->getString(key, value) ? value : defaultValue;
}

void UserDefault::setBoolForKey(const char* key, bool value) {
    if (!key) return;
    removeLegacyKey(key);
    backend_->setBool(key, value);
}

void UserDefault::setIntegerForKey(const char* key, int value) {
    if (!key) return;
    removeLegacyKey(key);
    backend_->setInteger(key, value);
}

void UserDefault::setStringForKey(const char* key, const std::string& value) {
    if (!key) return;
    if (value.find('\0') != std::string::npos) {
        // A property list cannot hold it: saved, it would come back cut short.
        log("UserDefault: the value for key '%s' holds a NUL character; not stored", key);
        return;
    }
    removeLegacyKey(key);
    backend_->setString(key, value);
}

bool UserDefault::flush() { return backend_->flushPending(); }

void UserDefault::flushQuietly() {
    backend_->setSaveStateReporter(nullptr);
    backend_->flushPending();
}

}  // namespace kite
