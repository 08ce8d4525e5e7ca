// The preferences store: typed values kept by the platform, migrated once from the legacy "UserDefault.xml".
#pragma once
#include <functional>
#include <memory>
#include <string>

namespace kite {

// The persistent typed store behind UserDefault, supplied by the platform
// (createUserDefaultBackend). A getter answers false when the key is absent
// or its value has no reading of the asked type; values stored with another
// type are converted.
class UserDefaultBackend {
public:
    virtual ~UserDefaultBackend() = default;

    virtual bool getBool(const std::string& key, bool& value) const = 0;
    virtual bool getInteger(const std::string& key, int& value) const = 0;
    virtual bool getString(const std::string& key, std::string& value) const = 0;
    // Whether the store holds a value for the key, of whatever type.
    virtual bool hasKey(const std::string& key) const = 0;
    virtual void setBool(const std::string& key, bool value) = 0;
    virtual void setInteger(const std::string& key, int value) = 0;
    virtual void setString(const std::string& key, const std::string& value) = 0;

    // Writes every change made since the last write. True when the disk
    // holds the current values (also when nothing had changed).
    virtual bool flushPending() = 0;
    virtual bool hasPendingChanges() const = 0;
    // Starts writing the changes made since the last write without waiting for the disk;
    // flushPending waits for such a write. By default the write happens at once.
    virtual void flushInBackground() {
        if (hasPendingChanges()) flushPending();
    }

    // The directory, ending in "/", where an earlier version of the store
    // left its "UserDefault.xml".
    virtual std::string legacyDirectory() const = 0;

    // Told on the main thread when changes stop reaching the disk (false, with the reason) and
    // when they reach it again (true); once for each change of state. Null tells no one.
    using SaveStateReporter = std::function<void(bool saved, const std::string& reason)>;
    void setSaveStateReporter(SaveStateReporter reporter) { saveStateReporter_ = std::move(reporter); }

protected:
    void reportSaveState(bool saved, const std::string& reason) const {
        if (saveStateReporter_) saveStateReporter_(saved, reason);
    }

private:
    SaveStateReporter saveStateReporter_;
};

// Defined by the platform layer.
std::unique_ptr<UserDefaultBackend> createUserDefaultBackend();

class UserDefault {
public:
    static UserDefault* getInstance();
    // Writes pending changes, then deletes the store.
    static void destroyInstance();
    // End-of-frame hook for the director: hands the changes made during the
    // frame to the store's writer (the file is written off the main thread),
    // so a killed game loses at most its last frame. Does nothing when no
    // store exists or nothing changed.
    static void saveIfDirty();

    bool getBoolForKey(const char* key, bool defaultValue = false);
    int getIntegerForKey(const char* key, int defaultValue = 0);
    std::string getStringForKey(const char* key, const std::string& defaultValue = std::string());

    // Stored at once in memory; on disk at the end of the frame or on flush.
    void setBoolForKey(const char* key, bool value);
    void setIntegerForKey(const char* key, int value);
    void setStringForKey(const char* key, const std::string& value);

    // Writes pending changes to disk now. True when the disk holds every value.
    bool flush();

    // Told on the main thread when the store's changes stop reaching the disk (saved false, with
    // the reason; they stay pending and are tried again at the end of every frame) and when they
    // reach it again (saved true), once for each. Not told of the last write, when the store
    // goes (destroyInstance, exit). Null removes it.
    using SaveStateListener = std::function<void(bool saved, const std::string& reason)>;
    static void setSaveStateListener(SaveStateListener listener);

    // Full path of the legacy file ("" before the first getInstance).
    static const std::string& getLegacyFilePath();

    ~UserDefault();

private:
    explicit UserDefault(std::unique_ptr<UserDefaultBackend> backend);
    static void initLegacyFilePath(const UserDefaultBackend& backend);

    // When the legacy file holds the key with a value and the store has
    // neither the key nor a record of having moved it, hands its text to
    // `store`, records the move, saves the store and drops the element; an
    // element without a value, or of a key the store has, is dropped and
    // gives false.
    bool migrateLegacyKey(const char* key, const std::function<void(const std::string&)>& store);
    void removeLegacyKey(const char* key);
    bool movedFromLegacy(const char* key) const;
    void recordMovedFromLegacy(const char* key);
    // Writes what is pending without telling the listener (the store is going).
    void flushQuietly();
    static void saveAtExit();

    std::unique_ptr<UserDefaultBackend> backend_;
};

}  // namespace kite
