#include "kite/audio/linux/CDLongAudioSource.h"

#include "kite/audio/linux/CDAudioManager.h"
#include "kite/audio/linux/CDUtilities.h"
#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"
#include "kite/foundation/Scheduler.h"
#include "kite/scene/Director.h"
#include "platform/MusicPlayer.h"

namespace kite {
namespace audio {

CDLongAudioSource* CDLongAudioSource::create() { return createAutoreleased<CDLongAudioSource>(); }

CDLongAudioSource::~CDLongAudioSource() = default;

void CDLongAudioSource::load(const std::string& filePath) {
    if (state_ == 1 && filePath == audioSourceFilePath_) {
        pause();
        rewind();
    } else {
        audioSourcePlayer_.reset();
        audioSourceFilePath_ = filePath;
        const std::string path = CDUtilities::fullPathFromRelativePath(filePath);
        std::string error;
        audioSourcePlayer_ = platform::MusicPlayer::open(path, error);
        if (audioSourcePlayer_) {
            scheduler_ = Director::getInstance()->getScheduler();
            Scheduler* scheduler = scheduler_.get();
            audioSourcePlayer_->setPoster(
                [scheduler](platform::MusicPlayer::Task task) { scheduler->performFunctionInMainThread(task); });
            // The player, and with it this handler, goes with this source.
            audioSourcePlayer_->setFinishHandler([this] { audioPlayerDidFinishPlaying(true); });
            if (delegate_) delegate_->cdAudioSourceFileDidChange(this);
        } else {
            log("CDLongAudioSource: %s", error.c_str());
        }
    }
    if (audioSourcePlayer_) {
        audioSourcePlayer_->setVolume(mute_ ? 0.0f : volume_);
        audioSourcePlayer_->setNumberOfLoops(numberOfLoops_);
    }
    state_ = 1;
}

void CDLongAudioSource::play() {
    if (!enabled_) return;
    systemPaused = false;
    paused_ = false;
    stopped_ = false;
    if (audioSourcePlayer_) audioSourcePlayer_->play();
}

void CDLongAudioSource::stop() {
    paused_ = false;
    stopped_ = true;
    if (audioSourcePlayer_) audioSourcePlayer_->stop();
}

void CDLongAudioSource::pause() {
    paused_ = true;
    if (audioSourcePlayer_) audioSourcePlayer_->pause();
}

void CDLongAudioSource::rewind() {
    paused_ = false;
    if (audioSourcePlayer_) {
        audioSourcePlayer_->setCurrentTime(0.0);
        // A source switched off stays silent; it is only put back to the start.
        if (enabled_) audioSourcePlayer_->play();
    }
    stopped_ = false;
}

void CDLongAudioSource::rewindWithoutPlaying() {
    paused_ = false;
    stopped_ = false;
    if (!audioSourcePlayer_) return;
    audioSourcePlayer_->stop();
    audioSourcePlayer_->setCurrentTime(0.0);
}

void CDLongAudioSource::resume() {
    if (stopped_) return;
    paused_ = false;
    if (audioSourcePlayer_) audioSourcePlayer_->play();
}

bool CDLongAudioSource::isPlaying() const {
    return state_ == 1 && audioSourcePlayer_ && audioSourcePlayer_->isPlaying();
}

void CDLongAudioSource::setVolume(float volume) {
    volume_ = volume;
    if (state_ == 1 && !mute_ && audioSourcePlayer_) audioSourcePlayer_->setVolume(volume);
}

void CDLongAudioSource::setMute(bool mute) {
    if (mute == mute_) return;
    mute_ = mute;
    if (audioSourcePlayer_) audioSourcePlayer_->setVolume(mute ? 0.0f : volume_);
}

void CDLongAudioSource::setEnabled(bool enabled) {
    enabled_ = enabled;
    if (!enabled) {
        // Stopped and back at the start, without a sound: a rewind would start it playing.
        stop();
        if (audioSourcePlayer_) audioSourcePlayer_->setCurrentTime(0.0);
    }
}

void CDLongAudioSource::setNumberOfLoops(std::int64_t loops) {
    if (audioSourcePlayer_) audioSourcePlayer_->setNumberOfLoops(loops);
    numberOfLoops_ = loops;
}

void CDLongAudioSource::audioPlayerDidFinishPlaying(bool /*successfully*/) {
    if (delegate_) delegate_->cdAudioSourceDidFinishPlaying(this);
}

void CDLongAudioSource::audioPlayerBeginInterruption() {}

void CDLongAudioSource::audioPlayerEndInterruption() {
    if (backgroundMusic_) {
        CDAudioManager* manager = CDAudioManager::sharedManagerIfMade();
        if (!manager || !manager->willPlayBackgroundMusic()) return;
    }
    if (audioSourcePlayer_) audioSourcePlayer_->play();
}

void CDLongAudioSource::interruptPlayer() {
    interruptedWhilePlaying_ = isPlaying();
    if (interruptedWhilePlaying_) audioSourcePlayer_->pause();
    audioPlayerBeginInterruption();
}

void CDLongAudioSource::endPlayerInterruption() {
    if (!interruptedWhilePlaying_) return;
    interruptedWhilePlaying_ = false;
    audioPlayerEndInterruption();
}

}  // namespace audio
}  // namespace kite
