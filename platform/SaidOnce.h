// Lines about what stays wrong for the whole run (a folder that cannot be made, a file that cannot be
// read), said once a process rather than at every call that meets the same thing again.
#pragma once
#include <string>

namespace platform {

// True the first time this process asks about the line, false every time after; safe from any thread.
bool firstTimeSaid(const std::string& line);

// Writes the line (and a newline) to standard error, the first time only.
void sayOnce(const std::string& line);

}  // namespace platform
