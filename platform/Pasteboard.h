// Pasteboards shared by every program of the user: the general one and named ones.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/PlistValue.h"

namespace platform {

// A pasteboard is one file (a binary property list, mode 0600) holding its items
// by type, each item data, a string or a property list: under
// "stargrid-pasteboards" in the runtime folder (runtimeFolder(): the session's,
// emptied at logout), or, once made persistent, under
// $XDG_DATA_HOME/stargrid/pasteboards/. Every change replaces the file
// atomically, so a reader sees the old items or the new ones, never a torn file;
// changes and read-and-wipe take the pasteboard's lock, so an item is taken by
// one reader only. A lock another program keeps is waited for half a second at
// most: the call then fails with a line saying so; a lock file or a pasteboard's
// file that is a link is never followed. Each call works in the folders it
// checked at its start, held open, whatever their paths name meanwhile. A damaged file, one that is not a regular file
// (a FIFO) or one past the property-list readers' limit reads as no items, said in one line; files of the older XML
// form are read too.
class Pasteboard {
public:
    using Data = std::vector<std::uint8_t>;

    // The pasteboard every program reads and writes.
    static Pasteboard general();
    // The pasteboard of that name; when it does not exist yet it is made
    // (empty) if `create` is set, else nothing is returned.
    static std::optional<Pasteboard> named(const std::string& name, bool create);
    // The folders that hold the pasteboards of the session and the persistent
    // ones, made (mode 0700) when missing. Each must be a folder, not a link, the
    // player's own, and closed to others (one of the player's that is open is
    // narrowed, bits only taken away); otherwise it is refused, said once a
    // process, the result is empty and every pasteboard call on it fails.
    static std::string folder();
    static std::string persistentFolder();

    const std::string& name() const { return name_; }

    // Moves the pasteboard's file to the persistent folder, or back. False
    // when the file cannot be moved (it then stays where it was).
    bool setPersistent(bool persistent);
    bool isPersistent() const;

    // The item of that type. A string item reads as its UTF-8 bytes and a
    // property-list item in its binary form; data reads as a string as it is and as a
    // property list when it parses as one (XML or binary).
    std::optional<Data> data(const std::string& type) const;
    std::optional<std::string> string(const std::string& type) const;
    std::optional<PlistValue> propertyList(const std::string& type) const;

    // Each replaces every item of the pasteboard with this one, as a copy
    // onto a pasteboard does. False when the file cannot be written, or
    // would not read back: a string that is not UTF-8, or a file past the
    // readers' default PlistLimits.
    bool setData(const std::string& type, const Data& bytes);
    bool setString(const std::string& type, const std::string& text);
    bool setPropertyList(const std::string& type, const PlistValue& value);

    // The item's data, leaving empty data of that type behind, as one step
    // under the lock: two readers never both get the same item. When `accept`
    // is given and answers false the item stays as it is (and is returned).
    std::optional<Data> takeData(const std::string& type, const std::function<bool(const Data&)>& accept = nullptr);

private:
    // The pasteboard's two files for one call, reached through the folders checked at its start.
    struct Files;
    Pasteboard(std::string name, std::string fileName) : name_(std::move(name)), fileName_(std::move(fileName)) {}
    Files files() const;

    struct Item {
        std::string kind;
        PlistValue value;
    };
    std::optional<Item> item(const Files& files, const std::string& type) const;
    std::optional<Data> dataOf(const Item& item, const std::string& type) const;
    bool replaceItems(const std::string& type, const char* kind, PlistValue value);

    std::string name_;
    std::string fileName_;
};

}  // namespace platform
