// The audio session: the category the game plays in, whether its audio is active, and the
// interruptions that the lifecycle (background, foreground) or a test brings.
#pragma once
#include <functional>
#include <string>

namespace platform {

class AudioSession {
public:
    enum class Category { Ambient, SoloAmbient, Playback, PlayAndRecord };

    static AudioSession& shared();

    void setCategory(Category category) { category_ = category; }
    Category category() const { return category_; }

    // Answers whether the change took; activation can be made to fail for tests.
    bool setActive(bool active);
    bool isActive() const { return active_; }

    // Another program's audio playing; none here unless a test says so.
    bool isOtherAudioPlaying() const { return otherAudioPlaying_; }
    void setOtherAudioPlaying(bool playing) { otherAudioPlaying_ = playing; }

    // The output route: the default output device's name, empty when there is none.
    std::string route() const;

    // The session's delegate: told when an interruption begins and when it ends.
    struct Handlers {
        std::function<void()> beginInterruption;
        std::function<void()> endInterruption;
    };
    void setHandlers(Handlers handlers) { handlers_ = std::move(handlers); }

    // Background begins an interruption, foreground ends it; each is passed on once.
    void beginInterruption();
    void endInterruption();
    bool isInterrupted() const { return interrupted_; }

    // Tests: the next `count` activations fail.
    void failNextActivations(int count) { failingActivations_ = count; }
    // Back to a fresh session without delegate (tests).
    void reset();

private:
    AudioSession() = default;

    Category category_ = Category::SoloAmbient;
    bool active_ = false;
    bool otherAudioPlaying_ = false;
    bool interrupted_ = false;
    int failingActivations_ = 0;
    Handlers handlers_;
};

}  // namespace platform
