// Collects the engine's log lines while it lives, for tests that assert what was logged.
#pragma once
#include <mutex>
#include <string>
#include <vector>

namespace kite {
namespace test {

// One capture at a time (the engine has one forwarder); lines logged on other threads are kept too.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // The lines so far, without their newline.
    std::vector<std::string> lines() const;
    // How many lines hold the text.
    std::size_t count(const std::string& text) const;
    bool contains(const std::string& text) const { return count(text) > 0; }
    // Every line, each followed by a newline.
    std::string text() const;
    void clear();

private:
    static void forward(const char* line);

    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace test
}  // namespace kite
