// The preferences writer thread: one write at a time, the latest snapshot wins, failures are reported.
#include "kite/platform/PreferencesWriter.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace kite {
namespace {

// A write that holds the writer thread until released, recording what it was given.
struct GatedWrite {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> written;
    bool started = false;
    bool released = false;
    bool fails = false;

    bool operator()(const std::string& bytes) {
        std::unique_lock<std::mutex> lock(mutex);
        started = true;
        changed.notify_all();
        changed.wait_for(lock, std::chrono::seconds(10), [this] { return released; });
        written.push_back(bytes);
        return !fails;
    }
    bool waitStarted() {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(10), [this] { return started; });
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex);
        released = true;
        changed.notify_all();
    }
};

TEST(PreferencesWriter, AWriteInProgressFinishesAndOnlyTheLatestWaitingSnapshotFollows) {
    GatedWrite gate;
    PreferencesWriter writer([&gate](const std::string& bytes) { return gate(bytes); });
    writer.submit("frame 1");
    ASSERT_TRUE(gate.waitStarted());
    writer.submit("frame 2");
    writer.submit("frame 3");
    gate.release();
    int error = 0;
    EXPECT_EQ(writer.waitIdle(error), PreferencesWriter::Outcome::Written);
    EXPECT_EQ(gate.written, (std::vector<std::string>{"frame 1", "frame 3"}));
}

TEST(PreferencesWriter, AFailedWriteIsReportedOnceWithItsErrorAndALaterWriteThatWorksSaysSo) {
    GatedWrite gate;
    gate.fails = true;
    gate.release();
    PreferencesWriter writer([&gate](const std::string& bytes) {
        const bool written = gate(bytes);
        errno = ENOSPC;
        return written;
    });
    writer.submit("bytes");
    int error = 0;
    EXPECT_EQ(writer.waitIdle(error), PreferencesWriter::Outcome::Failed);
    EXPECT_EQ(error, ENOSPC);
    EXPECT_EQ(writer.takeOutcome(error), PreferencesWriter::Outcome::None);
    // Space again: the next snapshot holds every earlier one, so its outcome is what the disk holds.
    gate.fails = false;
    writer.submit("more bytes");
    EXPECT_EQ(writer.waitIdle(error), PreferencesWriter::Outcome::Written);
    EXPECT_EQ(writer.waitIdle(error), PreferencesWriter::Outcome::None);
}

TEST(PreferencesWriter, WhatStillWaitsIsWrittenBeforeTheWriterGoes) {
    GatedWrite gate;
    {
        PreferencesWriter writer([&gate](const std::string& bytes) { return gate(bytes); });
        writer.submit("first");
        ASSERT_TRUE(gate.waitStarted());
        writer.submit("last");
        gate.release();
    }
    EXPECT_EQ(gate.written, (std::vector<std::string>{"first", "last"}));
}

}  // namespace
}  // namespace kite
