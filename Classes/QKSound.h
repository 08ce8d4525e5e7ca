// The game's sound service: its music and effects by name, played only while the player's switches allow.
#pragma once
#include <functional>
#include <string>

class QKSound {
public:
    // Made on first use, never freed.
    static QKSound* getInstance();

    QKSound(const QKSound&) = delete;
    QKSound& operator=(const QKSound&) = delete;

    void preload();
    // The switches are read at every call, so a change in the pause dialog counts at once.
    void playBackgroundMusic();
    // Stops the music (its data stays loaded), whatever the switches say.
    void stopBackgroundMusic();
    // Stops the music and every effect, whatever the switches say.
    void stopAll();
    void playReadyGo();
    void playPop();
    void playPropSelect();
    void playNextGame();
    // Groups of 5 and more have an effect of their own.
    void playCombo(int groupSize);
    // 0 bomb, 1 paint, 2 rearrange; other kinds play nothing.
    void playProp(int kind);

    // The file of the combo effect for a group size; null below 5.
    static const char* comboEffectFor(int groupSize);

    // Told of every call that reaches the audio engine: "music", "stop music", "stop all" or "effect",
    // with the file ("" for the stops).
    using Listener = std::function<void(const std::string& what, const std::string& file)>;
    void setListener(Listener listener) { listener_ = std::move(listener); }

private:
    QKSound() = default;
    void playEffect(const char* file);
    void tell(const char* what, const char* file) const;

    Listener listener_;
};
