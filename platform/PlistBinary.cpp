// Reading binary property lists, every offset and count checked against the bytes.
#include "platform/PlistBinary.h"

#include <cstring>
#include <new>
#include <vector>

#include "platform/Utf16.h"

namespace platform {
namespace {

constexpr char kMagic[] = "bplist00";
constexpr std::size_t kMagicSize = 8;
constexpr std::size_t kTrailerSize = 32;

class BinaryReader {
public:
    BinaryReader(const std::uint8_t* bytes, std::size_t size, const PlistLimits& limits)
        : bytes_(bytes), size_(size), limits_(limits) {}

    std::optional<PlistValue> read() {
        if (size_ < kMagicSize + kTrailerSize || std::memcmp(bytes_, kMagic, kMagicSize) != 0) {
            return fail("not a binary property list");
        }
        if (size_ > maxBinaryBytes(limits_)) return fail("larger than allowed");
        const std::uint8_t* trailer = bytes_ + size_ - kTrailerSize;
        offsetSize_ = trailer[6];
        referenceSize_ = trailer[7];
        objectCount_ = bigEndian(trailer + 8, 8);
        const std::uint64_t top = bigEndian(trailer + 16, 8);
        tableOffset_ = bigEndian(trailer + 24, 8);
        const std::uint64_t tableEnd = size_ - kTrailerSize;
        if (offsetSize_ < 1 || offsetSize_ > 8 || referenceSize_ < 1 || referenceSize_ > 8) {
            return fail("bad offset or reference size");
        }
        if (tableOffset_ < kMagicSize || tableOffset_ > tableEnd ||
            objectCount_ > (tableEnd - tableOffset_) / offsetSize_ || top >= objectCount_) {
            return fail("offset table outside the bytes");
        }
        return object(top, 0);
    }

    const std::string& error() const { return error_; }

private:
    std::nullopt_t fail(std::string reason) {
        if (error_.empty()) error_ = std::move(reason);
        return std::nullopt;
    }

    // Counts text or data the decoded value is about to hold, before it is made.
    // An object referenced again is copied again, so this, with the count of
    // values, is what bounds a few shared objects that fan out.
    bool spend(std::uint64_t bytes) {
        if (bytes > limits_.maxBytes - decoded_) return false;
        decoded_ += bytes;
        return true;
    }

    std::nullopt_t tooManyBytes() { return fail(tooManyBytesReason(limits_)); }

    static std::uint64_t bigEndian(const std::uint8_t* at, std::size_t count) {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < count; ++i) value = (value << 8) | at[i];
        return value;
    }

    // Bytes [offset, offset + count) of the object area, or null when they are not there.
    const std::uint8_t* span(std::uint64_t offset, std::uint64_t count) const {
        const std::uint64_t end = tableOffset_;
        if (offset < kMagicSize || offset > end || count > end - offset) return nullptr;
        return bytes_ + offset;
    }

    // The count of a container or string: the marker's low nibble, or an integer object after it.
    std::optional<std::uint64_t> count(std::uint8_t marker, std::uint64_t& cursor) {
        if ((marker & 0x0f) != 0x0f) return marker & 0x0f;
        const std::uint8_t* intMarker = span(cursor, 1);
        if (!intMarker || (*intMarker & 0xf0) != 0x10 || (*intMarker & 0x0f) > 3) return std::nullopt;
        const std::size_t width = std::size_t(1) << (*intMarker & 0x0f);
        const std::uint8_t* digits = span(cursor + 1, width);
        if (!digits) return std::nullopt;
        cursor += 1 + width;
        return bigEndian(digits, width);
    }

    std::optional<PlistValue> object(std::uint64_t index, int depth) {
        if (depth > limits_.maxDepth) return fail("nested deeper than allowed (or a cycle)");
        if (++values_ > limits_.maxValues) return fail("more values than allowed");
        std::uint64_t cursor = 0;
        const std::uint8_t* marker = markerOf(index, cursor);
        if (!marker) return fail("object outside the bytes");
        const std::uint8_t type = *marker >> 4;
        if (*marker == 0x08 || *marker == 0x09) return PlistValue::boolean(*marker == 0x09);
        if (type == 0x1) return integer(*marker, cursor);
        if (type == 0x2) return real(*marker & 0x0f, cursor);
        if (*marker == 0x33) return date(cursor);
        const std::optional<std::uint64_t> items = count(*marker, cursor);
        if (!items) return fail("bad count");
        switch (type) {
            case 0x4: return data(cursor, *items);
            case 0x5:
            case 0x6: {
                std::optional<std::string> text = type == 0x5 ? ascii(cursor, *items) : utf16(cursor, *items);
                if (!text) return std::nullopt;
                return PlistValue(std::move(*text));
            }
            case 0xa: return array(cursor, *items, depth);
            case 0xd: return dictionary(cursor, *items, depth);
            default: return fail("object of an unsupported kind");
        }
    }

    // The marker of an object, with the cursor just past it.
    const std::uint8_t* markerOf(std::uint64_t index, std::uint64_t& cursor) const {
        const std::uint64_t offset = bigEndian(bytes_ + tableOffset_ + index * offsetSize_, offsetSize_);
        cursor = offset + 1;
        return span(offset, 1);
    }

    // A dictionary key: text that costs its bytes but, as in the XML form, is no value.
    std::optional<std::string> key(std::uint64_t index) {
        std::uint64_t cursor = 0;
        const std::uint8_t* marker = markerOf(index, cursor);
        if (!marker) return fail("object outside the bytes");
        const std::uint8_t type = *marker >> 4;
        if (type != 0x5 && type != 0x6) return fail("dictionary key that is not a string");
        const std::optional<std::uint64_t> units = count(*marker, cursor);
        if (!units) return fail("bad count");
        return type == 0x5 ? ascii(cursor, *units) : utf16(cursor, *units);
    }

    std::optional<PlistValue> integer(std::uint8_t marker, std::uint64_t cursor) {
        const std::size_t width = std::size_t(1) << (marker & 0x0f);
        if (width > 8) return fail("integer wider than 64 bits");
        const std::uint8_t* digits = span(cursor, width);
        if (!digits) return fail("integer outside the bytes");
        // One to four bytes are unsigned, eight bytes signed.
        return PlistValue::integer(static_cast<std::int64_t>(bigEndian(digits, width)));
    }

    std::optional<PlistValue> real(int sizeLog, std::uint64_t cursor) {
        if (sizeLog != 2 && sizeLog != 3) return fail("real of an unsupported width");
        const std::size_t width = std::size_t(1) << sizeLog;
        const std::uint8_t* digits = span(cursor, width);
        if (!digits) return fail("real outside the bytes");
        const std::uint64_t raw = bigEndian(digits, width);
        if (width == 4) {
            float number;
            const std::uint32_t narrow = static_cast<std::uint32_t>(raw);
            std::memcpy(&number, &narrow, sizeof number);
            return PlistValue::singleReal(number);
        }
        double number;
        std::memcpy(&number, &raw, sizeof number);
        return PlistValue::real(number);
    }

    std::optional<PlistValue> date(std::uint64_t cursor) {
        const std::uint8_t* digits = span(cursor, 8);
        if (!digits) return fail("date outside the bytes");
        const std::uint64_t raw = bigEndian(digits, 8);
        double seconds;
        std::memcpy(&seconds, &raw, sizeof seconds);
        return PlistValue::date(seconds);
    }

    std::optional<PlistValue> data(std::uint64_t cursor, std::uint64_t size) {
        const std::uint8_t* bytes = span(cursor, size);
        if (!bytes) return fail("data outside the bytes");
        if (!spend(size)) return tooManyBytes();
        return PlistValue(PlistValue::Data(bytes, bytes + size));
    }

    std::optional<std::string> ascii(std::uint64_t cursor, std::uint64_t length) {
        const std::uint8_t* text = span(cursor, length);
        if (!text) return fail("string outside the bytes");
        for (std::uint64_t i = 0; i < length; ++i) {
            if (text[i] >= 0x80) return fail("ASCII string with a byte above 127");
        }
        if (!spend(length)) return tooManyBytes();
        return std::string(reinterpret_cast<const char*>(text), length);
    }

    // Hands each code point of UTF-16 text to `take`; the reason when a surrogate is broken.
    template <typename Take>
    static const char* eachCodePoint(const std::uint8_t* text, std::uint64_t units, Take take) {
        for (std::uint64_t i = 0; i < units; ++i) {
            std::uint32_t code = std::uint32_t(bigEndian(text + i * 2, 2));
            if (code >= 0xd800 && code <= 0xdbff && i + 1 < units) {
                const std::uint32_t low = std::uint32_t(bigEndian(text + (i + 1) * 2, 2));
                if (low < 0xdc00 || low > 0xdfff) return "broken UTF-16 surrogate pair";
                code = 0x10000 + ((code - 0xd800) << 10) + (low - 0xdc00);
                ++i;
            } else if (code >= 0xd800 && code <= 0xdfff) {
                return "lone UTF-16 surrogate";
            }
            take(code);
        }
        return nullptr;
    }

    std::optional<std::string> utf16(std::uint64_t cursor, std::uint64_t units) {
        if (units > tableOffset_ / 2) return fail("string outside the bytes");
        const std::uint8_t* text = span(cursor, units * 2);
        if (!text) return fail("string outside the bytes");
        // Measured first, so that text past the limit is never made.
        std::uint64_t length = 0;
        const char* broken = eachCodePoint(text, units, [&length](std::uint32_t code) {
            length += code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
        });
        if (broken) return fail(broken);
        if (!spend(length)) return tooManyBytes();
        std::string utf8;
        utf8.reserve(length);
        eachCodePoint(text, units, [&utf8](std::uint32_t code) { appendUtf8(utf8, code); });
        return utf8;
    }

    // The object references of a container, each checked to name an object;
    // null when they do not. Read in place: a count is no reason to allocate.
    const std::uint8_t* references(std::uint64_t cursor, std::uint64_t count) const {
        if (count > tableOffset_ / referenceSize_) return nullptr;
        const std::uint8_t* refs = span(cursor, count * referenceSize_);
        if (!refs) return nullptr;
        for (std::uint64_t i = 0; i < count; ++i) {
            if (reference(refs, i) >= objectCount_) return nullptr;
        }
        return refs;
    }

    std::uint64_t reference(const std::uint8_t* refs, std::uint64_t i) const {
        return bigEndian(refs + i * referenceSize_, referenceSize_);
    }

    std::optional<PlistValue> array(std::uint64_t cursor, std::uint64_t count, int depth) {
        const std::uint8_t* refs = references(cursor, count);
        if (!refs) return fail("array references outside the bytes");
        PlistValue::Array items;
        for (std::uint64_t i = 0; i < count; ++i) {
            auto item = object(reference(refs, i), depth + 1);
            if (!item) return std::nullopt;
            items.push_back(std::move(*item));
        }
        return PlistValue(std::move(items));
    }

    std::optional<PlistValue> dictionary(std::uint64_t cursor, std::uint64_t count, int depth) {
        if (count > tableOffset_ / 2) return fail("dictionary larger than the bytes");
        const std::uint8_t* refs = references(cursor, count * 2);
        if (!refs) return fail("dictionary references outside the bytes");
        PlistValue::Dictionary entries;
        for (std::uint64_t i = 0; i < count; ++i) {
            std::optional<std::string> name = key(reference(refs, i));
            if (!name) return std::nullopt;
            auto value = object(reference(refs, count + i), depth + 1);
            if (!value) return std::nullopt;
            // Keeping one of two would lose the other when the list is written back.
            if (!entries.emplace(std::move(*name), std::move(*value)).second) return fail("a repeated key");
        }
        return PlistValue(std::move(entries));
    }

    const std::uint8_t* bytes_;
    std::size_t size_;
    const PlistLimits& limits_;
    std::size_t offsetSize_ = 0;
    std::size_t referenceSize_ = 0;
    std::uint64_t objectCount_ = 0;
    std::uint64_t tableOffset_ = 0;
    std::size_t values_ = 0;
    std::uint64_t decoded_ = 0;  // text and data bytes the values read so far hold
    std::string error_;
};

// What the limits allow does not fit in memory: the list is refused like any other.
std::optional<PlistValue> outOfMemory(std::string* error) {
    if (error) *error = "not enough memory to decode it";
    return std::nullopt;
}

}  // namespace

std::optional<PlistValue> decodePlistBinary(const std::uint8_t* bytes, std::size_t size, std::string* error,
                                            const PlistLimits& limits) {
    try {
        BinaryReader reader(bytes, size, limits);
        auto value = reader.read();
        if (!value && error) *error = reader.error();
        return value;
    } catch (const std::bad_alloc&) {
        return outOfMemory(error);
    }
}

std::optional<PlistValue> decodePlist(const std::uint8_t* bytes, std::size_t size, std::string* error,
                                      const PlistLimits& limits) {
    if (size >= kMagicSize && std::memcmp(bytes, kMagic, kMagicSize) == 0) {
        return decodePlistBinary(bytes, size, error, limits);
    }
    try {
        return decodePlistXml(reinterpret_cast<const char*>(bytes), size, error, limits);
    } catch (const std::bad_alloc&) {
        return outOfMemory(error);
    }
}

}  // namespace platform
