// Writes the preferences file off the main thread: the frame hands over a snapshot of the bytes,
// a writer thread writes, syncs and renames it. One write at a time; a snapshot still waiting
// when a newer one comes is dropped for it.
#pragma once
#include <sys/types.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace kite {

class PreferencesWriter {
public:
    // write(bytes) replaces the file and answers whether it did; it runs on the writer thread.
    explicit PreferencesWriter(std::function<bool(const std::string&)> write);
    // Writes what is still waiting, then stops the thread.
    ~PreferencesWriter();
    PreferencesWriter(const PreferencesWriter&) = delete;
    PreferencesWriter& operator=(const PreferencesWriter&) = delete;

    void submit(std::string bytes);
    // How the last write that ended since the previous look went: a later snapshot holds every
    // earlier one, so only the last outcome tells what the disk holds.
    enum class Outcome { None, Written, Failed };
    // Waits until nothing waits or is being written, then the outcome (a failure's errno in `error`).
    Outcome waitIdle(int& error);
    // The same without waiting.
    Outcome takeOutcome(int& error);

private:
    void run();
    // The thread belongs to the process that started it: a forked child writes on its own.
    bool inOwnerProcess() const;
    // Writes on the calling thread and keeps the outcome (no writer thread in this process).
    void writeHere(const std::string& bytes);
    // Hands the outcome over and forgets it; under the lock where there is a thread.
    Outcome takeLocked(int& error);

    std::function<bool(const std::string&)> write_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::optional<std::string> waiting_;
    bool writing_ = false;
    bool stopping_ = false;
    Outcome outcome_ = Outcome::None;
    int error_ = 0;
    pid_t owner_ = 0;
    std::thread thread_;
};

}  // namespace kite
