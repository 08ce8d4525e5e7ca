// Sound files decoded to PCM: whole for short effects, or frame by frame for streamed music.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// A whole sound in memory, samples interleaved in native byte order:
// 8-bit samples are unsigned, 16-bit samples signed.
struct PcmSound {
    int channels = 0;       // 1 or 2
    int bitsPerSample = 0;  // 8 or 16
    int sampleRate = 0;     // hertz
    std::vector<std::uint8_t> data;
};

struct DecodeResult {
    bool ok = false;
    PcmSound sound;
    std::string error;  // what was wrong, for the caller's log line
};

// A ".wav" file, or one without extension, is taken as it is stored: at most two
// channels of 8- or 16-bit little-endian linear PCM, anything else is refused.
// Every other file (MP3 among them) is converted to 16-bit PCM with its own
// channel count (at most two) and rate. A file without frames is refused too.
DecodeResult decodeSoundFile(const std::string& path);

// Tests: runs on the thread that opens a sound file, just before it does (null removes it), so a
// test can hold a load where a slow disk would.
void setSoundFileOpenHookForTesting(std::function<void(const std::string& path)> hook);

// Reads a sound file as 16-bit frames, from any position; for music.
class SoundFileReader {
public:
    // Null, with the reason in error, when the file cannot be read as sound.
    static std::unique_ptr<SoundFileReader> open(const std::string& path, std::string& error);
    ~SoundFileReader();
    SoundFileReader(const SoundFileReader&) = delete;
    SoundFileReader& operator=(const SoundFileReader&) = delete;

    int channels() const { return channels_; }
    int sampleRate() const { return sampleRate_; }
    std::int64_t frames() const { return frames_; }

    // Fills out with up to frameCount interleaved frames; answers how many were read
    // (fewer only at the end of the file).
    std::size_t read(std::int16_t* out, std::size_t frameCount);
    bool seek(std::int64_t frame);

    struct File;
    explicit SoundFileReader(std::unique_ptr<File> file);  // made by open

private:
    std::unique_ptr<File> file_;
    int channels_ = 0;
    int sampleRate_ = 0;
    std::int64_t frames_ = 0;
};

}  // namespace platform
