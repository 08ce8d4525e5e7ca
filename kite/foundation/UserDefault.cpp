// The preferences store and its one-time migration from the legacy "UserDefault.xml".
#include "kite/foundation/UserDefault.h"

#include "kite/foundation/FileUtils.h"
#include "kite/foundation/Log.h"
#include "platform/AtomicFile.h"

#include <tinyxml2.h>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace kite {
namespace {

UserDefault* sharedUserDefault = nullptr;
std::string legacyFilePath;  // empty until the first store is made

// At exit the changes are written before the process ends, not handed to the writer.
void saveAtExit() {
    if (sharedUserDefault) sharedUserDefault->flush();
}

// The legacy document and the element holding one key.
struct LegacyLookup {
    tinyxml2::XMLDocument document{true, tinyxml2::PRESERVE_WHITESPACE};
    tinyxml2::XMLElement* element = nullptr;
};

// Finds the key's element in the legacy file; false when there is nothing to migrate.
bool findLegacyElement(const char* key, LegacyLookup& lookup) {
    if (!key || legacyFilePath.empty()) return false;
    FILE* probe = std::fopen(legacyFilePath.c_str(), "r");
    if (!probe) return false;
    std::fclose(probe);

    FileUtils* files = FileUtils::getInstance();
    std::string content = files ? files->getStringFromFile(legacyFilePath) : std::string();
    if (content.empty()) {
        log("can not read xml file");
        return false;
    }
    lookup.document.Parse(content.c_str(), content.size());
    tinyxml2::XMLElement* root = lookup.document.RootElement();
    if (!root) {
        log("read root node error");
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

// Removes the element and saves the document back in place, atomically.
void removeLegacyElement(LegacyLookup& lookup) {
    if (!lookup.element) return;
    lookup.document.DeleteNode(lookup.element);
    lookup.element = nullptr;
    tinyxml2::XMLPrinter printer(nullptr, false);
    lookup.document.Print(&printer);
    const std::string text(printer.CStr(), static_cast<size_t>(printer.CStrSize() - 1));
    if (!platform::writeFileAtomically(legacyFilePath, text, 0600)) {
        log("UserDefault: cannot rewrite %s", legacyFilePath.c_str());
    }
}

}  // namespace

UserDefault::UserDefault(std::unique_ptr<UserDefaultBackend> backend) : backend_(std::move(backend)) {}

UserDefault::~UserDefault() = default;

void UserDefault::initLegacyFilePath(const UserDefaultBackend& backend) {
    if (!legacyFilePath.empty()) return;
    legacyFilePath = backend.legacyDirectory() + "UserDefault.xml";
}

const std::string& UserDefault::getLegacyFilePath() { return legacyFilePath; }

UserDefault* UserDefault::getInstance() {
    if (!sharedUserDefault) {
        std::unique_ptr<UserDefaultBackend> backend = createUserDefaultBackend();
        if (!backend) return nullptr;
        initLegacyFilePath(*backend);
        sharedUserDefault = new (std::nothrow) UserDefault(std::move(backend));
        static bool exitHookInstalled = false;
        if (sharedUserDefault && !exitHookInstalled) {
            exitHookInstalled = std::atexit(saveAtExit) == 0;
        }
    }
    return sharedUserDefault;
}

void UserDefault::destroyInstance() {
    if (sharedUserDefault) sharedUserDefault->flush();
    delete sharedUserDefault;
    sharedUserDefault = nullptr;
    // A store made later looks for the legacy file where the platform says then.
    legacyFilePath.clear();
}

void UserDefault::saveIfDirty() {
    if (sharedUserDefault) sharedUserDefault->backend_->flushInBackground();
}

bool UserDefault::migrateLegacyKey(const char* key, const std::function<void(const std::string&)>& store) {
    LegacyLookup lookup;
    if (!findLegacyElement(key, lookup)) return false;
    const tinyxml2::XMLNode* first = lookup.element->FirstChild();
    if (!first) {
        removeLegacyElement(lookup);
        return false;
    }
    store(first->Value() ? first->Value() : "");
    // The element goes only once the store holds the value on disk, so a
    // crash or a full disk in between migrates it again instead of losing it.
    if (backend_->flushPending()) removeLegacyElement(lookup);
    return true;
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

void UserDefault::flush() { backend_->flushPending(); }

}  // namespace kite
