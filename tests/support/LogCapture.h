// Collects the log lines written while it lives, for tests that expect a message.
#pragma once
#include <string>
#include <vector>

#include "kite/foundation/Log.h"

namespace kite::test {

class LogCapture {
public:
    LogCapture() {
        current() = this;
        setLogForwarder(&LogCapture::forward);
    }
    ~LogCapture() {
        setLogForwarder(nullptr);
        current() = nullptr;
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Every line, each followed by a newline.
    std::string text() const {
        std::string all;
        for (const std::string& line : lines) all += line + "\n";
        return all;
    }

    std::vector<std::string> lines;

private:
    static LogCapture*& current() {
        static LogCapture* capture = nullptr;
        return capture;
    }
    static void forward(const char* line) {
        if (current()) current()->lines.push_back(line);
    }
};

}  // namespace kite::test
