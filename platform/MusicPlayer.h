// A streaming music player: one sound file decoded on a thread of its own and played
// with volume, loops, pause, resume and rewind; its end is reported on the owner's thread.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

class MusicPlayer {
public:
    using Task = std::function<void()>;
    // Hands a task to the thread that owns the player (the main thread).
    using Poster = std::function<void(Task)>;

    // Null, with the reason in error, when the file cannot be read or no audio
    // output can be opened. Each player streams from its own thread.
    static std::unique_ptr<MusicPlayer> open(const std::string& path, std::string& error);
    ~MusicPlayer();
    MusicPlayer(const MusicPlayer&) = delete;
    MusicPlayer& operator=(const MusicPlayer&) = delete;

    // The end of play (after the last loop) runs the finish handler through the
    // poster; without a poster it runs on the streaming thread. A handler that is
    // still queued when the player is destroyed does not run.
    void setPoster(Poster poster);
    void setFinishHandler(Task handler);

    // Starts, or goes on from where it paused or stopped. Answers false when the
    // output is gone.
    bool play();
    void pause();
    // Like pause; the position is kept, as play picks it up again.
    void stop();
    bool isPlaying() const;

    double duration() const;
    double currentTime() const;
    void setCurrentTime(double seconds);

    float volume() const;
    void setVolume(float volume);  // 0 silent to 1 full
    // How many times the sound repeats after the first play; negative repeats for ever.
    std::int64_t numberOfLoops() const;
    void setNumberOfLoops(std::int64_t loops);

    const std::string& path() const { return path_; }

    struct Stream;
    MusicPlayer(std::string path, std::shared_ptr<Stream> stream);  // made by open

private:
    std::string path_;
    std::shared_ptr<Stream> stream_;
};

}  // namespace platform
