// Brace-notation parsers.
#include "kite/foundation/BraceNotation.h"

#include "kite/foundation/StringUtils.h"

namespace kite {

namespace {

// Reads "{a,b}": one pair of braces around exactly two non-empty parts.
bool parsePair(const std::string& text, float* first, float* second) {
    if (text.empty()) return false;
    std::size_t open = text.find('{');
    std::size_t close = text.find('}');
    if (open == std::string::npos || close == std::string::npos || close < open) return false;
    std::string inner = text.substr(open + 1, close - open - 1);
    if (inner.empty() || inner.find('{') != std::string::npos) return false;
    std::size_t comma = inner.find(',');
    if (comma == std::string::npos || inner.find(',', comma + 1) != std::string::npos) return false;
    std::string a = inner.substr(0, comma);
    std::string b = inner.substr(comma + 1);
    if (a.empty() || b.empty()) return false;
    *first = static_cast<float>(kite::atof(a.c_str()));
    *second = static_cast<float>(kite::atof(b.c_str()));
    return true;
}

}  // namespace

Vec2 PointFromString(const std::string& text) {
    float x = 0.0f;
    float y = 0.0f;
    if (!parsePair(text, &x, &y)) return Vec2(0.0f, 0.0f);
    return Vec2(x, y);
}

Size SizeFromString(const std::string& text) {
    float width = 0.0f;
    float height = 0.0f;
    if (!parsePair(text, &width, &height)) return Size(0.0f, 0.0f);
    return Size(width, height);
}

Rect RectFromString(const std::string& text) {
    if (text.empty()) return Rect();
    std::size_t open = text.find('{');
    std::size_t close = text.find('}');
    for (int i = 1; i < 3 && close != std::string::npos; ++i) close = text.find('}', close + 1);
    if (open == std::string::npos || close == std::string::npos || close < open) return Rect();

    std::string content = text.substr(open + 1, close - open - 1);
    std::size_t pointEnd = content.find('}');
    if (pointEnd == std::string::npos) return Rect();
    std::size_t comma = content.find(',', pointEnd);
    if (comma == std::string::npos) return Rect();

    float x = 0.0f;
    float y = 0.0f;
    float width = 0.0f;
    float height = 0.0f;
    if (!parsePair(content.substr(0, comma), &x, &y)) return Rect();
    if (!parsePair(content.substr(comma + 1), &width, &height)) return Rect();
    return Rect(x, y, width, height);
}

}  // namespace kite
