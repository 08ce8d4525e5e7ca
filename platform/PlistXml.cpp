// Property lists in their XML form, on tinyxml2.
#include "platform/PlistXml.h"

#include <tinyxml2.h>

#include <charconv>
#include <cstdio>

#include "platform/Base64.h"

namespace platform {
namespace {

using tinyxml2::XMLElement;
using tinyxml2::XMLPrinter;

void printValue(XMLPrinter& out, const PlistValue& value);

void printLeaf(XMLPrinter& out, const char* element, const char* text) {
    out.OpenElement(element, true);
    out.PushText(text);
    out.CloseElement(true);
}

void printNumber(XMLPrinter& out, const PlistValue& value) {
    char text[40];
    if (const std::int64_t* integer = value.asInteger()) {
        const auto end = std::to_chars(text, text + sizeof text - 1, *integer).ptr;
        *end = '\0';
        printLeaf(out, "integer", text);
    } else {
        // Shortest form that reads back to the same double, whatever the locale.
        const auto end = std::to_chars(text, text + sizeof text - 1, *value.asReal()).ptr;
        *end = '\0';
        printLeaf(out, "real", text);
    }
}

void printValue(XMLPrinter& out, const PlistValue& value) {
    switch (value.type()) {
        case PlistValue::Type::String: printLeaf(out, "string", value.asString()->c_str()); break;
        case PlistValue::Type::Integer:
        case PlistValue::Type::Real: printNumber(out, value); break;
        case PlistValue::Type::Boolean:
            out.OpenElement(*value.asBoolean() ? "true" : "false", true);
            out.CloseElement(true);
            break;
        case PlistValue::Type::Data: {
            const PlistValue::Data& bytes = *value.asData();
            printLeaf(out, "data", base64Encode(bytes.data(), bytes.size()).c_str());
            break;
        }
        case PlistValue::Type::Array:
            out.OpenElement("array");
            for (const PlistValue& item : *value.asArray()) printValue(out, item);
            out.CloseElement();
            break;
        case PlistValue::Type::Dictionary:
            out.OpenElement("dict");
            for (const auto& [key, item] : *value.asDictionary()) {
                printLeaf(out, "key", key.c_str());
                printValue(out, item);
            }
            out.CloseElement();
            break;
    }
}

// Turns the element tree into values, counting them against the limits.
class Reader {
public:
    explicit Reader(const PlistLimits& limits) : limits_(limits) {}

    std::optional<PlistValue> read(const XMLElement& element, int depth) {
        if (depth > limits_.maxDepth) return fail("nested deeper than allowed");
        if (++values_ > limits_.maxValues) return fail("more values than allowed");
        const std::string name = element.Name();
        const char* text = element.GetText() ? element.GetText() : "";
        if (name == "string") return PlistValue(std::string(text));
        if (name == "integer") return readInteger(text);
        if (name == "real") return readReal(text);
        if (name == "true" || name == "false") return PlistValue::boolean(name == "true");
        if (name == "data") return readData(text);
        if (name == "array") return readArray(element, depth);
        if (name == "dict") return readDictionary(element, depth);
        return fail("unknown element <" + name + ">");
    }

    const std::string& error() const { return error_; }

private:
    std::optional<PlistValue> fail(std::string reason) {
        if (error_.empty()) error_ = std::move(reason);
        return std::nullopt;
    }

    std::optional<PlistValue> readInteger(const std::string& text) {
        std::int64_t number = 0;
        const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), number);
        if (status != std::errc() || end != text.data() + text.size()) return fail("bad integer \"" + text + "\"");
        return PlistValue::integer(number);
    }

    std::optional<PlistValue> readReal(const std::string& text) {
        double number = 0;
        const auto [end, status] = std::from_chars(text.data(), text.data() + text.size(), number);
        if (status != std::errc() || end != text.data() + text.size()) return fail("bad real \"" + text + "\"");
        return PlistValue::real(number);
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
            auto value = read(*valueElement, depth + 1);
            if (!value) return std::nullopt;
            entries[key->GetText() ? key->GetText() : ""] = std::move(*value);
            key = valueElement;
        }
        return PlistValue(std::move(entries));
    }

    const PlistLimits& limits_;
    std::size_t values_ = 0;
    std::string error_;
};

}  // namespace

std::string encodePlistXml(const PlistValue& root) {
    XMLPrinter out;
    out.PushDeclaration("xml version=\"1.0\" encoding=\"UTF-8\"");
    out.PushUnknown(
        "DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\"");
    out.OpenElement("plist");
    out.PushAttribute("version", "1.0");
    printValue(out, root);
    out.CloseElement();
    return std::string(out.CStr(), out.CStrSize() - 1);
}

std::optional<PlistValue> decodePlistXml(const char* text, std::size_t size, std::string* error,
                                         const PlistLimits& limits) {
    auto refuse = [error](const std::string& reason) -> std::optional<PlistValue> {
        if (error) *error = reason;
        return std::nullopt;
    };
    if (size > limits.maxBytes) return refuse("larger than allowed");
    tinyxml2::XMLDocument document(true, tinyxml2::PRESERVE_WHITESPACE);
    if (document.Parse(text, size) != tinyxml2::XML_SUCCESS) return refuse(document.ErrorStr());
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
