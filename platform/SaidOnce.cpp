// The process's record of lines said once.
#include "platform/SaidOnce.h"

#include <cstdio>
#include <mutex>
#include <set>

namespace platform {

bool firstTimeSaid(const std::string& line) {
    static std::mutex mutex;
    static std::set<std::string> said;
    std::lock_guard<std::mutex> lock(mutex);
    return said.insert(line).second;
}

void sayOnce(const std::string& line) {
    if (firstTimeSaid(line)) std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace platform
