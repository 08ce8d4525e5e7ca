#include "kite/foundation/Log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "kite/foundation/Console.h"

namespace kite {

namespace {
constexpr int kLogBufferSize = 16384;
std::atomic<LogForwarder> logForwarder{nullptr};
}  // namespace

void log(const char* format, ...) {
    char buffer[kLogBufferSize];
    va_list args;
    va_start(args, format);
    int written = vsnprintf(buffer, kLogBufferSize - 3, format, args);
    va_end(args);
    std::size_t length = written < 0 ? 0 : std::strlen(buffer);
    buffer[length] = '\n';
    buffer[length + 1] = '\0';

    std::fputs(buffer, stdout);
    std::fflush(stdout);
    Console::logToActiveConsole(buffer);
    if (LogForwarder forward = logForwarder.load()) forward(buffer);
}

void setLogForwarder(LogForwarder forwarder) { logForwarder.store(forwarder); }

}  // namespace kite
