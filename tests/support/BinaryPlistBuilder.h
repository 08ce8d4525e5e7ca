// Builds binary property lists byte by byte, as another program would write them.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace kite {
namespace test {

class BinaryPlistBuilder {
public:
    using Bytes = std::vector<std::uint8_t>;

    // Each adds one object and answers its index.
    std::size_t ascii(const std::string& text) {
        return add(marked(0x50, text.size()), Bytes(text.begin(), text.end()));
    }
    std::size_t utf16(const std::u16string& text) {
        Bytes units;
        for (char16_t unit : text) units.insert(units.end(), {std::uint8_t(unit >> 8), std::uint8_t(unit)});
        return add(marked(0x60, text.size()), units);
    }
    std::size_t data(const Bytes& bytes) { return add(marked(0x40, bytes.size()), bytes); }
    std::size_t integer(std::int64_t number) { return add({0x13}, bigEndian(std::uint64_t(number), 8)); }
    // Reals in four or eight bytes; a date is eight bytes of seconds since 2001.
    std::size_t real32(float number) {
        std::uint32_t raw;
        std::memcpy(&raw, &number, sizeof raw);
        return add({0x22}, bigEndian(raw, 4));
    }
    std::size_t real64(double number) { return add({0x23}, bigEndian(bits(number), 8)); }
    std::size_t date(double secondsSince2001) { return add({0x33}, bigEndian(bits(secondsSince2001), 8)); }
    std::size_t boolean(bool truth) { return add({std::uint8_t(truth ? 0x09 : 0x08)}, {}); }
    std::size_t array(const std::vector<std::size_t>& items) { return add(marked(0xa0, items.size()), refs(items)); }
    std::size_t dictionary(const std::vector<std::size_t>& keys, const std::vector<std::size_t>& values) {
        Bytes body = refs(keys);
        const Bytes valueRefs = refs(values);
        body.insert(body.end(), valueRefs.begin(), valueRefs.end());
        return add(marked(0xd0, keys.size()), body);
    }
    // Any bytes as an object, for damaged ones.
    std::size_t raw(const Bytes& bytes) { return add(bytes, {}); }

    Bytes build(std::size_t top, std::uint8_t offsetSize = 2) const {
        Bytes out = {'b', 'p', 'l', 'i', 's', 't', '0', '0'};
        std::vector<std::uint64_t> offsets;
        for (const Bytes& object : objects_) {
            offsets.push_back(out.size());
            out.insert(out.end(), object.begin(), object.end());
        }
        const std::uint64_t table = out.size();
        for (std::uint64_t offset : offsets) {
            const Bytes digits = bigEndian(offset, offsetSize);
            out.insert(out.end(), digits.begin(), digits.end());
        }
        out.insert(out.end(), {0, 0, 0, 0, 0, 0, offsetSize, 1});
        for (std::uint64_t field : {std::uint64_t(objects_.size()), std::uint64_t(top), table}) {
            const Bytes digits = bigEndian(field, 8);
            out.insert(out.end(), digits.begin(), digits.end());
        }
        return out;
    }

private:
    static std::uint64_t bits(double number) {
        std::uint64_t raw;
        std::memcpy(&raw, &number, sizeof raw);
        return raw;
    }
    static Bytes bigEndian(std::uint64_t value, std::size_t width) {
        Bytes digits(width);
        for (std::size_t i = 0; i < width; ++i) digits[width - 1 - i] = std::uint8_t(value >> (8 * i));
        return digits;
    }
    // A marker with its count, the count following as an integer object from 15 on.
    static Bytes marked(std::uint8_t type, std::size_t count) {
        if (count < 15) return {std::uint8_t(type | count)};
        Bytes marker = {std::uint8_t(type | 0x0f), 0x13};
        const Bytes digits = bigEndian(count, 8);
        marker.insert(marker.end(), digits.begin(), digits.end());
        return marker;
    }
    static Bytes refs(const std::vector<std::size_t>& indexes) { return Bytes(indexes.begin(), indexes.end()); }
    std::size_t add(Bytes head, const Bytes& body) {
        head.insert(head.end(), body.begin(), body.end());
        objects_.push_back(std::move(head));
        return objects_.size() - 1;
    }

    std::vector<Bytes> objects_;
};

// One data object, an array of `fan` references to it and an array of `fan`
// references to that array: a few kilobytes that hold fan * fan copies of the
// data once every reference is followed. Answers the outer array's index.
inline std::size_t addSharedFanOut(BinaryPlistBuilder& plist, std::size_t dataBytes, std::size_t fan) {
    const std::size_t data = plist.data(BinaryPlistBuilder::Bytes(dataBytes, 0x5a));
    const std::size_t inner = plist.array(std::vector<std::size_t>(fan, data));
    return plist.array(std::vector<std::size_t>(fan, inner));
}

}  // namespace test
}  // namespace kite
