// The audio manager's channels, background music, switches and application events.
#include "kite/audio/linux/CDAudioManager.h"
#include "kite/audio/linux/CDSoundEngine.h"
#include "platform/AppNotifications.h"
#include "platform/AudioSession.h"
#include "platform/MusicPlayer.h"

namespace kite {
namespace audio {

CDLongAudioSource* CDAudioManager::audioSourceForChannel(int channel) const {
    return channel >= 0 && channel < kChannelCount ? audioSourceChannels_[channel] : nullptr;
}

CDLongAudioSource* CDAudioManager::audioSourceLoad(const std::string& filePath, int channel) {
    CDLongAudioSource* source = audioSourceForChannel(channel);
    if (source) source->load(filePath);
    return source;
}

void CDAudioManager::loadBackgroundMusic(const std::string& filePath) {
    // Loading the loaded file again rewinds it, and a rewind plays: while music may not play it
    // only goes back to its start, as silent as a newly opened file.
    if (!musicAllowed() && backgroundMusic_->state() == 1 && backgroundMusic_->audioSourceFilePath() == filePath)
        backgroundMusic_->rewindWithoutPlaying();
    else
        audioSourceLoad(filePath, 0);
}

void CDAudioManager::preloadBackgroundMusic(const std::string& filePath) { loadBackgroundMusic(filePath); }

void CDAudioManager::playBackgroundMusic(const std::string& filePath, bool loop) {
    loadBackgroundMusic(filePath);
    backgroundMusic_->setNumberOfLoops(loop ? -1 : 0);
    if (musicAllowed()) backgroundMusic_->play();
}

void CDAudioManager::stopBackgroundMusic() { backgroundMusic_->stop(); }

void CDAudioManager::pauseBackgroundMusic() { backgroundMusic_->pause(); }

void CDAudioManager::resumeBackgroundMusic() {
    if (musicAllowed() && backgroundMusic_->paused()) backgroundMusic_->resume();
}

void CDAudioManager::rewindBackgroundMusic() { backgroundMusic_->rewind(); }

bool CDAudioManager::isBackgroundMusicPlaying() const { return backgroundMusic_->isPlaying(); }

void CDAudioManager::setBackgroundMusicCompletionListener(std::function<void()> listener) {
    backgroundMusicCompletionListener_ = std::move(listener);
}

void CDAudioManager::cdAudioSourceDidFinishPlaying(CDLongAudioSource* /*source*/) {
    if (backgroundMusicCompletionListener_) backgroundMusicCompletionListener_();
}

void CDAudioManager::setMute(bool mute) {
    if (mute == mute_) return;
    mute_ = mute;
    soundEngine_->setMute(mute);
    for (CDLongAudioSource* channel : audioSourceChannels_) channel->setMute(mute);
}

void CDAudioManager::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    soundEngine_->setEnabled(enabled);
    for (CDLongAudioSource* channel : audioSourceChannels_) channel->setEnabled(enabled);
}

// ---- Application events

void CDAudioManager::setResignBehavior(int behavior, bool autoHandle) {
    resignBehavior_ = behavior;
    if (!autoHandle || isObservingAppEvents_) return;
    using platform::AppNotification;
    appObservers_[0] = platform::addAppObserver(AppNotification::WillResignActive, [this] { applicationWillResignActive(); });
    appObservers_[1] = platform::addAppObserver(AppNotification::DidBecomeActive, [this] { applicationDidBecomeActive(); });
    appObservers_[2] = platform::addAppObserver(AppNotification::WillTerminate, [this] { applicationWillTerminate(); });
    isObservingAppEvents_ = true;
}

void CDAudioManager::applicationWillResignActive() {
    resigned_ = true;
    audioSessionSetCategory(static_cast<int>(platform::AudioSession::Category::Ambient));
    if (resignBehavior_ == kResignBehaviorStop) {
        for (CDLongAudioSource* channel : audioSourceChannels_) channel->stop();
    } else if (resignBehavior_ == kResignBehaviorStopAndResume) {
        // Paused rather than stopped, so that the return can resume them.
        for (CDLongAudioSource* channel : audioSourceChannels_) {
            channel->systemPaused = channel->isPlaying();
            if (!channel->systemPaused) continue;
            channel->systemPauseLocation = channel->audioSourcePlayer()->currentTime();
            channel->pause();
        }
    }
}

void CDAudioManager::applicationDidBecomeActive() {
    if (!resigned_) return;
    resigned_ = false;
    setMode(mode_);
    if (resignBehavior_ != kResignBehaviorStopAndResume || !musicAllowed()) return;
    for (CDLongAudioSource* channel : audioSourceChannels_) {
        if (!channel->systemPaused) continue;
        channel->resume();
        channel->systemPaused = false;
    }
}

void CDAudioManager::applicationWillTerminate() { stopBackgroundMusic(); }

}  // namespace audio
}  // namespace kite
