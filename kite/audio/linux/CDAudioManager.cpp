#include "kite/audio/linux/CDAudioManager.h"

#include <chrono>
#include <mutex>
#include <thread>

#include "kite/audio/linux/CDSoundEngine.h"
#include "kite/foundation/Create.h"
#include "kite/foundation/Log.h"
#include "kite/foundation/Scheduler.h"
#include "kite/scene/Director.h"
#include "kite/scene/EventDispatcher.h"
#include "kite/scene/EventListenerCustom.h"
#include "platform/AppNotifications.h"
#include "platform/AudioSession.h"

namespace kite {
namespace audio {

namespace {

using Category = platform::AudioSession::Category;

std::mutex classLock;
CDAudioManager* sharedInstance = nullptr;
bool configured = false;
int configuredMode = CDAudioManager::kModeFxPlusMusicIfNoOtherAudio;
int managerState = CDAudioManager::kStateNotStarted;

constexpr int kActivationRetries = 10;
constexpr auto kActivationRetryInterval = std::chrono::milliseconds(500);

CDAudioManager* makeManager(int mode) {
    if (sharedInstance) {
        log("Attempted to allocate a second instance of a singleton.");
        return nullptr;
    }
    CDAudioManager* manager = createAutoreleased<CDAudioManager>(mode);
    if (manager) manager->retain();
    return manager;
}

}  // namespace

CDAudioManager* CDAudioManager::sharedManager() {
    CDAudioManager* made = nullptr;
    {
        std::lock_guard<std::mutex> lock(classLock);
        if (sharedInstance) return sharedInstance;
        sharedInstance = makeManager(configured ? configuredMode : kModeFxPlusMusicIfNoOtherAudio);
        if (!sharedInstance) return nullptr;
        managerState = kStateReady;
        made = sharedInstance;
    }
    // Told with no lock held, so that a listener may use the audio at once.
    Director::getInstance()->getEventDispatcher()->dispatchCustomEvent("kCDN_AudioManagerInitialised");
    return made;
}

CDAudioManager* CDAudioManager::sharedManagerIfMade() {
    std::lock_guard<std::mutex> lock(classLock);
    return sharedInstance;
}

int CDAudioManager::sharedManagerState() {
    std::lock_guard<std::mutex> lock(classLock);
    return managerState;
}

void CDAudioManager::configure(int mode) {
    std::lock_guard<std::mutex> lock(classLock);
    configuredMode = mode;
    configured = true;
}

void CDAudioManager::initAsynchronously(int mode) {
    {
        std::lock_guard<std::mutex> lock(classLock);
        if (managerState != kStateNotStarted) return;
        managerState = kStateStarting;
        configuredMode = mode;
        configured = true;
    }
    Director::getInstance()->getScheduler()->performFunctionInMainThread([] { CDAsynchInitialiser().main(); });
}

void CDAsynchInitialiser::main() { CDAudioManager::sharedManager(); }

void CDAudioManager::end() {
    CDAudioManager* manager = nullptr;
    {
        std::lock_guard<std::mutex> lock(classLock);
        manager = sharedInstance;
        sharedInstance = nullptr;
    }
    if (manager) manager->release();
}

bool CDAudioManager::init(int mode) {
    platform::AudioSession::shared().setHandlers({[this] { beginInterruption(); }, [this] { endInterruption(); }});
    mode_ = mode;
    enabled_ = true;
    setMode(mode);
    soundEngine_ = CDSoundEngine::create();
    if (!soundEngine_) return false;
    soundEngine_->retain();
    soundEngine_->setBadContextHandler(
        [] { Director::getInstance()->getEventDispatcher()->dispatchCustomEvent("kCDN_BadAlContext"); });
    for (int channel = 0; channel < kChannelCount; ++channel) {
        CDLongAudioSource* source = CDLongAudioSource::create();
        if (!source) return false;
        assignRetained(audioSourceChannels_[channel], source);
    }
    backgroundMusic_ = audioSourceChannels_[0];
    backgroundMusic_->setBackgroundMusic(true);
    backgroundMusic_->setDelegate(this);
    EventDispatcher* dispatcher = Director::getInstance()->getEventDispatcher();
    assignRetained(badContextListener_, dispatcher->addCustomEventListener(
                                            "kCDN_BadAlContext", [this](EventCustom*) { badAlContextHandler(); }));
    return true;
}

CDAudioManager::~CDAudioManager() {
    if (backgroundMusic_) stopBackgroundMusic();
    releaseAndClear(soundEngine_);
    removeObservers();
    platform::AudioSession::shared().setHandlers({});
    audioSessionSetActive(false);
    backgroundMusic_ = nullptr;
    for (CDLongAudioSource*& channel : audioSourceChannels_) releaseAndClear(channel);
}

void CDAudioManager::removeObservers() {
    if (badContextListener_) {
        Director::getInstance()->getEventDispatcher()->removeEventListener(badContextListener_);
        releaseAndClear(badContextListener_);
    }
    for (std::uint64_t& observer : appObservers_) {
        if (observer) platform::removeAppObserver(observer);
        observer = 0;
    }
    isObservingAppEvents_ = false;
}

// ---- Modes and the session

void CDAudioManager::setMode(int mode) {
    mode_ = mode;
    switch (mode) {
        case kModeFxOnly:
            audioSessionSetCategory(static_cast<int>(Category::Ambient));
            willPlayBackgroundMusic_ = false;
            break;
        case kModeFxPlusMusic:
            audioSessionSetCategory(static_cast<int>(Category::SoloAmbient));
            willPlayBackgroundMusic_ = true;
            break;
        case kModeMediaPlayback:
            audioSessionSetCategory(static_cast<int>(Category::Playback));
            willPlayBackgroundMusic_ = true;
            break;
        case kModePlayAndRecord:
            audioSessionSetCategory(static_cast<int>(Category::PlayAndRecord));
            willPlayBackgroundMusic_ = true;
            break;
        default: {  // music unless another program is playing
            const bool other = isOtherAudioPlaying();
            audioSessionSetCategory(static_cast<int>(other ? Category::Ambient : Category::SoloAmbient));
            willPlayBackgroundMusic_ = !other;
            break;
        }
    }
}

void CDAudioManager::audioSessionSetCategory(int category) {
    audioSessionCategory_ = category;
    platform::AudioSession::shared().setCategory(static_cast<Category>(category));
}

bool CDAudioManager::audioSessionSetActive(bool active) {
    if (!platform::AudioSession::shared().setActive(active)) return false;
    audioSessionActive_ = active;
    return true;
}

bool CDAudioManager::isOtherAudioPlaying() const { return platform::AudioSession::shared().isOtherAudioPlaying(); }

bool CDAudioManager::isDeviceMuted() const { return platform::AudioSession::shared().route().empty(); }

void CDAudioManager::beginInterruption() { audioSessionInterrupted(); }

void CDAudioManager::endInterruption() { audioSessionResumed(); }

void CDAudioManager::audioSessionInterrupted() {
    if (interrupted_) return;
    interrupted_ = true;
    audioSessionSetActive(false);
    for (CDLongAudioSource* channel : audioSourceChannels_) channel->interruptPlayer();
    if (CDSoundEngine::isAnyContextCurrent()) CDSoundEngine::clearCurrentContext();
    soundEngine_->suspendOutput();
}

void CDAudioManager::audioSessionResumed() {
    if (interrupted_) {
        interrupted_ = false;
        bool active = audioSessionSetActive(true);
        for (int retry = 0; !active && retry < kActivationRetries; ++retry) {
            std::this_thread::sleep_for(kActivationRetryInterval);
            active = audioSessionSetActive(true);
        }
        if (!active) log("CDAudioManager: the audio session could not be activated");
        soundEngine_->resumeOutput();
        for (CDLongAudioSource* channel : audioSourceChannels_) channel->endPlayerInterruption();
    }
    if (!CDSoundEngine::isAnyContextCurrent()) soundEngine_->makeContextCurrent();
}

void CDAudioManager::badAlContextHandler() {
    if (interrupted_ && !CDSoundEngine::isAnyContextCurrent()) audioSessionResumed();
}

}  // namespace audio
}  // namespace kite
