#include "platform/InputScript.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "platform/AsciiText.h"
#include "platform/PrintableText.h"
#include "platform/StoredFile.h"

namespace platform {

namespace {

constexpr long kMaxFrame = 100000000;  // about 19 days at 60 frames a second
constexpr long kMaxDragSteps = 10000;
constexpr float kMaxCoordinate = 1e6f;
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
// What separates fields: any run of spaces and tabs. Another control character, a character that shows
// nothing and a byte that is not UTF-8 are no separators, and a field with one is refused, naming it,
// rather than split where nobody sees it.
constexpr char kBlanks[] = " \t";
// A refusal quotes at most this much of the field it is about.
constexpr std::size_t kQuotedField = 64;

std::string tooManyText() {
    return "the script expands to more than " + std::to_string(InputScript::kMaxSteps) + " steps";
}

const std::string kFrameRange = "from 1 to " + std::to_string(kMaxFrame);
const std::string kCoordinateRange = "from -" + std::to_string(static_cast<long>(kMaxCoordinate)) + " to " +
                                     std::to_string(static_cast<long>(kMaxCoordinate));

// Digits only: a sign or a space before them makes no frame (" 3" would pass strtol).
bool parseFrame(const std::string& word, long* frame) {
    const std::optional<long> value = wholeNumber(word, kMaxFrame);
    if (!value || *value < 1) return false;
    *frame = *value;
    return true;
}

bool parseCoordinate(const std::string& word, float* value) {
    if (word.empty()) return false;
    char* end = nullptr;
    errno = 0;
    float v = std::strtof(word.c_str(), &end);
    if (*end != '\0' || errno != 0 || !std::isfinite(v) || std::fabs(v) > kMaxCoordinate) return false;
    *value = v;
    return true;
}

// The fields of a line, and where each ends.
struct Fields {
    std::vector<std::string> words;
    std::vector<std::size_t> ends;
};

Fields fieldsOf(const std::string& line) {
    Fields fields;
    for (std::size_t at = line.find_first_not_of(kBlanks); at != std::string::npos;) {
        const std::size_t end = line.find_first_of(kBlanks, at);
        fields.words.push_back(line.substr(at, end - at));
        fields.ends.push_back(end == std::string::npos ? line.size() : end);
        at = end == std::string::npos ? end : line.find_first_not_of(kBlanks, end);
    }
    return fields;
}

// What a field holds that is not seen for what it is, its name and why it has no place there; all empty when
// there is none.
struct Stray {
    std::string what;
    std::string name;
    std::string why;
};

constexpr char kNoSeparator[] = "only spaces and tabs separate fields";

// The first control character in the text (C0, DEL, or C1 as its two UTF-8 bytes) or byte that is not UTF-8,
// as \xNN, or invisible character, as U+NNNN.
Stray firstStray(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7f) return {"a control character", printableText(text.substr(i, 1)), kNoSeparator};
        if (c < 0x80) {
            ++i;
            continue;
        }
        const std::size_t length = detail::utf8SequenceLength(std::string_view(text).substr(i));
        if (length == 0)
            return {"a byte that is not UTF-8", printableText(text.substr(i, 1)), "a script is UTF-8 text"};
        const char32_t code = detail::codePoint(std::string_view(text).substr(i), length);
        if (code <= 0x9f) return {"a control character", printableText(text.substr(i, length)), kNoSeparator};
        if (detail::isInvisible(code)) return {"an invisible character", detail::codePointName(code), kNoSeparator};
        i += length;
    }
    return {};
}

// The rest of the line from its third field on, without the blanks around it: a path or a typed text.
std::string restAfterFrame(const std::string& line, const Fields& fields) {
    std::string rest = line.substr(fields.ends[1]);
    rest.erase(0, rest.find_first_not_of(kBlanks));
    rest.erase(rest.find_last_not_of(kBlanks) + 1);
    return rest;
}

// The refusal of the line's first field with a stray byte or character in it, naming both; empty when none has.
std::string strayInFields(const std::string& line, const Fields& fields, bool restIsOneField) {
    for (std::size_t i = 0; i < fields.words.size(); ++i) {
        const Stray stray = firstStray(fields.words[i]);
        if (stray.name.empty()) continue;
        // A path or a typed text is one field, however many blanks it has.
        const bool inRest = restIsOneField && i >= 2;
        const std::string field = inRest ? restAfterFrame(line, fields) : fields.words[i];
        // Shown as the character is named: a direction override shown as it is would turn the rest of the line.
        return "field " + std::to_string(inRest ? 3 : i + 1) + ", \"" + visibleText(field, kQuotedField) +
               "\", has " + stray.what + " (" + stray.name + ") in it: " + stray.why;
    }
    return std::string();
}

}  // namespace

std::optional<InputScript> InputScript::parse(const std::string& text, std::string* error) {
    // Steps are collected in the order given and sorted once at the end.
    InputScript script;
    std::vector<ScriptStep>& steps = script.steps_;
    // Editors may start a UTF-8 file with a byte-order mark; it is no part of the first step.
    const bool marked = text.compare(0, sizeof kByteOrderMark - 1, kByteOrderMark) == 0;
    std::istringstream lines(marked ? text.substr(sizeof kByteOrderMark - 1) : text);
    std::string line;
    int number = 0;
    auto fail = [&](const std::string& why) -> std::optional<InputScript> {
        if (error) *error = "line " + std::to_string(number) + ": " + why;
        return std::nullopt;
    };
    auto tooMany = [&] { return steps.size() > kMaxSteps; };
    while (std::getline(lines, line)) {
        ++number;
        // A file written with CRLF line ends is read as if it had LF ones.
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        const Fields fields = fieldsOf(line);
        if (fields.words.empty()) continue;
        const std::string& command = fields.words[0];
        const std::vector<std::string> args(fields.words.begin() + 1, fields.words.end());
        const bool restIsOneField = command == "shot" || command == "nodes" || command == "type";
        if (const std::string stray = strayInFields(line, fields, restIsOneField); !stray.empty()) return fail(stray);

        ScriptStep step;
        if (args.empty() || !parseFrame(args[0], &step.frame))
            return fail("a frame number " + kFrameRange + " is needed");
        auto point = [&](std::size_t at, float* x, float* y) {
            return args.size() > at + 1 && parseCoordinate(args[at], x) && parseCoordinate(args[at + 1], y);
        };
        // The fields past the `taken` ones a step has, named as the fields above are; empty when there are none.
        auto surplus = [&](std::size_t taken) -> std::string {
            const std::size_t count = fields.words.size();
            if (count <= taken) return std::string();
            if (count == taken + 1)
                return "field " + std::to_string(count) + ", \"" + printableText(fields.words[taken], kQuotedField) +
                       "\", is one field too many: ";
            return "fields " + std::to_string(taken + 1) + " to " + std::to_string(count) + " are " +
                   std::to_string(count - taken) + " fields too many: ";
        };

        if (command == "tap" || command == "down" || command == "move" || command == "up") {
            const std::string usage = command + " needs FRAME X Y";
            if (const std::string extra = surplus(4); !extra.empty()) return fail(extra + usage);
            if (args.size() != 3 || !point(1, &step.x, &step.y))
                return fail(usage + ", each coordinate " + kCoordinateRange);
            if (command == "move") step.kind = ScriptStep::Kind::MOVE;
            if (command == "up") step.kind = ScriptStep::Kind::UP;
            steps.push_back(step);
            if (command == "tap") {
                step.kind = ScriptStep::Kind::UP;
                ++step.frame;
                steps.push_back(step);
            }
        } else if (command == "drag") {
            float x1 = 0, y1 = 0, x2 = 0, y2 = 0;
            if (const std::string extra = surplus(7); !extra.empty())
                return fail(extra + "drag needs FRAME X1 Y1 X2 Y2 STEPS");
            const long moves = args.size() == 6 ? wholeNumber(args[5], kMaxDragSteps).value_or(0) : 0;
            if (args.size() != 6 || !point(1, &x1, &y1) || !point(3, &x2, &y2) || moves < 1)
                return fail("drag needs FRAME X1 Y1 X2 Y2 STEPS (each coordinate " + kCoordinateRange +
                            ", 1 to 10000 steps)");
            if (steps.size() + static_cast<std::size_t>(moves) + 2 > kMaxSteps) return fail(tooManyText());
            step.x = x1;
            step.y = y1;
            steps.push_back(step);
            for (long i = 1; i <= moves; ++i) {
                ScriptStep move;
                move.kind = ScriptStep::Kind::MOVE;
                move.frame = step.frame + i;
                move.x = x1 + (x2 - x1) * static_cast<float>(i) / static_cast<float>(moves);
                move.y = y1 + (y2 - y1) * static_cast<float>(i) / static_cast<float>(moves);
                steps.push_back(move);
            }
            ScriptStep up;
            up.kind = ScriptStep::Kind::UP;
            up.frame = step.frame + moves + 1;
            up.x = x2;
            up.y = y2;
            steps.push_back(up);
        } else if (command == "background" || command == "foreground" || command == "quit") {
            if (args.size() != 1) return fail(surplus(2) + command + " needs FRAME only");
            step.kind = command == "background"   ? ScriptStep::Kind::BACKGROUND
                        : command == "foreground" ? ScriptStep::Kind::FOREGROUND
                                                  : ScriptStep::Kind::QUIT;
            steps.push_back(step);
        } else if (command == "sleep") {
            if (const std::string extra = surplus(3); !extra.empty())
                return fail(extra + "sleep needs FRAME MILLISECONDS");
            const long ms = args.size() == 2 ? wholeNumber(args[1], kMaxSleepMs).value_or(0) : 0;
            if (ms < 1) return fail("sleep needs FRAME MILLISECONDS (1 to 10000)");
            step.kind = ScriptStep::Kind::SLEEP;
            step.milliseconds = static_cast<int>(ms);
            steps.push_back(step);
        } else if (command == "shot" || command == "nodes" || command == "type") {
            if (args.size() < 2) return fail(command + (command == "type" ? " needs FRAME TEXT" : " needs FRAME PATH"));
            // The path or text is the rest of the line after the frame, spaces included.
            const std::string rest = restAfterFrame(line, fields);
            step.kind = command == "shot"    ? ScriptStep::Kind::SHOT
                        : command == "nodes" ? ScriptStep::Kind::NODES
                                             : ScriptStep::Kind::TYPE;
            (step.kind == ScriptStep::Kind::TYPE ? step.text : step.path) = rest;
            steps.push_back(step);
        } else {
            return fail("unknown step \"" + printableText(command) + "\"");
        }
        if (tooMany()) return fail(tooManyText());
    }
    script.sortSteps();
    return script;
}

std::optional<InputScript> InputScript::load(const std::string& path, std::string* error) {
    auto fail = [&](const std::string& why) -> std::optional<InputScript> {
        if (error) *error = why;
        return std::nullopt;
    };
    // Not through a stream: its buffer turns a read error into an early end, which would pass as a
    // short (or empty) script; and a file without end stops at the limit.
    constexpr std::size_t kLargestScript = 16 * 1024 * 1024;
    std::string text, reason;
    if (readStoredFile(path, text, kLargestScript, &reason) != StoredFileRead::Read) {
        const int readError = errno;
        if (readError == EISDIR) reason = "it is a folder";
        return fail("cannot read " + path + ": " + (reason.empty() ? std::strerror(readError) : reason));
    }
    if (text.size() > kLargestScript) return fail(path + " is too large for a script");
    return parse(text, error);
}

std::optional<ScriptStep> InputScript::parseShot(const std::string& option, std::string* error) {
    const auto colon = option.find(':');
    ScriptStep step;
    step.kind = ScriptStep::Kind::SHOT;
    if (colon == std::string::npos || !parseFrame(option.substr(0, colon), &step.frame)) {
        if (error) *error = "--shot needs FRAME:PATH with a frame " + kFrameRange;
        return std::nullopt;
    }
    // The frame is good: what is missing is the path.
    if (colon + 1 == option.size()) {
        if (error) *error = "--shot needs a path after the frame, not \"" + option + "\"";
        return std::nullopt;
    }
    step.path = option.substr(colon + 1);
    return step;
}

void InputScript::add(const ScriptStep& step) {
    steps_.push_back(step);
    if (steps_.size() > 1 && steps_[steps_.size() - 2].frame > step.frame) sortSteps();
}

void InputScript::add(const InputScript& other) {
    steps_.insert(steps_.end(), other.steps_.begin(), other.steps_.end());
    sortSteps();
}

void InputScript::sortSteps() {
    // Ordered by frame; steps of one frame keep the order they were given in.
    std::stable_sort(steps_.begin(), steps_.end(),
                     [](const ScriptStep& a, const ScriptStep& b) { return a.frame < b.frame; });
}

std::vector<ScriptStep> InputScript::stepsAt(long frame) const {
    auto first =
        std::lower_bound(steps_.begin(), steps_.end(), frame, [](const ScriptStep& s, long f) { return s.frame < f; });
    auto last = std::upper_bound(first, steps_.end(), frame, [](long f, const ScriptStep& s) { return f < s.frame; });
    return std::vector<ScriptStep>(first, last);
}

long InputScript::lastFrame() const { return steps_.empty() ? 0 : steps_.back().frame; }

}  // namespace platform
