#include "platform/MusicPlayer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#define AL_ALEXT_PROTOTYPES
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include "platform/OpenALContext.h"
#include "platform/SoundFile.h"

namespace platform {

namespace {

constexpr int kBufferCount = 4;
constexpr std::size_t kFramesPerBuffer = 4096;  // about 0.1 s at 44.1 kHz, so four cover a slow frame
constexpr auto kRefillInterval = std::chrono::milliseconds(10);

// Music has its own device and context, so that the effects' context can be made
// current or not without touching it; each streaming thread makes it current for itself.
class MusicOutput {
public:
    static std::shared_ptr<MusicOutput> acquire(std::string& error) {
        static std::mutex mutex;
        static std::weak_ptr<MusicOutput> shared;
        std::lock_guard<std::mutex> lock(mutex);
        if (auto output = shared.lock()) return output;
        auto output = std::make_shared<MusicOutput>();
        if (!output->open(error)) return nullptr;
        shared = output;
        return output;
    }
    ~MusicOutput() { closeDevice(device_, context_); }
    ALCcontext* context() const { return context_; }

private:
    bool open(std::string& error) {
        if (!alcIsExtensionPresent(nullptr, "ALC_EXT_thread_local_context")) {
            error = "the OpenAL library has no thread-local contexts";
            return false;
        }
        device_ = alcOpenDevice(nullptr);
        if (!device_) {
            error = "no audio output device";
            return false;
        }
        context_ = createPlaybackContext(device_);
        if (!context_) error = "no audio context";
        return context_ != nullptr;
    }

    ALCdevice* device_ = nullptr;
    ALCcontext* context_ = nullptr;
};

// Makes the music context current on this thread for the scope.
class ThreadContext {
public:
    explicit ThreadContext(ALCcontext* context) { alcSetThreadContext(context); }
    ~ThreadContext() { alcSetThreadContext(nullptr); }
    ThreadContext(const ThreadContext&) = delete;
    ThreadContext& operator=(const ThreadContext&) = delete;
};

struct Commands {
    bool playing = false;
    std::int64_t seekTo = -1;
    float volume = 1.0f;
    std::int64_t loops = 0;
    std::uint64_t serial = 0;
};

}  // namespace

struct MusicPlayer::Stream {
    // Written by the owner's thread, taken by the streaming thread.
    std::mutex mutex;
    std::condition_variable wake;
    Commands commands;
    bool quit = false;
    Poster poster;
    Task finishHandler;
    // Published by the streaming thread.
    std::atomic<std::int64_t> position{0};
    // Set when the player goes; finish tasks still queued with the owner look at it.
    std::shared_ptr<std::atomic<bool>> destroyed = std::make_shared<std::atomic<bool>>(false);

    // The streaming thread's own.
    std::shared_ptr<MusicOutput> output;
    std::unique_ptr<SoundFileReader> reader;
    ALuint source = 0;
    ALuint buffers[kBufferCount] = {};
    std::vector<ALuint> freeBuffers;
    std::deque<std::int64_t> queuedStarts;  // the file frame each queued buffer starts at
    std::vector<std::int16_t> samples;
    std::int64_t readFrame = 0;
    std::int64_t loopsDone = 0;
    bool endOfData = false;
    std::thread thread;

    bool createObjects();
    void run();
    bool step(const Commands& commands);  // true when play came to its end
    void seek(std::int64_t frame);
    void recycleProcessed();
    bool queueNextBuffer(std::int64_t loops);
    void publishPosition();
    void finish();
};

bool MusicPlayer::Stream::createObjects() {
    ThreadContext current(output->context());
    alGetError();
    alGenSources(1, &source);
    if (alGetError() != AL_NO_ERROR) return false;
    alGenBuffers(kBufferCount, buffers);
    if (alGetError() != AL_NO_ERROR) {
        alDeleteSources(1, &source);
        return false;
    }
    freeBuffers.assign(buffers, buffers + kBufferCount);
    samples.resize(kFramesPerBuffer * reader->channels());
    return true;
}

void MusicPlayer::Stream::run() {
    ThreadContext current(output->context());
    std::unique_lock<std::mutex> lock(mutex);
    while (!quit) {
        Commands taken = commands;
        commands.seekTo = -1;
        lock.unlock();
        const bool ended = step(taken);
        lock.lock();
        if (ended) {
            // A play or a seek that came in meanwhile wins over the end.
            if (commands.serial == taken.serial) commands.playing = false;
            Task handler = finishHandler;
            Poster post = poster;
            lock.unlock();
            if (handler && post) {
                post([handler, gone = destroyed] {
                    if (!gone->load()) handler();
                });
            } else if (handler) {
                handler();
            }
            lock.lock();
            continue;
        }
        const std::uint64_t serial = commands.serial;
        const auto changed = [&] { return quit || commands.serial != serial; };
        if (commands.playing) {
            wake.wait_for(lock, kRefillInterval, changed);
        } else {
            wake.wait(lock, changed);
        }
    }
    lock.unlock();
    alSourceStop(source);
    alSourcei(source, AL_BUFFER, 0);
    alDeleteSources(1, &source);
    alDeleteBuffers(kBufferCount, buffers);
}

bool MusicPlayer::Stream::step(const Commands& taken) {
    alSourcef(source, AL_GAIN, taken.volume);
    if (taken.seekTo >= 0) seek(taken.seekTo);
    ALint state = AL_INITIAL;
    alGetSourcei(source, AL_SOURCE_STATE, &state);
    if (!taken.playing) {
        if (state == AL_PLAYING) alSourcePause(source);
        publishPosition();
        return false;
    }
    recycleProcessed();
    while (!freeBuffers.empty() && queueNextBuffer(taken.loops)) {}
    if (queuedStarts.empty()) {
        finish();
        return true;
    }
    alGetSourcei(source, AL_SOURCE_STATE, &state);
    // Starts, resumes after a pause, or restarts after the queue ran dry.
    if (state != AL_PLAYING) alSourcePlay(source);
    publishPosition();
    return false;
}

void MusicPlayer::Stream::seek(std::int64_t frame) {
    alSourceStop(source);
    recycleProcessed();
    reader->seek(frame);
    readFrame = frame;
    endOfData = false;
    position = frame;
}

void MusicPlayer::Stream::recycleProcessed() {
    ALint processed = 0;
    alGetSourcei(source, AL_BUFFERS_PROCESSED, &processed);
    while (processed-- > 0 && !queuedStarts.empty()) {
        ALuint buffer = 0;
        alSourceUnqueueBuffers(source, 1, &buffer);
        freeBuffers.push_back(buffer);
        queuedStarts.pop_front();
    }
}

// Decodes the next stretch of the file into a free buffer, going round to the start
// while loops remain. False when nothing more is to be played.
bool MusicPlayer::Stream::queueNextBuffer(std::int64_t loops) {
    if (endOfData) return false;
    const int channels = reader->channels();
    const std::int64_t start = readFrame;
    std::size_t filled = 0;
    bool restartedEmpty = false;
    while (filled < kFramesPerBuffer) {
        const std::size_t got = reader->read(samples.data() + filled * channels, kFramesPerBuffer - filled);
        filled += got;
        readFrame += static_cast<std::int64_t>(got);
        if (filled == kFramesPerBuffer) break;
        const bool loopsRemain = loops < 0 || loopsDone < loops;
        if (!loopsRemain || restartedEmpty) {
            endOfData = true;
            break;
        }
        ++loopsDone;
        restartedEmpty = got == 0 && readFrame == 0;  // a file that yields nothing ends here
        reader->seek(0);
        readFrame = 0;
    }
    if (filled == 0) return false;
    const ALuint buffer = freeBuffers.back();
    alBufferData(buffer, channels == 2 ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16, samples.data(),
                 static_cast<ALsizei>(filled * channels * sizeof(std::int16_t)), reader->sampleRate());
    alSourceQueueBuffers(source, 1, &buffer);
    freeBuffers.pop_back();
    queuedStarts.push_back(start);
    return true;
}

void MusicPlayer::Stream::publishPosition() {
    if (queuedStarts.empty()) {
        position = readFrame;
        return;
    }
    ALint offset = 0;
    alGetSourcei(source, AL_SAMPLE_OFFSET, &offset);
    const std::int64_t frames = std::max<std::int64_t>(reader->frames(), 1);
    position = (queuedStarts.front() + offset) % frames;
}

// After the last loop: back to the start, ready to play again.
void MusicPlayer::Stream::finish() {
    alSourceStop(source);
    recycleProcessed();
    reader->seek(0);
    readFrame = 0;
    loopsDone = 0;
    endOfData = false;
    position = 0;
}

std::unique_ptr<MusicPlayer> MusicPlayer::open(const std::string& path, std::string& error) {
    auto stream = std::make_shared<Stream>();
    stream->reader = SoundFileReader::open(path, error);
    if (!stream->reader) return nullptr;
    stream->output = MusicOutput::acquire(error);
    if (!stream->output) return nullptr;
    if (!stream->createObjects()) {
        error = "no audio source for music";
        return nullptr;
    }
    try {
        stream->thread = std::thread([raw = stream.get()] { raw->run(); });
    } catch (const std::system_error& failure) {
        // No music rather than no game: the sources made for the stream go with it.
        ThreadContext current(stream->output->context());
        alDeleteSources(1, &stream->source);
        alDeleteBuffers(kBufferCount, stream->buffers);
        error = std::string("the music's streaming thread cannot start: ") + failure.what();
        return nullptr;
    }
    return std::make_unique<MusicPlayer>(path, std::move(stream));
}

MusicPlayer::MusicPlayer(std::string path, std::shared_ptr<Stream> stream)
    : path_(std::move(path)), stream_(std::move(stream)) {}

MusicPlayer::~MusicPlayer() {
    stream_->destroyed->store(true);
    {
        std::lock_guard<std::mutex> lock(stream_->mutex);
        stream_->quit = true;
    }
    stream_->wake.notify_one();
    stream_->thread.join();
}

namespace {

template <class Change>
void command(MusicPlayer::Stream& stream, Change change) {
    {
        std::lock_guard<std::mutex> lock(stream.mutex);
        change(stream.commands);
        ++stream.commands.serial;
    }
    stream.wake.notify_one();
}

}  // namespace

void MusicPlayer::setPoster(Poster poster) {
    std::lock_guard<std::mutex> lock(stream_->mutex);
    stream_->poster = std::move(poster);
}

void MusicPlayer::setFinishHandler(Task handler) {
    std::lock_guard<std::mutex> lock(stream_->mutex);
    stream_->finishHandler = std::move(handler);
}

bool MusicPlayer::play() {
    command(*stream_, [](Commands& c) { c.playing = true; });
    return true;
}

void MusicPlayer::pause() {
    command(*stream_, [](Commands& c) { c.playing = false; });
}

void MusicPlayer::stop() { pause(); }

bool MusicPlayer::isPlaying() const {
    std::lock_guard<std::mutex> lock(stream_->mutex);
    return stream_->commands.playing;
}

double MusicPlayer::duration() const {
    return static_cast<double>(stream_->reader->frames()) / stream_->reader->sampleRate();
}

double MusicPlayer::currentTime() const {
    return static_cast<double>(stream_->position.load()) / stream_->reader->sampleRate();
}

void MusicPlayer::setCurrentTime(double seconds) {
    const std::int64_t frames = stream_->reader->frames();
    const auto frame =
        std::clamp<std::int64_t>(static_cast<std::int64_t>(seconds * stream_->reader->sampleRate()), 0, frames);
    stream_->position = frame;
    command(*stream_, [frame](Commands& c) { c.seekTo = frame; });
}

float MusicPlayer::volume() const {
    std::lock_guard<std::mutex> lock(stream_->mutex);
    return stream_->commands.volume;
}

void MusicPlayer::setVolume(float volume) {
    const float clamped = std::clamp(volume, 0.0f, 1.0f);
    command(*stream_, [clamped](Commands& c) { c.volume = clamped; });
}

std::int64_t MusicPlayer::numberOfLoops() const {
    std::lock_guard<std::mutex> lock(stream_->mutex);
    return stream_->commands.loops;
}

void MusicPlayer::setNumberOfLoops(std::int64_t loops) {
    command(*stream_, [loops](Commands& c) { c.loops = loops; });
}

}  // namespace platform
