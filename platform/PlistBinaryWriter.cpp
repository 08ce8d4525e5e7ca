// Writing binary property lists: objects, then their offsets, then the trailer.
#include <cstring>
#include <map>

#include "platform/PlistBinary.h"
#include "platform/Utf16.h"

namespace platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

void appendBigEndian(Bytes& out, std::uint64_t value, std::size_t width) {
    for (std::size_t i = width; i-- > 0;) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// The fewest of 1, 2, 4 or 8 bytes that hold the number.
std::size_t widthFor(std::uint64_t largest) {
    if (largest <= 0xff) return 1;
    if (largest <= 0xffff) return 2;
    if (largest <= 0xffffffffu) return 4;
    return 8;
}

class BinaryWriter {
public:
    std::optional<Bytes> write(const PlistValue& root) {
        collect(root);
        referenceSize_ = widthFor(objects_.size() - 1);
        Bytes out = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
        std::vector<std::uint64_t> offsets;
        offsets.reserve(objects_.size());
        for (const Object& object : objects_) {
            offsets.push_back(out.size());
            if (!encode(object, out)) return std::nullopt;
        }
        const std::uint64_t tableOffset = out.size();
        const std::size_t offsetSize = widthFor(tableOffset);
        for (std::uint64_t offset : offsets) appendBigEndian(out, offset, offsetSize);
        out.insert(out.end(), {0, 0, 0, 0, 0, 0, std::uint8_t(offsetSize), std::uint8_t(referenceSize_)});
        appendBigEndian(out, objects_.size(), 8);
        appendBigEndian(out, 0, 8);  // the root is the first object
        appendBigEndian(out, tableOffset, 8);
        return out;
    }

    const std::string& error() const { return error_; }

private:
    // A value, or a dictionary key (a string that is no value of its own).
    struct Object {
        const PlistValue* value;
        const std::string* key;
        std::vector<std::size_t> children;  // keys then values for a dictionary
    };

    // Numbers the objects depth-first; equal strings and keys share one object.
    std::size_t collect(const PlistValue& value) {
        if (const std::string* text = value.asString()) return collectString(*text, &value);
        const std::size_t index = objects_.size();
        objects_.push_back({&value, nullptr, {}});
        std::vector<std::size_t> children;
        if (const PlistValue::Array* items = value.asArray()) {
            for (const PlistValue& item : *items) children.push_back(collect(item));
        } else if (const PlistValue::Dictionary* entries = value.asDictionary()) {
            for (const auto& entry : *entries) children.push_back(collectString(entry.first, nullptr));
            for (const auto& entry : *entries) children.push_back(collect(entry.second));
        }
        objects_[index].children = std::move(children);
        return index;
    }

    std::size_t collectString(const std::string& text, const PlistValue* value) {
        const auto [found, added] = strings_.emplace(text, objects_.size());
        if (added) objects_.push_back({value, &found->first, {}});
        return found->second;
    }

    void marker(Bytes& out, std::uint8_t kind, std::uint64_t count) {
        if (count < 15) {
            out.push_back(std::uint8_t(kind | count));
            return;
        }
        out.push_back(std::uint8_t(kind | 0x0f));
        integer(out, std::int64_t(count));
    }

    static void integer(Bytes& out, std::int64_t number) {
        // One, two and four bytes read as unsigned, eight as signed.
        const std::size_t width = number < 0 ? 8 : widthFor(std::uint64_t(number));
        out.push_back(std::uint8_t(0x10 | (width == 1 ? 0 : width == 2 ? 1 : width == 4 ? 2 : 3)));
        appendBigEndian(out, std::uint64_t(number), width);
    }

    static void eightBytes(Bytes& out, std::uint8_t kind, double number) {
        std::uint64_t raw;
        std::memcpy(&raw, &number, sizeof raw);
        out.push_back(kind);
        appendBigEndian(out, raw, 8);
    }

    // A real read from four bytes is written back in four.
    static void real(Bytes& out, const PlistValue& value) {
        if (!value.isSingleReal()) return eightBytes(out, 0x23, *value.asReal());
        const float number = static_cast<float>(*value.asReal());
        std::uint32_t raw;
        std::memcpy(&raw, &number, sizeof raw);
        out.push_back(0x22);
        appendBigEndian(out, raw, 4);
    }

    bool string(Bytes& out, const std::string& text) {
        bool ascii = true;
        for (char c : text) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
        if (ascii) {
            marker(out, 0x50, text.size());
            out.insert(out.end(), text.begin(), text.end());
            return true;
        }
        const std::optional<std::u16string> units = utf16FromUtf8(text);
        if (!units) {
            error_ = "a string that is not UTF-8";
            return false;
        }
        marker(out, 0x60, units->size());
        for (char16_t unit : *units) appendBigEndian(out, unit, 2);
        return true;
    }

    bool encode(const Object& object, Bytes& out) {
        if (object.key) return string(out, *object.key);
        const PlistValue& value = *object.value;
        switch (value.type()) {
            case PlistValue::Type::String: return string(out, *value.asString());
            case PlistValue::Type::Integer: integer(out, *value.asInteger()); return true;
            case PlistValue::Type::Real: real(out, value); return true;
            case PlistValue::Type::Date: eightBytes(out, 0x33, *value.asDate()); return true;
            case PlistValue::Type::Boolean: out.push_back(*value.asBoolean() ? 0x09 : 0x08); return true;
            case PlistValue::Type::Data:
                marker(out, 0x40, value.asData()->size());
                out.insert(out.end(), value.asData()->begin(), value.asData()->end());
                return true;
            case PlistValue::Type::Array:
            case PlistValue::Type::Dictionary: {
                const bool isArray = value.type() == PlistValue::Type::Array;
                const std::size_t count = isArray ? object.children.size() : object.children.size() / 2;
                marker(out, isArray ? 0xa0 : 0xd0, count);
                for (std::size_t child : object.children) appendBigEndian(out, child, referenceSize_);
                return true;
            }
        }
        return false;
    }

    std::vector<Object> objects_;
    std::map<std::string, std::size_t> strings_;
    std::size_t referenceSize_ = 1;
    std::string error_;
};

}  // namespace

std::optional<std::vector<std::uint8_t>> encodePlistBinary(const PlistValue& root, std::string* error,
                                                           const PlistLimits& limits) {
    auto refuse = [error](const std::string& reason) -> std::optional<Bytes> {
        if (error) *error = reason;
        return std::nullopt;
    };
    // Shared text is written once, but read back as often as it is used.
    std::string reason;
    if (!withinPlistLimits(root, limits, &reason)) return refuse(reason);
    BinaryWriter writer;
    std::optional<Bytes> bytes = writer.write(root);
    if (!bytes) return refuse(writer.error());
    if (bytes->size() > maxBinaryBytes(limits)) return refuse("larger than allowed");
    return bytes;
}

}  // namespace platform
