// The shared device identifier and its slot pasteboards.
#include "sdk/pigeon/statistics/PGStatOpenUDID.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>
#include <mutex>
#include <random>

#include "platform/Pasteboard.h"
#include "platform/UserDefaults.h"
#include "sdk/pigeon/statistics/PGStatHelper.h"
#include "sdk/pigeon/statistics/PGStatSupport.h"

namespace pigeon {

namespace {

using Dictionary = platform::PlistValue::Dictionary;

constexpr char kKey[] = "OpenUDID";
constexpr char kAppUIDKey[] = "OpenUDID_appUID";
constexpr char kCreatedKey[] = "OpenUDID_createdTS";
constexpr char kSlotKey[] = "OpenUDID_slot";
constexpr char kOptOutKey[] = "OpenUDID_optOutTS";
constexpr char kSlotPrefix[] = "org.OpenUDID.slot.";
constexpr char kPasteboardType[] = "org.OpenUDID";
constexpr int kSlotCount = 100;

std::mutex cacheMutex;
std::optional<std::string> cachedValue;

const std::string* textOf(const Dictionary& dict, const char* key) {
    const auto found = dict.find(key);
    return found == dict.end() ? nullptr : found->second.asString();
}

std::string optedOutValue() { return std::string(40, '0'); }

// A moment as the record keeps it (a date, or seconds since 1970 from older records),
// written "2023-11-14 22:13:20 +0000".
std::string dateDescription(const std::optional<platform::PlistValue>& moment) {
    std::optional<double> seconds;
    if (moment && moment->asDate()) seconds = *moment->asDate() + platform::PlistValue::kSecondsFrom1970To2001;
    if (moment && moment->asInteger()) seconds = double(*moment->asInteger());
    if (!seconds || !(*seconds > -1e12 && *seconds < 1e12)) return "(null)";
    const std::time_t whole = static_cast<std::time_t>(std::floor(*seconds));
    std::tm utc{};
    gmtime_r(&whole, &utc);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S +0000", &utc);
    return text;
}

platform::PlistValue dateNow() {
    return platform::PlistValue::date(double(statNow()) - platform::PlistValue::kSecondsFrom1970To2001);
}

// What the slots say: each identifier's count, the first free slot, this application's own slot.
struct SlotScan {
    std::map<std::string, int> counts;
    std::optional<std::string> freeSlot;
    std::optional<std::string> ownSlot;
    std::optional<platform::PlistValue> ownOptOut;
};

SlotScan scanSlots(const std::string& appUID) {
    SlotScan scan;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const std::string name = kSlotPrefix + std::to_string(slot);
        const std::optional<platform::Pasteboard> board = platform::Pasteboard::named(name, false);
        const Dictionary dict = board ? PGStatOpenUDID::_getDictFromPasteboard(*board) : Dictionary();
        const std::string* id = textOf(dict, kKey);
        if (!id) {
            if (!scan.freeSlot) scan.freeSlot = name;
            continue;
        }
        ++scan.counts[*id];
        const std::string* owner = textOf(dict, kAppUIDKey);
        if (owner && *owner == appUID) {
            scan.ownSlot = name;
            if (const auto optOut = dict.find(kOptOutKey); optOut != dict.end()) scan.ownOptOut = optOut->second;
        }
    }
    return scan;
}

std::optional<std::string> mostReliable(const std::map<std::string, int>& counts) {
    std::optional<std::string> best;
    int bestCount = 0;
    for (const auto& [id, count] : counts) {
        if (count >= bestCount) {
            best = id;
            bestCount = count;
        }
    }
    return best;
}

std::string appUID() {
    platform::UserDefaults& defaults = PGStatOpenUDID::defaults();
    const std::optional<platform::PlistValue> stored = defaults.value(kAppUIDKey);
    if (stored && stored->asString() && !stored->asString()->empty()) return *stored->asString();
    const std::string fresh = PGStatHelper::uuidString();
    defaults.set(kAppUIDKey, fresh);
    return fresh;
}

}  // namespace

platform::UserDefaults& PGStatOpenUDID::defaults() { return platform::UserDefaults::named("pigeon-defaults"); }

std::string PGStatOpenUDID::_generateFreshOpenUDID() {
    thread_local std::mt19937 random{std::random_device{}()};
    std::string text = PGStatHelper::md5Hex(PGStatHelper::uuidString());
    char tail[9];
    std::snprintf(tail, sizeof tail, "%08x", static_cast<unsigned>(random()));
    return text + tail;
}

Dictionary PGStatOpenUDID::_getDictFromPasteboard(const platform::Pasteboard& board) {
    const std::optional<platform::PlistValue> value = board.propertyList(kPasteboardType);
    return value && value->asDictionary() ? *value->asDictionary() : Dictionary();
}

bool PGStatOpenUDID::_setDict(const Dictionary& dict, platform::Pasteboard& board) {
    return board.setPropertyList(kPasteboardType, platform::PlistValue(dict));
}

std::string PGStatOpenUDID::value() { return valueWithError(nullptr); }

std::string PGStatOpenUDID::valueWithError(Error* error) {
    std::lock_guard<std::mutex> lock(cacheMutex);
    if (cachedValue) {
        if (error) *error = {0, "OpenUDID in cache from first call"};
        return *cachedValue;
    }
    const std::string ownId = appUID();
    const std::optional<platform::PlistValue> stored = defaults().value(kKey);
    std::optional<Dictionary> record;
    if (stored && stored->asDictionary()) record = *stored->asDictionary();
    std::optional<std::string> identifier, ownSlot;
    std::optional<platform::PlistValue> optOut;
    if (record) {
        if (const std::string* id = textOf(*record, kKey)) identifier = *id;
        if (const std::string* slot = textOf(*record, kSlotKey)) ownSlot = *slot;
        if (const auto found = record->find(kOptOutKey); found != record->end()) optOut = found->second;
    }
    SlotScan scan = scanSlots(ownId);
    if (!ownSlot) ownSlot = scan.ownSlot;
    if (!optOut) optOut = scan.ownOptOut;
    const std::optional<std::string> reliable = mostReliable(scan.counts);
    bool save = false;
    if (!identifier) {
        identifier = reliable ? *reliable : _generateFreshOpenUDID();
        if (!record) {
            record = Dictionary{{kKey, *identifier}, {kAppUIDKey, ownId}, {kCreatedKey, dateNow()}};
            if (optOut) (*record)[kOptOutKey] = *optOut;
            save = true;
        } else {
            (*record)[kKey] = *identifier;
            save = true;
        }
    }
    const bool discrepancy = reliable && *reliable != *identifier;
    if (scan.freeSlot && (!ownSlot || *ownSlot == *scan.freeSlot)) {
        std::optional<platform::Pasteboard> board = platform::Pasteboard::named(*scan.freeSlot, true);
        if (board && board->setPersistent(true)) {
            (*record)[kSlotKey] = *scan.freeSlot;
            save = true;
            _setDict(*record, *board);
        }
    }
    if (save) defaults().set(kKey, platform::PlistValue(*record));
    if (optOut) {
        cachedValue = optedOutValue();
        if (error) {
            *error = {1, "Application with unique id " + ownId + " is opted-out from OpenUDID as of " +
                             dateDescription(optOut)};
        }
        return *cachedValue;
    }
    cachedValue = *identifier;
    if (error) {
        *error = discrepancy ? Error{2,
                                     "Found a discrepancy between stored OpenUDID (reliable) and redundant copies; "
                                     "one of the apps on the device is most likely corrupting the OpenUDID protocol"}
                             : Error{0, "OpenUDID succesfully retrieved"};
    }
    return *cachedValue;
}

void PGStatOpenUDID::setOptOut(bool optOut) {
    value();
    const std::optional<platform::PlistValue> stored = defaults().value(kKey);
    Dictionary record = stored && stored->asDictionary() ? *stored->asDictionary() : Dictionary();
    if (optOut) {
        record[kOptOutKey] = dateNow();
    } else {
        record.erase(kOptOutKey);
    }
    defaults().set(kKey, platform::PlistValue(record));
    clearCacheForTesting();
}

void PGStatOpenUDID::clearCacheForTesting() {
    std::lock_guard<std::mutex> lock(cacheMutex);
    cachedValue.reset();
}

}  // namespace pigeon
