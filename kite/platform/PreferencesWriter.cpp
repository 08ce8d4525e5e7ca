#include "kite/platform/PreferencesWriter.h"

#include <unistd.h>

#include <cerrno>

namespace kite {

PreferencesWriter::PreferencesWriter(std::function<bool(const std::string&)> write) : write_(std::move(write)) {}

PreferencesWriter::~PreferencesWriter() {
    if (!thread_.joinable() || !inOwnerProcess()) {
        if (thread_.joinable()) thread_.detach();  // a forked child's copy: no thread behind it
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

bool PreferencesWriter::inOwnerProcess() const { return owner_ == ::getpid(); }

void PreferencesWriter::submit(std::string bytes) {
    if (owner_ != 0 && !inOwnerProcess()) {
        // The writer thread was not copied by the fork; the child writes on its own thread.
        if (!write_(bytes)) {
            failed_ = true;
            error_ = errno;
        }
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        waiting_ = std::move(bytes);
        if (!thread_.joinable()) {
            owner_ = ::getpid();
            thread_ = std::thread([this] { run(); });
        }
    }
    wake_.notify_one();
}

bool PreferencesWriter::waitIdle(int& error) {
    if (owner_ != 0 && !inOwnerProcess()) {
        // Whatever the parent had in flight is the parent's; this process has nothing waiting.
        const bool ok = !failed_;
        error = error_;
        failed_ = false;
        return ok;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [this] { return !waiting_ && !writing_; });
    const bool ok = !failed_;
    error = error_;
    failed_ = false;
    return ok;
}

bool PreferencesWriter::takeFailure(int& error) {
    std::unique_lock<std::mutex> lock(mutex_, std::defer_lock);
    if (owner_ != 0 && inOwnerProcess()) lock.lock();
    const bool ok = !failed_;
    error = error_;
    failed_ = false;
    return ok;
}

void PreferencesWriter::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return waiting_ || stopping_; });
        if (!waiting_) return;  // stopping with nothing left to write
        std::string bytes = std::move(*waiting_);
        waiting_.reset();
        writing_ = true;
        lock.unlock();
        const bool written = write_(bytes);
        const int error = errno;
        lock.lock();
        writing_ = false;
        if (!written) {
            failed_ = true;
            error_ = error;
        }
        if (!waiting_) idle_.notify_all();
    }
}

}  // namespace kite
