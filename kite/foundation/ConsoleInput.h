// What a debug console client sends, read without acting on it: its lines, each line's command
// and arguments, and the arguments of the commands that take numbers or data.
#pragma once
#include <cstddef>
#include <string>

namespace kite {

// Gathers the bytes a client sends into command lines. A line longer than the limit is refused
// whole: it is reported once and its remaining bytes up to the next line feed are dropped, so no
// part of it is ever run as a command, however the bytes arrive.
class ConsoleLineReader {
public:
    static constexpr std::size_t kMaxLineLength = 16384;

    enum class Next { None, Line, TooLong };

    void append(const char* bytes, std::size_t size);
    // The next complete line, without its "\n" or "\r\n"; None until a line is complete.
    Next next(std::string& line);

private:
    std::string pending_;      // bytes received and not yet taken from `begin_` on
    std::size_t begin_ = 0;    // where the line not yet taken starts
    std::size_t scanned_ = 0;  // where the search for its line feed goes on
    bool dropping_ = false;    // within the rest of a line already refused
};

// A line splits into the command, after any leading spaces, and its arguments after the single
// space that ends the command. A line of spaces alone has no command.
struct ConsoleCommandLine {
    std::string name;
    std::string args;
};
ConsoleCommandLine splitConsoleCommandLine(const std::string& line);

// "upload NAME DATA": DATA is Base64 read in groups of four, each decoded on its own (the last may
// lack its padding). False, with why ("invalid file name" or "invalid Base64 data") and the upload
// untouched, when NAME is no plain file name (empty, "." or "..", or holding a path separator, a
// zero byte or one of the other bytes no upload name may have) or DATA holds anything but Base64.
struct ConsoleUpload {
    static constexpr std::size_t kMaxNameLength = 511;
    std::string name;
    std::string contents;
};
bool parseConsoleUpload(const std::string& args, ConsoleUpload& upload, std::string* why = nullptr);

// "touch tap X Y" and "touch swipe X1 Y1 X2 Y2". Each number is one whole piece between single
// spaces, read with a point as the decimal separator, finite and within a float's range.
struct ConsoleTouch {
    enum class Kind {
        Help,  // "help" or "-h"
        Tap,
        Swipe,
        Invalid,  // "tap" or "swipe" with a wrong count of pieces or a piece that is no number
        Other,    // any other first piece: the command does nothing
    };
    Kind kind = Kind::Other;
    float x1 = 0.0f, y1 = 0.0f, x2 = 0.0f, y2 = 0.0f;  // a tap's point is (x1, y1)
};
ConsoleTouch parseConsoleTouch(const std::string& args);

// "resolution WIDTH HEIGHT POLICY": three decimal integers, the sizes positive and the policy one of
// the five resolution policies (0 to 4). False for anything else, numbers beyond an int included.
struct ConsoleResolution {
    int width = 0, height = 0, policy = 0;
};
bool parseConsoleResolution(const std::string& args, ConsoleResolution& resolution);

}  // namespace kite
