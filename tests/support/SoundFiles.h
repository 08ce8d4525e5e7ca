// Sound files made for tests: sine tones written in any format libsndfile can write.
#pragma once
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <sndfile.h>

#include "support/TemporaryFolder.h"

namespace kite::test {

struct Tone {
    int format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    int channels = 1;
    int sampleRate = 44100;
    double frequency = 440.0;
    std::int64_t frames = 4410;
    double amplitude = 0.5;
};

// Writes the tone to path; false when libsndfile refuses the format.
inline bool writeTone(const std::string& path, const Tone& tone) {
    SF_INFO info;
    std::memset(&info, 0, sizeof info);
    info.samplerate = tone.sampleRate;
    info.channels = tone.channels;
    info.format = tone.format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) return false;
    std::vector<double> samples(static_cast<std::size_t>(tone.frames) * tone.channels);
    for (std::int64_t i = 0; i < tone.frames; ++i) {
        const double value = tone.amplitude * std::sin(2.0 * M_PI * tone.frequency * i / tone.sampleRate);
        for (int c = 0; c < tone.channels; ++c) samples[i * tone.channels + c] = value;
    }
    const sf_count_t written = sf_writef_double(file, samples.data(), tone.frames);
    sf_close(file);
    return written == tone.frames;
}

// A short MP3 as libsndfile writes it (8000 Hz, mono, 4000 frames) whose Xing header then claims
// mpegFrames MPEG frames instead. False when the file cannot be made so.
inline bool writeMp3ClaimingFrames(const std::string& path, std::uint32_t mpegFrames) {
    Tone tone;
    tone.format = SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III;
    tone.sampleRate = 8000;
    tone.frames = 4000;
    if (!writeTone(path, tone)) return false;
    std::string bytes = readWholeFile(path);
    std::size_t xing = bytes.find("Xing");
    if (xing == std::string::npos) xing = bytes.find("Info");
    // The flags word comes first; its lowest bit says a frame count (big-endian) follows.
    if (xing == std::string::npos || bytes.size() < xing + 12 || (bytes[xing + 7] & 1) == 0) return false;
    for (int i = 0; i < 4; ++i) bytes[xing + 8 + i] = static_cast<char>((mpegFrames >> (24 - 8 * i)) & 0xff);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
    return static_cast<bool>(out);
}

// An MP3 whose Xing header claims two frames: the encoder's delay and padding leave that a negative
// length, which libsndfile reports as unknown (SF_COUNT_MAX frames).
inline bool writeMp3OfUnknownLength(const std::string& path) { return writeMp3ClaimingFrames(path, 2); }

// Sign changes along one channel of interleaved 16-bit samples.
inline int zeroCrossings(const std::int16_t* samples, std::size_t frames, int channels) {
    int crossings = 0;
    for (std::size_t i = 1; i < frames; ++i) {
        const int before = samples[(i - 1) * channels];
        const int now = samples[i * channels];
        if ((before < 0 && now >= 0) || (before >= 0 && now < 0)) ++crossings;
    }
    return crossings;
}

}  // namespace kite::test
