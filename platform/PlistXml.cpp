// Property lists in their XML form: written by hand, read on tinyxml2.
#include "platform/PlistXml.h"

#include <tinyxml2.h>

#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/Base64.h"
#include "platform/PrintableText.h"
#include "platform/Utf16.h"

namespace platform {
namespace {

using tinyxml2::XMLElement;
using tinyxml2::XMLNode;

// Days from 1970-01-01 to a civil date of the proleptic Gregorian calendar, and back.
std::int64_t daysFromCivil(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void civilFromDays(std::int64_t days, std::int64_t* year, unsigned* month, unsigned* day) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t dayOfEra = days - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    *day = unsigned(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    *month = unsigned(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    *year = yearOfEra + era * 400 + (*month <= 2);
}

constexpr std::int64_t kDaysFrom1970To2001 = 11323;
// Dates whose year has four digits: all that the text form can carry.
constexpr double kEarliestDate = -63145526400.0;  // 0000-01-01 from 2001
constexpr double kLatestDate = 252423993599.0;    // 9999-12-31 23:59:59 from 2001

// "2001-01-01T00:00:00Z"; whole seconds, as the form has no fractions.
std::string dateText(double secondsSince2001) {
    double clamped = std::isnan(secondsSince2001) ? 0.0 : secondsSince2001;
    clamped = std::fmin(std::fmax(clamped, kEarliestDate), kLatestDate);
    const std::int64_t seconds = static_cast<std::int64_t>(std::floor(clamped));
    std::int64_t days = seconds / 86400, rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    std::int64_t year = 0;
    unsigned month = 0, day = 0;
    civilFromDays(days + kDaysFrom1970To2001, &year, &month, &day);
    char text[32];
    std::snprintf(text, sizeof text, "%04" PRId64 "-%02u-%02uT%02u:%02u:%02uZ", year, month, day, unsigned(rest / 3600),
                  unsigned(rest / 60 % 60), unsigned(rest % 60));
    return text;
}

std::optional<double> parseDate(const std::string& text) {
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    int consumed = 0;
    if (text.size() != 20 ||
        std::sscanf(text.c_str(), "%4u-%2u-%2uT%2u:%2u:%2uZ%n", &year, &month, &day, &hour, &minute, &second,
                    &consumed) != 6 ||
        consumed != 20) {
        return std::nullopt;
    }
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59) return std::nullopt;
    const std::int64_t days = daysFromCivil(year, month, day) - kDaysFrom1970To2001;
    return double(days * 86400 + hour * 3600 + minute * 60 + second);
}

// Text as XML carries it back unchanged: markup characters as entities, and
// control characters (a carriage return, which readers turn into a line feed,
// and those XML has no raw form for) as character references. Text of nothing
// but blanks, which readers drop, starts with a reference too.
void appendEscaped(std::string& out, const std::string& text) {
    const bool onlyBlanks = !text.empty() && text.find_first_not_of(" \t\n") == std::string::npos;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const unsigned char byte = static_cast<unsigned char>(c);
        if (onlyBlanks && i == 0) {
            out += "&#" + std::to_string(byte) + ";";
        } else if (c == '&') {
            out += "&amp;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (byte < 0x20 && c != '\t' && c != '\n') {
            out += "&#" + std::to_string(byte) + ";";
        } else {
            out += c;
        }
    }
}

class XmlWriter {
public:
    std::string write(const PlistValue& root) {
        out_ =
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" "
            "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
            "<plist version=\"1.0\">\n";
        value(root, 0);
        out_ += "</plist>\n";
        return std::move(out_);
    }

private:
    void leaf(const char* element, const std::string& text, int depth) {
        out_.append(std::size_t(depth), '\t');
        out_ += std::string("<") + element + ">";
        appendEscaped(out_, text);
        out_ += std::string("</") + element + ">\n";
    }

    void value(const PlistValue& value, int depth) {
        char number[40];
        switch (value.type()) {
            case PlistValue::Type::String: leaf("string", *value.asString(), depth); break;
            case PlistValue::Type::Integer:
                *std::to_chars(number, number + sizeof number - 1, *value.asInteger()).ptr = '\0';
                leaf("integer", number, depth);
                break;
            case PlistValue::Type::Real:
                // Shortest form that reads back to the same double, whatever the locale.
                *std::to_chars(number, number + sizeof number - 1, *value.asReal()).ptr = '\0';
                leaf("real", number, depth);
                break;
            case PlistValue::Type::Boolean:
                out_.append(std::size_t(depth), '\t');
                out_ += *value.asBoolean() ? "<true/>\n" : "<false/>\n";
                break;
            case PlistValue::Type::Date: leaf("date", dateText(*value.asDate()), depth); break;
            case PlistValue::Type::Data: {
                const PlistValue::Data& bytes = *value.asData();
                leaf("data", base64Encode(bytes.data(), bytes.size()), depth);
                break;
            }
            case PlistValue::Type::Array: container("array", value, depth); break;
            case PlistValue::Type::Dictionary: container("dict", value, depth); break;
        }
    }

    void container(const char* element, const PlistValue& value, int depth) {
        const std::string indent(std::size_t(depth), '\t');
        out_ += indent + "<" + element + ">\n";
        if (const PlistValue::Array* items = value.asArray()) {
            for (const PlistValue& item : *items) this->value(item, depth + 1);
        } else {
            for (const auto& [key, item] : *value.asDictionary()) {
                leaf("key", key, depth + 1);
                this->value(item, depth + 1);
            }
        }
        out_ += indent + "</" + element + ">\n";
    }

    std::string out_;
};

// The five named entities and character references; nothing for any other "&".
std::optional<std::string> decodeEntities(const char* text) {
    static constexpr struct {
        const char* name;
        char character;
    } kNamed[] = {{"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"quot;", '"'}, {"apos;", '\''}};
    std::string out;
    for (const char* at = text; *at;) {
        if (*at != '&') {
            out += *at++;
            continue;
        }
        ++at;
        bool named = false;
        for (const auto& entity : kNamed) {
            const std::size_t length = std::char_traits<char>::length(entity.name);
            if (std::char_traits<char>::compare(at, entity.name, length) == 0) {
                out += entity.character;
                at += length;
                named = true;
                break;
            }
        }
        if (named) continue;
        if (*at != '#') return std::nullopt;
        const bool hex = at[1] == 'x';
        const char* digits = at + (hex ? 2 : 1);
        const char* end = std::char_traits<char>::find(digits, std::char_traits<char>::length(digits), ';');
        std::uint32_t code = 0;
        if (!end || end == digits) return std::nullopt;
        const auto [stop, status] = std::from_chars(digits, end, code, hex ? 16 : 10);
        if (status != std::errc() || stop != end || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) {
            return std::nullopt;
        }
        appendUtf8(out, code);
        at = end + 1;
    }
    return out;
}

// Turns the element tree into values, counting them against the limits.
class Reader {
public:
    explicit Reader(const PlistLimits& limits) : limits_(limits) {}

    std::optional<PlistValue> read(const XMLElement& element, int depth) {
        if (depth > limits_.maxDepth) return fail("nested deeper than allowed");
        if (++values_ > limits_.maxValues) return fail("more values than allowed");
        const std::string name = element.Name();
        if (name == "array") return readArray(element, depth);
        if (name == "dict") return readDictionary(element, depth);
        if (name == "true" || name == "false") return PlistValue::boolean(name == "true");
        const std::optional<std::string> text = textOf(element);
        if (!text) return std::nullopt;
        if (name == "string") return PlistValue(std::move(*text));
        if (name == "integer") return readInteger(*text);
        if (name == "real") return readReal(*text);
        if (name == "date") return readDate(*text);
        if (name == "data") return readData(*text);
        return fail("unknown element <" + printableText(name) + ">");
    }

    const std::string& error() const { return error_; }

private:
    std::optional<PlistValue> fail(std::string reason) {
        if (error_.empty()) error_ = std::move(reason);
        return std::nullopt;
    }

    // Every piece of text of a leaf element, entities decoded, sections taken as they stand.
    std::optional<std::string> textOf(const XMLElement& element) {
        std::string text;
        for (const XMLNode* child = element.FirstChild(); child; child = child->NextSibling()) {
            if (child->ToComment()) continue;
            const tinyxml2::XMLText* piece = child->ToText();
            if (!piece) {
                fail("markup inside <" + printableText(element.Name()) + ">");
                return std::nullopt;
            }
            if (piece->CData()) {
                text += piece->Value();
                continue;
            }
            std::optional<std::string> decoded = decodeEntities(piece->Value());
            if (!decoded) {
                fail("an unknown entity inside <" + printableText(element.Name()) + ">");
                return std::nullopt;
            }
            text += *decoded;
        }
        // Neither writer could give such a text back (the binary form holds UTF-16).
        if (!utf16Length(text)) {
            fail("text that is not UTF-8 inside <" + printableText(element.Name()) + ">");
            return std::nullopt;
        }
        return text;
    }

    std::optional<PlistValue> readInteger(const std::string& text) {
        std::int64_t number = 0;
        const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), number);
        if (status != std::errc() || end != text.data() + text.size())
            return fail("bad integer \"" + printableText(text) + "\"");
        return PlistValue::integer(number);
    }

    std::optional<PlistValue> readReal(const std::string& text) {
        double number = 0;
        const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), number);
        if (status != std::errc() || end != text.data() + text.size())
            return fail("bad real \"" + printableText(text) + "\"");
        return PlistValue::real(number);
    }

    std::optional<PlistValue> readDate(const std::string& text) {
        const std::optional<double> seconds = parseDate(text);
        if (!seconds) return fail("bad date \"" + printableText(text) + "\"");
        return PlistValue::date(*seconds);
    }

    std::optional<PlistValue> readData(const std::string& text) {
        auto bytes = base64Decode(text);
        if (!bytes) return fail("data that is not Base64");
        return PlistValue(std::move(*bytes));
    }

    std::optional<PlistValue> readArray(const XMLElement& element, int depth) {
        PlistValue::Array items;
        for (const XMLElement* child = element.FirstChildElement(); child; child = child->NextSiblingElement()) {
            auto item = read(*child, depth + 1);
            if (!item) return std::nullopt;
            items.push_back(std::move(*item));
        }
        return PlistValue(std::move(items));
    }

    std::optional<PlistValue> readDictionary(const XMLElement& element, int depth) {
        PlistValue::Dictionary entries;
        for (const XMLElement* key = element.FirstChildElement(); key; key = key->NextSiblingElement()) {
            if (std::string(key->Name()) != "key") return fail("a dictionary entry without its <key>");
            const XMLElement* valueElement = key->NextSiblingElement();
            if (!valueElement) return fail("a dictionary key without a value");
            std::optional<std::string> name = textOf(*key);
            if (!name) return std::nullopt;
            auto value = read(*valueElement, depth + 1);
            if (!value) return std::nullopt;
            // Keeping one of two would lose the other when the list is written back.
            if (!entries.emplace(std::move(*name), std::move(*value)).second) return fail("a repeated key");
            key = valueElement;
        }
        return PlistValue(std::move(entries));
    }

    const PlistLimits& limits_;
    std::size_t values_ = 0;
    std::string error_;
};

// Counts a value as the readers count what they read, stopping at the first limit passed.
class LimitCheck {
public:
    explicit LimitCheck(const PlistLimits& limits) : limits_(limits) {}

    bool value(const PlistValue& value, int depth) {
        if (depth > limits_.maxDepth) return fail("nested deeper than allowed");
        if (++values_ > limits_.maxValues) return fail("more values than allowed");
        if (const std::string* text = value.asString()) return holdText(*text, "a string that is not UTF-8");
        if (const PlistValue::Data* bytes = value.asData()) return hold(bytes->size());
        if (const PlistValue::Array* items = value.asArray()) {
            for (const PlistValue& item : *items) {
                if (!this->value(item, depth + 1)) return false;
            }
        } else if (const PlistValue::Dictionary* entries = value.asDictionary()) {
            for (const auto& [key, item] : *entries) {
                if (!holdText(key, "a key that is not UTF-8") || !this->value(item, depth + 1)) return false;
            }
        }
        return true;
    }

    const std::string& reason() const { return reason_; }

private:
    // Both readers refuse text that is not UTF-8: the XML one as it stands, the binary one having
    // no UTF-16 for it.
    bool holdText(const std::string& text, const char* notUtf8) {
        if (!utf16Length(text)) return fail(notUtf8);
        return hold(text.size());
    }

    bool hold(std::size_t count) {
        if (count > limits_.maxBytes - bytes_) return fail(tooManyBytesReason(limits_));
        bytes_ += count;
        return true;
    }

    bool fail(std::string reason) {
        reason_ = std::move(reason);
        return false;
    }

    const PlistLimits& limits_;
    std::size_t values_ = 0;
    std::size_t bytes_ = 0;
    std::string reason_;
};

}  // namespace

std::size_t maxBinaryBytes(const PlistLimits& limits) {
    constexpr std::size_t kLargest = std::numeric_limits<std::size_t>::max();
    return limits.maxBytes > kLargest / 2 ? kLargest : limits.maxBytes * 2;
}

bool withinPlistLimits(const PlistValue& value, const PlistLimits& limits, std::string* reason) {
    LimitCheck check(limits);
    if (check.value(value, 0)) return true;
    if (reason) *reason = check.reason();
    return false;
}

std::string tooManyBytesReason(const PlistLimits& limits) {
    return "decodes to more than " + std::to_string(limits.maxBytes) + " bytes of text and data";
}

std::string encodePlistXml(const PlistValue& root) { return XmlWriter().write(root); }

std::optional<PlistValue> decodePlistXml(const char* text, std::size_t size, std::string* error,
                                         const PlistLimits& limits) {
    auto refuse = [error](const std::string& reason) -> std::optional<PlistValue> {
        if (error) *error = reason;
        return std::nullopt;
    };
    if (size > limits.maxBytes) return refuse("larger than allowed");
    // Entities are decoded here, not by the parser, so that any character the
    // writer referenced (a NUL among them) comes back.
    tinyxml2::XMLDocument document(false, tinyxml2::PRESERVE_WHITESPACE);
    if (document.Parse(text, size) != tinyxml2::XML_SUCCESS) return refuse(printableText(document.ErrorStr()));
    const XMLElement* plist = document.FirstChildElement("plist");
    if (!plist) return refuse("no <plist> element");
    const XMLElement* root = plist->FirstChildElement();
    if (!root || root->NextSiblingElement()) return refuse("<plist> must hold exactly one value");
    Reader reader(limits);
    auto value = reader.read(*root, 0);
    if (!value) return refuse(reader.error());
    return value;
}

std::optional<PlistValue> decodePlistXml(const std::string& text, std::string* error, const PlistLimits& limits) {
    return decodePlistXml(text.data(), text.size(), error, limits);
}

}  // namespace platform
