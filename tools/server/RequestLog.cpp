#include "tools/server/RequestLog.h"

namespace stargrid_server {

namespace {
constexpr std::size_t kBodyKept = 4096;
}

void RequestLog::add(LoggedRequest entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (entry.body.size() > kBodyKept) entry.body.resize(kBodyKept);
    entry.sequence = next_++;
    if (entries_.size() >= capacity_) entries_.erase(entries_.begin());
    entries_.push_back(std::move(entry));
}

std::vector<LoggedRequest> RequestLog::since(long sequence) const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<LoggedRequest> found;
    for (const LoggedRequest& entry : entries_) {
        if (entry.sequence > sequence) found.push_back(entry);
    }
    return found;
}

void RequestLog::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.clear();
}

}  // namespace stargrid_server
