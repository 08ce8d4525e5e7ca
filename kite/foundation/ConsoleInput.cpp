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

bool parseConsoleUpload(const std::string& args, ConsoleUpload& upload) {
    const std::size_t space = args.find(' ');
    std::string name = args.substr(0, std::min(space, ConsoleUpload::kMaxNameLength));
    if (name.empty() || name == "." || name == ".." || std::any_of(name.begin(), name.end(), isForbiddenInFileName))
        return false;
    upload.name = std::move(name);
    upload.contents.clear();
    if (space == std::string::npos) return true;
    const char* data = args.data() + space + 1;
    const std::size_t length = args.size() - space - 1;
    for (std::size_t at = 0; at + 4 <= length; at += 4) {
        unsigned char* decoded = nullptr;
        const int size = base64Decode(reinterpret_cast<const unsigned char*>(data + at), 4, &decoded);
        if (size > 0 && decoded) upload.contents.append(reinterpret_cast<const char*>(decoded), std::size_t(size));
        std::free(decoded);
    }
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
