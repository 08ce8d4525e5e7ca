#include "kite/foundation/ConsoleInput.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "kite/foundation/Base64.h"
#include "kite/foundation/StringUtils.h"

namespace kite {

namespace {

// A zero byte is listed apart: strchr finds the terminator of any set.
bool isForbiddenInFileName(char c) { return c == '\0' || std::strchr(":/\\?%*<>\"|\r\n\t", c) != nullptr; }

bool isBase64Letter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}

// A group of four Base64 characters, "=" only as the padding that ends it ("xx==", "xxx="); a last
// group may come without its padding, as two or three characters.
bool isBase64Group(const char* group, std::size_t size) {
    if (size < 2 || size > 4) return false;
    std::size_t letters = 0;
    while (letters < size && isBase64Letter(group[letters])) ++letters;
    if (letters == size) return true;
    return size == 4 && letters >= 2 && std::all_of(group + letters, group + size, [](char c) { return c == '='; });
}

// Base64 groups each decoded on their own, so pieces encoded apart may follow one another; false,
// with nothing decoded, when any character is not part of a group.
bool decodeUploadData(const std::string& data, std::string& contents) {
    for (std::size_t at = 0; at < data.size(); at += 4) {
        if (!isBase64Group(data.data() + at, std::min<std::size_t>(4, data.size() - at))) return false;
    }
    contents.clear();
    for (std::size_t at = 0; at < data.size(); at += 4) {
        const auto size = static_cast<unsigned int>(std::min<std::size_t>(4, data.size() - at));
        unsigned char* decoded = nullptr;
        const int length = base64Decode(reinterpret_cast<const unsigned char*>(data.data() + at), size, &decoded);
        if (length > 0 && decoded) contents.append(reinterpret_cast<const char*>(decoded), std::size_t(length));
        std::free(decoded);
    }
    return true;
}

std::vector<std::string> splitAtSpaces(const std::string& text) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (std::size_t space; (space = text.find(' ', start)) != std::string::npos; start = space + 1)
        pieces.push_back(text.substr(start, space - start));
    pieces.push_back(text.substr(start));
    return pieces;
}

// The whole piece must read as a number, without leading white space; a value beyond a float's
// range is refused before it is narrowed.
bool readNumber(const std::string& piece, float& value) {
    if (piece.empty() || std::isspace(static_cast<unsigned char>(piece[0]))) return false;
    char* end = nullptr;
    const double read = strtodPoint(piece.c_str(), &end);
    if (end != piece.c_str() + piece.size() || !std::isfinite(read) || std::fabs(read) > FLT_MAX) return false;
    value = static_cast<float>(read);
    return true;
}

// A decimal integer after optional white space, moving `at` past it.
bool readInteger(const char*& at, int& value) {
    char* end = nullptr;
    errno = 0;
    const long read = std::strtol(at, &end, 10);
    if (end == at || errno == ERANGE || read < INT_MIN || read > INT_MAX) return false;
    value = static_cast<int>(read);
    at = end;
    return true;
}

}  // namespace

void ConsoleLineReader::append(const char* bytes, std::size_t size) {
    // Lines taken go only now, so that taking many short lines does not move the rest each time.
    pending_.erase(0, begin_);
    scanned_ -= begin_;
    begin_ = 0;
    pending_.append(bytes, size);
}

ConsoleLineReader::Next ConsoleLineReader::next(std::string& line) {
    for (;;) {
        const std::size_t end = pending_.find('\n', scanned_);
        if (end == std::string::npos) {
            scanned_ = pending_.size();
            if (pending_.size() - begin_ <= kMaxLineLength) return Next::None;
            pending_.clear();
            begin_ = scanned_ = 0;
            if (dropping_) return Next::None;
            dropping_ = true;
            return Next::TooLong;
        }
        const std::size_t start = begin_;
        begin_ = scanned_ = end + 1;
        if (dropping_) {
            dropping_ = false;
            continue;
        }
        if (end - start > kMaxLineLength) return Next::TooLong;
        line.assign(pending_, start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return Next::Line;
    }
}

ConsoleCommandLine splitConsoleCommandLine(const std::string& line) {
    const std::size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos) return {};
    const std::size_t space = line.find(' ', start);
    if (space == std::string::npos) return {line.substr(start), std::string()};
    return {line.substr(start, space - start), line.substr(space + 1)};
}

bool parseConsoleUpload(const std::string& args, ConsoleUpload& upload, std::string* why) {
    const std::size_t space = args.find(' ');
    std::string name = args.substr(0, std::min(space, ConsoleUpload::kMaxNameLength));
    if (name.empty() || name == "." || name == ".." || std::any_of(name.begin(), name.end(), isForbiddenInFileName)) {
        if (why) *why = "invalid file name";
        return false;
    }
    std::string contents;
    if (space != std::string::npos && !decodeUploadData(args.substr(space + 1), contents)) {
        if (why) *why = "invalid Base64 data";
        return false;
    }
    upload.name = std::move(name);
    upload.contents = std::move(contents);
    return true;
}

ConsoleTouch parseConsoleTouch(const std::string& args) {
    ConsoleTouch touch;
    if (args == "help" || args == "-h") {
        touch.kind = ConsoleTouch::Kind::Help;
        return touch;
    }
    const std::vector<std::string> pieces = splitAtSpaces(args);
    const bool tap = pieces[0] == "tap";
    if (!tap && pieces[0] != "swipe") return touch;
    float* numbers[] = {&touch.x1, &touch.y1, &touch.x2, &touch.y2};
    touch.kind = tap ? ConsoleTouch::Kind::Tap : ConsoleTouch::Kind::Swipe;
    if (pieces.size() != (tap ? 3u : 5u)) touch.kind = ConsoleTouch::Kind::Invalid;
    for (std::size_t i = 1; i < pieces.size() && touch.kind != ConsoleTouch::Kind::Invalid; ++i)
        if (!readNumber(pieces[i], *numbers[i - 1])) touch.kind = ConsoleTouch::Kind::Invalid;
    return touch;
}

bool parseConsoleResolution(const std::string& args, ConsoleResolution& resolution) {
    // The numbers are read as C text, which would end at a zero byte: a line holding one is refused.
    if (args.find('\0') != std::string::npos) return false;
    ConsoleResolution read;
    const char* at = args.c_str();
    if (!readInteger(at, read.width) || !readInteger(at, read.height) || !readInteger(at, read.policy)) return false;
    while (std::isspace(static_cast<unsigned char>(*at))) ++at;
    if (*at != '\0' || read.width <= 0 || read.height <= 0 || read.policy < 0 || read.policy > 4) return false;
    resolution = read;
    return true;
}

}  // namespace kite
