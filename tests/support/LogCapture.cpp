#include "tests/support/LogCapture.h"

#include <algorithm>

#include "kite/foundation/Log.h"

namespace kite {
namespace test {

namespace {
LogCapture* active = nullptr;
std::mutex activeMutex;
}  // namespace

LogCapture::LogCapture() {
    std::lock_guard<std::mutex> lock(activeMutex);
    active = this;
    setLogForwarder(&LogCapture::forward);
}

LogCapture::~LogCapture() {
    std::lock_guard<std::mutex> lock(activeMutex);
    setLogForwarder(nullptr);
    active = nullptr;
}

void LogCapture::forward(const char* line) {
    std::lock_guard<std::mutex> lock(activeMutex);
    if (!active) return;
    std::string text(line);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    std::lock_guard<std::mutex> linesLock(active->mutex_);
    active->lines_.push_back(std::move(text));
}

std::vector<std::string> LogCapture::lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
}

std::size_t LogCapture::count(const std::string& text) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<std::size_t>(std::count_if(
        lines_.begin(), lines_.end(), [&](const std::string& line) { return line.find(text) != std::string::npos; }));
}

std::string LogCapture::text() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string all;
    for (const std::string& line : lines_) all += line + "\n";
    return all;
}

void LogCapture::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
}

}  // namespace test
}  // namespace kite
