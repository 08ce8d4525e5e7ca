// XML property lists on tinyxml2.
#include "kite/foundation/PropertyList.h"

#include "kite/foundation/Log.h"
#include "kite/foundation/StringUtils.h"
#include "platform/PrintableText.h"

#include <tinyxml2.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace kite {
namespace {

using tinyxml2::XMLElement;

enum class Outcome { Value, Skip, Error };

struct Reader {
    const char* source;
    PropertyList::BadValues badValues;
    std::string problem;

    // A scalar whose text has no reading: the whole document fails, or in
    // lenient reading just that entry is left out.
    Outcome badScalar(const std::string& what) {
        if (badValues == PropertyList::BadValues::Refuse) return fail(what);
        log("PropertyList: %s: %s; entry skipped", source, what.c_str());
        return Outcome::Skip;
    }

    Outcome fail(const std::string& what) {
        if (problem.empty()) problem = what;
        return Outcome::Error;
    }

    Outcome read(const XMLElement* e, Value& out, int depth) {
        if (depth > PropertyList::kMaxDepth) return fail("nesting too deep");
        const char* name = e->Name();
        const char* text = e->GetText();
        if (std::strcmp(name, "dict") == 0) return readDict(e, out, depth);
        if (std::strcmp(name, "array") == 0) return readArray(e, out, depth);
        if (std::strcmp(name, "string") == 0) {
            out = Value(std::string(text ? text : ""));
            return Outcome::Value;
        }
        if (std::strcmp(name, "integer") == 0) {
            long long v;
            if (!parseInteger(text, &v))
                return badScalar("bad integer '" + platform::printableText(text ? text : "") + "'");
            out = Value(static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX)));
            return Outcome::Value;
        }
        if (std::strcmp(name, "real") == 0) {
            double v;
            if (!parseReal(text, &v)) return badScalar("bad real '" + platform::printableText(text ? text : "") + "'");
            out = Value(v);
            return Outcome::Value;
        }
        if (std::strcmp(name, "true") == 0) {
            out = Value(true);
            return Outcome::Value;
        }
        if (std::strcmp(name, "false") == 0) {
            out = Value(false);
            return Outcome::Value;
        }
        if (std::strcmp(name, "date") == 0 || std::strcmp(name, "data") == 0) return Outcome::Skip;
        return fail("unknown element <" + platform::printableText(name) + ">");
    }

    Outcome readDict(const XMLElement* e, Value& out, int depth) {
        ValueMap map;
        for (const XMLElement* key = e->FirstChildElement(); key; key = key->NextSiblingElement()) {
            if (std::strcmp(key->Name(), "key") != 0) return fail("dictionary entry without <key>");
            const XMLElement* valueElement = key->NextSiblingElement();
            if (!valueElement) return fail("dictionary key without a value");
            Value value;
            Outcome outcome = read(valueElement, value, depth + 1);
            if (outcome == Outcome::Error) return outcome;
            if (outcome == Outcome::Value) {
                const char* keyText = key->GetText();
                map[keyText ? keyText : ""] = std::move(value);
            }
            key = valueElement;
        }
        out = Value(std::move(map));
        return Outcome::Value;
    }

    Outcome readArray(const XMLElement* e, Value& out, int depth) {
        ValueVector vector;
        for (const XMLElement* child = e->FirstChildElement(); child; child = child->NextSiblingElement()) {
            Value value;
            Outcome outcome = read(child, value, depth + 1);
            if (outcome == Outcome::Error) return outcome;
            if (outcome == Outcome::Value) vector.push_back(std::move(value));
        }
        out = Value(std::move(vector));
        return Outcome::Value;
    }

    static std::string trimmed(const char* text) {
        std::string s = text ? text : "";
        const char* space = " \t\r\n";
        std::string::size_type first = s.find_first_not_of(space);
        if (first == std::string::npos) return std::string();
        return s.substr(first, s.find_last_not_of(space) - first + 1);
    }

    static bool parseInteger(const char* text, long long* v) {
        std::string s = trimmed(text);
        if (s.empty()) return false;
        errno = 0;
        char* end = nullptr;
        *v = std::strtoll(s.c_str(), &end, 10);
        if (errno == ERANGE) errno = 0;  // clamped by strtoll; clamped again to 32 bits
        return end && *end == '\0';
    }

    static bool parseReal(const char* text, double* v) {
        std::string s = trimmed(text);
        if (s.empty()) return false;
        char* end = nullptr;
        *v = strtodPoint(s.c_str(), &end);
        return end && *end == '\0';
    }
};

bool isXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

void appendCharacterReference(std::string& out, unsigned char c) {
    char ref[8];
    std::snprintf(ref, sizeof ref, "&#x%X;", c);
    out += ref;
}

void appendEscaped(std::string& out, const std::string& text) {
    // Parsers drop text made only of white space, so such text is written
    // as character references, which they keep.
    const bool onlySpace = !text.empty() && std::all_of(text.begin(), text.end(), isXmlSpace);
    for (unsigned char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '\0': break;  // no XML form at all (the preferences store refuses such text)
            default:
                // Control characters (and CR, which parsers fold into LF)
                // survive only as character references.
                if (onlySpace || (c < 0x20 && c != '\t' && c != '\n'))
                    appendCharacterReference(out, c);
                else
                    out += static_cast<char>(c);
        }
    }
}

bool hasForm(const Value& v) {
    switch (v.getType()) {
        case Value::Type::NONE:
        case Value::Type::BYTE:
        case Value::Type::INT_KEY_MAP: return false;
        default: return true;
    }
}

void writeValue(std::string& out, const Value& v, int depth);

void indent(std::string& out, int depth) { out.append(static_cast<size_t>(depth), '\t'); }

void writeMap(std::string& out, const ValueMap& map, int depth) {
    std::vector<const ValueMap::value_type*> entries;
    entries.reserve(map.size());
    for (const auto& entry : map) {
        if (hasForm(entry.second)) entries.push_back(&entry);
    }
    if (entries.empty()) {
        out += "<dict/>\n";
        return;
    }
    std::sort(entries.begin(), entries.end(), [](auto* a, auto* b) { return a->first < b->first; });
    out += "<dict>\n";
    for (const auto* entry : entries) {
        indent(out, depth + 1);
        out += "<key>";
        appendEscaped(out, entry->first);
        out += "</key>\n";
        indent(out, depth + 1);
        writeValue(out, entry->second, depth + 1);
    }
    indent(out, depth);
    out += "</dict>\n";
}

void writeVector(std::string& out, const ValueVector& vector, int depth) {
    if (std::none_of(vector.begin(), vector.end(), hasForm)) {
        out += "<array/>\n";
        return;
    }
    out += "<array>\n";
    for (const Value& element : vector) {
        if (!hasForm(element)) continue;
        indent(out, depth + 1);
        writeValue(out, element, depth + 1);
    }
    indent(out, depth);
    out += "</array>\n";
}

void writeReal(std::string& out, double v, bool singlePrecision) {
    out += "<real>";
    out += realToText(v, singlePrecision);
    out += "</real>\n";
}

void writeValue(std::string& out, const Value& v, int depth) {
    switch (v.getType()) {
        case Value::Type::INTEGER: out += "<integer>" + std::to_string(v.asInt()) + "</integer>\n"; break;
        case Value::Type::FLOAT: writeReal(out, v.asFloat(), true); break;
        case Value::Type::DOUBLE: writeReal(out, v.asDouble(), false); break;
        case Value::Type::BOOLEAN: out += v.asBool() ? "<true/>\n" : "<false/>\n"; break;
        case Value::Type::STRING:
            out += "<string>";
            appendEscaped(out, v.asString());
            out += "</string>\n";
            break;
        case Value::Type::MAP: writeMap(out, v.asValueMap(), depth); break;
        case Value::Type::VECTOR: writeVector(out, v.asValueVector(), depth); break;
        default: break;
    }
}

constexpr char kHeader[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
    "<plist version=\"1.0\">\n";

}  // namespace

bool PropertyList::parse(const char* bytes, std::size_t size, Value& root, const char* source, BadValues badValues) {
    root = Value();
    // The source is a file's path: quoted with its control characters escaped.
    const std::string shownSource = platform::printableText(source ? source : "data");
    source = shownSource.c_str();
    if (!bytes || size == 0) {
        log("PropertyList: %s is empty", source);
        return false;
    }
    tinyxml2::XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
    if (document.Parse(bytes, size) != tinyxml2::XML_SUCCESS) {
        log("PropertyList: cannot parse %s: %s", source, platform::printableText(document.ErrorStr()).c_str());
        return false;
    }
    const XMLElement* plist = document.RootElement();
    if (!plist || std::strcmp(plist->Name(), "plist") != 0) {
        log("PropertyList: %s is not a property list (no <plist> root)", source);
        return false;
    }
    const XMLElement* top = plist->FirstChildElement();
    if (!top) {
        log("PropertyList: %s holds no value", source);
        return false;
    }
    Reader reader{source, badValues, {}};
    Value value;
    if (reader.read(top, value, 0) != Outcome::Value) {
        log("PropertyList: cannot read %s: %s", source,
            reader.problem.empty() ? "top value has no property-list kind" : reader.problem.c_str());
        return false;
    }
    root = std::move(value);
    return true;
}

std::string PropertyList::serialize(const Value& root) {
    std::string out = kHeader;
    if (hasForm(root)) {
        writeValue(out, root, 0);
    }
    out += "</plist>\n";
    return out;
}

std::string PropertyList::serialize(const ValueMap& map) {
    std::string out = kHeader;
    writeMap(out, map, 0);
    out += "</plist>\n";
    return out;
}

std::string PropertyList::serialize(const ValueVector& vector) {
    std::string out = kHeader;
    writeVector(out, vector, 0);
    out += "</plist>\n";
    return out;
}

}  // namespace kite
