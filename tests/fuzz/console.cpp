// What a client of the debug console sends on 127.0.0.1: the bytes go through the console's own line
// reading and command table as they do from a socket, its replies come back through a socket pair,
// and each line's arguments go through the readers its command uses, whose promises are checked.
// No director exists: work the commands post for the main thread is never run, and uploads land in
// a private scratch folder.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "FuzzSupport.h"
#include "kite/foundation/Console.h"
#include "kite/foundation/ConsoleInput.h"
#include "kite/foundation/FileUtils.h"
#include "kite/scene/ConsoleCommands.h"

namespace {

using kite::ConsoleLineReader;

// A promise of the readers that does not hold is a finding.
void check(bool promise) {
    if (!promise) std::abort();
}

// The sizes in which the bytes arrive, from 1 to `most`, drawn from the bytes themselves.
std::size_t chunkSize(const std::uint8_t* data, std::size_t size, std::size_t at, std::size_t most) {
    return 1 + data[at % size] * (most - 1) / 255;
}

// Lines as the reader gives them, "\n" standing for a line refused as too long (no line holds one).
std::vector<std::string> readLines(const std::uint8_t* data, std::size_t size, bool inPieces) {
    ConsoleLineReader reader;
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t at = 0, chunk; at < size; at += chunk) {
        chunk = inPieces ? std::min(chunkSize(data, size, at, 64), size - at) : size;
        reader.append(reinterpret_cast<const char*>(data) + at, chunk);
        for (ConsoleLineReader::Next next; (next = reader.next(line)) != ConsoleLineReader::Next::None;) {
            if (next == ConsoleLineReader::Next::TooLong) line = "\n";
            lines.push_back(line);
        }
    }
    return lines;
}

bool inside(const kite::Vec2& point, const kite::Size& view) {
    return point.x >= 0 && point.y >= 0 && point.x <= view.width && point.y <= view.height;
}

void checkSwipe(const kite::ConsoleTouch& touch) {
    const kite::Size view(640, 1136);
    const kite::Vec2 from(touch.x1, touch.y1), to(touch.x2, touch.y2);
    if (!inside(from, view) || !inside(to, view)) return;  // refused by the command
    const std::vector<kite::Vec2> moves = kite::consoleSwipeMoves(from, to, view);
    check(moves.size() < 1136);
    // Every move lies between the ends (a rounding apart), and the last within one unit of the end.
    const float slack = 1e-3f;
    for (const kite::Vec2& at : moves) {
        check(std::isfinite(at.x) && std::isfinite(at.y));
        check(at.x >= std::fmin(from.x, to.x) - slack && at.x <= std::fmax(from.x, to.x) + slack);
        check(at.y >= std::fmin(from.y, to.y) - slack && at.y <= std::fmax(from.y, to.y) + slack);
    }
    if (!moves.empty())
        check(std::fabs(moves.back().x - to.x) <= 1 + slack && std::fabs(moves.back().y - to.y) <= 1 + slack);
}

void checkArguments(const kite::ConsoleCommandLine& command) {
    if (command.name == "upload") {
        kite::ConsoleUpload upload;
        if (!kite::parseConsoleUpload(command.args, upload)) return;
        // A plain name in the upload folder, never a path out of it.
        check(!upload.name.empty() && upload.name.size() <= kite::ConsoleUpload::kMaxNameLength);
        check(upload.name != "." && upload.name != "..");
        check(upload.name.find_first_of(std::string("/\0", 2)) == std::string::npos);
        check(upload.contents.size() <= command.args.size() / 4 * 3);
    } else if (command.name == "touch") {
        const kite::ConsoleTouch touch = kite::parseConsoleTouch(command.args);
        if (touch.kind != kite::ConsoleTouch::Kind::Tap && touch.kind != kite::ConsoleTouch::Kind::Swipe) return;
        for (float number : {touch.x1, touch.y1, touch.x2, touch.y2}) check(std::isfinite(number));
        if (touch.kind == kite::ConsoleTouch::Kind::Swipe) checkSwipe(touch);
    } else if (command.name == "resolution") {
        kite::ConsoleResolution resolution;
        if (!kite::parseConsoleResolution(command.args, resolution)) return;
        check(resolution.width > 0 && resolution.height > 0 && resolution.policy >= 0 && resolution.policy <= 4);
    }
}

// The whole stream through a console of its own, read as its listener reads a client.
void runThroughConsole(const std::uint8_t* data, std::size_t size) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) != 0) return;
    auto console = std::make_unique<kite::Console>();
    kite::addDirectorCommands(*console);
    auto connection = std::make_shared<kite::ConsoleConnection>(ends[0]);
    ConsoleLineReader lines;
    char reply[65536];
    // As many bytes as one read of the listener takes at most.
    for (std::size_t at = 0, chunk; at < size && connection->isOpen(); at += chunk) {
        chunk = std::min(chunkSize(data, size, at, 4096), size - at);
        console->receive(connection, lines, reinterpret_cast<const char*>(data) + at, chunk);
        while (read(ends[1], reply, sizeof(reply)) > 0) {}
    }
    close(ends[1]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The writable path, and so the upload folder, is in the scratch folder from the start.
    static const std::string uploads = [] {
        fuzz::PrivateUserFolders::once();
        return kite::FileUtils::getInstance()->getWritablePath() + "/" + kite::Console::kUploadFolder;
    }();

    // However the bytes arrive, the same lines come out, none longer than the limit.
    const std::vector<std::string> lines = readLines(data, size, false);
    check(lines == readLines(data, size, true));
    for (const std::string& line : lines) {
        if (line == "\n") continue;
        check(line.size() <= ConsoleLineReader::kMaxLineLength && line.find('\n') == std::string::npos);
        const kite::ConsoleCommandLine command = kite::splitConsoleCommandLine(line);
        check(command.name.find(' ') == std::string::npos);
        check(command.name.empty() == (line.find_first_not_of(' ') == std::string::npos));
        checkArguments(command);
    }

    runThroughConsole(data, size);
    std::error_code ignored;
    std::filesystem::remove_all(uploads, ignored);
    return 0;
}
