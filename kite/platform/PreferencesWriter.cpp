#include "kite/platform/PreferencesWriter.h"

#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include "kite/foundation/Log.h"

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

void PreferencesWriter::writeHere(const std::string& bytes) {
    const bool written = write_(bytes);
    error_ = errno;
    outcome_ = written ? Outcome::Written : Outcome::Failed;
}

void PreferencesWriter::submit(std::string bytes) {
    // The writer thread was not copied by the fork; the child writes on its own thread.
    if (owner_ != 0 && !inOwnerProcess()) return writeHere(bytes);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!thread_.joinable()) {
            try {
                thread_ = std::thread([this] { run(); });
                owner_ = ::getpid();
            } catch (const std::system_error& failure) {
                // Without its thread the snapshot is written here: the frame waits, nothing is lost.
                static bool said = false;
                if (!std::exchange(said, true))
                    log("UserDefault: cannot start the writer thread (%s); the store is saved on the main thread",
                        failure.what());
                return writeHere(bytes);
            }
        }
        waiting_ = std::move(bytes);
    }
    wake_.notify_one();
}

PreferencesWriter::Outcome PreferencesWriter::takeLocked(int& error) {
    const Outcome outcome = outcome_;
    error = error_;
    outcome_ = Outcome::None;
    return outcome;
}

PreferencesWriter::Outcome PreferencesWriter::waitIdle(int& error) {
    // Whatever the parent had in flight is the parent's; a forked child has nothing waiting.
    if (owner_ != 0 && !inOwnerProcess()) return takeLocked(error);
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait(lock, [this] { return !waiting_ && !writing_; });
    return takeLocked(error);
}

PreferencesWriter::Outcome PreferencesWriter::takeOutcome(int& error) {
    std::unique_lock<std::mutex> lock(mutex_, std::defer_lock);
    if (owner_ != 0 && inOwnerProcess()) lock.lock();
    return takeLocked(error);
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
        outcome_ = written ? Outcome::Written : Outcome::Failed;
        error_ = error;
        if (!waiting_) idle_.notify_all();
    }
}

}  // namespace kite
