// Every request the server answered, in order, for tests and for the person running the game.
#pragma once
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace stargrid_server {

struct LoggedRequest {
    long sequence = 0;
    std::string method;
    std::string path;   // without the query
    std::string query;  // "a=1&b=2", as sent
    std::string body;   // cut to a few kilobytes
    int status = 0;     // what was answered; 0 when the reply was dropped
    std::string note;   // the override applied, if any
};

class RequestLog {
public:
    // Keeps the newest entries only, so a long session cannot grow without bound.
    explicit RequestLog(std::size_t capacity = 10000) : capacity_(capacity) {}

    void add(LoggedRequest entry);
    std::vector<LoggedRequest> since(long sequence) const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<LoggedRequest> entries_;
    std::size_t capacity_;
    long next_ = 1;
};

}  // namespace stargrid_server
