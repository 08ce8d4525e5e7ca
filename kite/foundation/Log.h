// The engine's one logging call.
#pragma once

namespace kite {

// Formats into a 16384-byte buffer (longer text is cut at 16380 characters),
// appends a newline, writes it to standard output and hands it on to the
// debug console (queued only while a client asked for log lines) and to the
// forwarder when one is installed. Safe from any thread.
void log(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Another receiver of every log line (tests capture lines with it); null removes it.
using LogForwarder = void (*)(const char* line);
void setLogForwarder(LogForwarder forwarder);

}  // namespace kite
