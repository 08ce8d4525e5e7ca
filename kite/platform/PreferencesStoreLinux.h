// The preferences backend on Linux: a typed map kept as an XML property list, saved atomically.
#pragma once
#include "kite/foundation/UserDefault.h"
#include "kite/foundation/Value.h"
#include "kite/platform/PreferencesWriter.h"

#include <memory>
#include <string>

namespace kite {

// Values live in memory and reach the file through flushPending, which
// writes a synced temporary file and renames it over the old one: the file
// is always either the previous save or the new one, never torn.
// Reading a key stored with another type converts the way the phone's
// defaults did: numbers and booleans read as each other (non-zero is true),
// text reads as a boolean when it starts with Y, y, T, t or a digit 1-9
// (after spaces, a sign and zeros) and as an integer from its leading
// digits; numbers read as decimal text, booleans as "1" or "0".
class PreferencesStoreLinux : public UserDefaultBackend {
public:
    // Loads the file when it exists. A value whose text has no reading is
    // left out with a log line. A damaged file, or one past 1 MiB, is moved
    // aside to "<file>.damaged" (".damaged.1", ".damaged.2"... when that
    // exists) with a log line and the store starts empty. One that cannot be
    // read (or not moved aside) is left as it is with a log line, and nothing
    // is saved over it this run. A file found open to others is narrowed to
    // its owner (0600) here, as a run that changes nothing never saves.
    explicit PreferencesStoreLinux(std::string filePath);

    // $XDG_CONFIG_HOME/stargrid/UserDefaults.plist (default ~/.config/stargrid/), in the config folder as
    // platform::configFolder() makes and checks it; empty without one, and a store on no file reads
    // nothing and saves nothing.
    static std::string defaultFilePath();

    bool getBool(const std::string& key, bool& value) const override;
    bool getInteger(const std::string& key, int& value) const override;
    bool getString(const std::string& key, std::string& value) const override;
    bool hasKey(const std::string& key) const override;
    void setBool(const std::string& key, bool value) override;
    void setInteger(const std::string& key, int value) override;
    void setString(const std::string& key, const std::string& value) override;

    bool flushPending() override;
    bool hasPendingChanges() const override { return dirty_; }
    // The values are serialised here; the writer thread writes, syncs and renames.
    void flushInBackground() override;

    // $XDG_CACHE_HOME/stargrid/ (default ~/.cache/stargrid/), checked as platform::cacheFolder does;
    // empty (said once) when it is refused or there is no home.
    std::string legacyDirectory() const override;

    const std::string& filePath() const { return path_; }

private:
    void load();
    void setDamagedFileAside(const char* problem);
    void keepFileAsItIs(const std::string& why);
    void store(const std::string& key, Value value);
    bool writeFile(const std::string& bytes) const;
    // A failed write makes the values pending again. A change between saved and failing is
    // logged and reported once.
    void noteWriteOutcome(PreferencesWriter::Outcome outcome, int error);
    // The background writer's last outcome, waiting for it to finish when asked.
    void noteWriterOutcome(bool wait);
    void noteReadOnly();
    const Value* find(const std::string& key) const;

    std::string path_;
    ValueMap values_;
    bool dirty_ = false;
    bool failing_ = false;   // the last save failed, or there is nothing to save to
    bool readOnly_ = false;  // the file exists but could not be taken
    std::string readOnlyReason_;
    std::unique_ptr<PreferencesWriter> writer_;  // started by the first background save
};

}  // namespace kite
