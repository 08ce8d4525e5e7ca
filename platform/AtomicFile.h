// Whole-file replacement that a crash or a kill can never leave torn or empty.
#pragma once
#include <cstddef>
#include <functional>
#include <string>

namespace platform {

// Writes the bytes to a fresh temporary file beside `path`, syncs it to disk,
// renames it over `path` and syncs the directory. Until the rename the old
// file stays whole; after it the new one is complete. Returns false (with
// errno set) when the directory is missing or the disk refuses; the old file
// is then untouched and no temporary file is left behind.
bool writeFileAtomically(const std::string& path, const void* bytes, std::size_t size);
bool writeFileAtomically(const std::string& path, const std::string& contents);
// The same, leaving the file with the given permission bits (for example 0600
// for a file only its owner may read), whatever mode an older file had.
bool writeFileAtomically(const std::string& path, const std::string& contents, unsigned int mode);

// Removes the temporary files beside `path` that saves killed before their
// rename left behind. Call it before the first save, not during one.
void removeLeftoverTemporaries(const std::string& path);

// Writes the bytes over `path` in place, as a stream opened for writing would: for outputs a person
// names (a shot, a report). Only a regular file (a link to one is followed) or a new one is written: a
// FIFO, a device, a socket or a folder is refused at once, never waited on (see openRegularFile). False,
// with the reason in *error when given, when the file cannot be opened or written.
bool writeFileInPlace(const std::string& path, const void* bytes, std::size_t size, std::string* error = nullptr);

// Writes every byte to the open descriptor, going on after interruptions. False (with errno set)
// when the descriptor refuses them.
bool writeAll(int fd, const void* bytes, std::size_t size);

// Test hook: called with the temporary file's path after it has been synced
// and before it is renamed over the target. A test can end the process here
// to stand for a crash in the middle of a save. Null removes it.
using AtomicWriteHook = std::function<void(const std::string& temporaryPath)>;
void setAtomicWriteHookForTesting(AtomicWriteHook hook);

}  // namespace platform
