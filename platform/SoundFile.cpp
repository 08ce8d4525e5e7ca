#include "platform/SoundFile.h"

#include <fcntl.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <mutex>

#include <sndfile.h>

#include "platform/PrintableText.h"
#include "platform/StoredFile.h"

namespace platform {

namespace {

// No effect or song of the game comes near this; larger claims are damaged headers.
constexpr std::int64_t kMaxDecodedBytes = std::int64_t{256} * 1024 * 1024;

struct SndfileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndfileHandle = std::unique_ptr<SNDFILE, SndfileCloser>;

std::mutex openHookMutex;
std::function<void(const std::string&)> openHook;

// The file is opened here as every stored file is (a regular file, never waited on); libsndfile
// then reads it through the descriptor, so its error is about the contents (given a name, it calls
// every file it does not recognise "not a regular file (possibly a pipe?)").
SndfileHandle openForReading(const std::string& path, SF_INFO& info, std::string& error) {
    std::memset(&info, 0, sizeof info);
    std::function<void(const std::string&)> hook;
    {
        std::lock_guard<std::mutex> lock(openHookMutex);
        hook = openHook;
    }
    if (hook) hook(path);
    std::string why;
    const int fd = openRegularFile(path, O_RDONLY, LinkAtFile::Follow, &why);
    if (fd < 0) {
        error = "cannot read " + printableText(path) + ": " + why;
        return nullptr;
    }
    SndfileHandle file(sf_open_fd(fd, SFM_READ, &info, SF_TRUE));  // closes the descriptor in every case
    if (!file) {
        error = "cannot read " + printableText(path) + ": " + sf_strerror(nullptr);
        return nullptr;
    }
    if (info.channels < 1 || info.channels > 2) {
        error = printableText(path) + " has " + std::to_string(info.channels) + " channels (1 or 2 are played)";
        return nullptr;
    }
    if (info.frames <= 0 || info.samplerate <= 0) {
        error = printableText(path) + " holds no frames";
        return nullptr;
    }
    return file;
}

// The extension decides how a file is taken: as stored (WAV) or converted.
bool isStoredAsIs(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return true;
    std::string extension = path.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == "wav";
}

// The length and frame size are checked before any product of them is formed: a damaged header can claim
// any count, and libsndfile answers SF_COUNT_MAX for a length it cannot tell.
bool checkDecodedSize(const SF_INFO& info, int bits, std::string& error) {
    if (info.frames == SF_COUNT_MAX) {
        error = "the length is unknown";
        return false;
    }
    if (info.frames <= 0) {
        error = "holds no frames";
        return false;
    }
    if (info.channels < 1 || info.channels > 2 || (bits != 8 && bits != 16)) {
        error = "frames of " + std::to_string(info.channels) + " channels of " + std::to_string(bits) +
                " bits are not played";
        return false;
    }
    const std::int64_t bytesPerFrame = std::int64_t{info.channels} * (bits / 8);
    if (info.frames > kMaxDecodedBytes / bytesPerFrame) {
        error = "sound too long (" + std::to_string(info.frames) + " frames)";
        return false;
    }
    return true;
}

// Frames are read in chunks and the buffer grows with what was decoded: a header may claim far more
// frames than the file holds, and the claim is never reserved up front.
bool readFrames(SNDFILE* file, const SF_INFO& info, int bits, PcmSound& sound, std::string& error) {
    if (!checkDecodedSize(info, bits, error)) return false;
    constexpr sf_count_t kChunkFrames = 16384;
    const std::size_t bytesPerFrame = static_cast<std::size_t>(info.channels) * (bits / 8);
    sound.channels = info.channels;
    sound.bitsPerSample = bits;
    sound.sampleRate = info.samplerate;
    sf_count_t total = 0;
    while (total < info.frames) {
        const sf_count_t want = std::min(kChunkFrames, info.frames - total);
        const std::size_t start = static_cast<std::size_t>(total) * bytesPerFrame;
        sound.data.resize(start + static_cast<std::size_t>(want) * bytesPerFrame);
        sf_count_t got = 0;
        if (bits == 8) {
            got = sf_read_raw(file, sound.data.data() + start, want * info.channels) / info.channels;
        } else {
            got = sf_readf_short(file, reinterpret_cast<short*>(sound.data.data() + start), want);
        }
        if (got <= 0) break;
        total += got;
        if (got < want) break;
    }
    if (total <= 0) {
        error = "no frames could be decoded";
        return false;
    }
    // A file shorter than its header says keeps what was read.
    sound.data.resize(static_cast<std::size_t>(total) * bytesPerFrame);
    return true;
}

DecodeResult decodeFile(const std::string& path) {
    DecodeResult result;
    SF_INFO info;
    SndfileHandle file = openForReading(path, info, result.error);
    if (!file) return result;
    int bits = 16;
    if (isStoredAsIs(path)) {
        const int subtype = info.format & SF_FORMAT_SUBMASK;
        if ((info.format & SF_FORMAT_ENDMASK) == SF_ENDIAN_BIG) {  // RIFX
            result.error = printableText(path) + " is big-endian";
            return result;
        }
        if (subtype == SF_FORMAT_PCM_U8) {
            bits = 8;
        } else if (subtype != SF_FORMAT_PCM_16) {
            result.error = printableText(path) + " is not 8- or 16-bit linear PCM";
            return result;
        }
    }
    if (!readFrames(file.get(), info, bits, result.sound, result.error)) {
        result.error = printableText(path) + ": " + result.error;
        result.sound = PcmSound();
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace

void setSoundFileOpenHookForTesting(std::function<void(const std::string& path)> hook) {
    std::lock_guard<std::mutex> lock(openHookMutex);
    openHook = std::move(hook);
}

DecodeResult decodeSoundFile(const std::string& path) {
    // Nothing thrown below (memory running out among it) may end the game: the file fails instead.
    try {
        return decodeFile(path);
    } catch (const std::exception& e) {
        DecodeResult result;
        result.error = printableText(path) + ": cannot be decoded (" + e.what() + ")";
        return result;
    }
}

struct SoundFileReader::File {
    SndfileHandle handle;
};

SoundFileReader::SoundFileReader(std::unique_ptr<File> file) : file_(std::move(file)) {}
SoundFileReader::~SoundFileReader() = default;

std::unique_ptr<SoundFileReader> SoundFileReader::open(const std::string& path, std::string& error) {
    SF_INFO info;
    SndfileHandle handle = openForReading(path, info, error);
    if (!handle) return nullptr;
    auto file = std::make_unique<File>();
    file->handle = std::move(handle);
    auto reader = std::make_unique<SoundFileReader>(std::move(file));
    reader->channels_ = info.channels;
    reader->sampleRate_ = info.samplerate;
    reader->frames_ = info.frames;
    return reader;
}

std::size_t SoundFileReader::read(std::int16_t* out, std::size_t frameCount) {
    const sf_count_t got = sf_readf_short(file_->handle.get(), out, static_cast<sf_count_t>(frameCount));
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

bool SoundFileReader::seek(std::int64_t frame) { return sf_seek(file_->handle.get(), frame, SEEK_SET) >= 0; }

}  // namespace platform
