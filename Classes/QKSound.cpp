#include "Classes/QKSound.h"

#include "Classes/QKSingleton.h"
#include "kite/audio/SimpleAudioEngine.h"

namespace {

constexpr const char* kMusic = "Music/bgm.mp3";
constexpr const char* kReadyGo = "Music/readygo.mp3";
constexpr const char* kPop = "Music/pop.mp3";
constexpr const char* kCombos[] = {"Music/combo_1.mp3", "Music/combo_2.mp3", "Music/combo_3.mp3"};
constexpr const char* kPropSelect = "Music/propselect.mp3";
constexpr const char* kProps[] = {"Music/propbomb.mp3", "Music/proppaint.mp3", "Music/proprainbow.mp3"};
constexpr const char* kNextGame = "Music/nextgame.mp3";

KiteAudio::SimpleAudioEngine* audio() { return KiteAudio::SimpleAudioEngine::getInstance(); }
bool soundOn() { return QKSingleton::getInstance()->getSoundOnOff(); }

}  // namespace

QKSound* QKSound::getInstance() {
    static QKSound* instance = new QKSound();  // lives as long as the process
    return instance;
}

const char* QKSound::comboEffectFor(int groupSize) {
    if (groupSize < 5) return nullptr;
    if (groupSize <= 6) return kCombos[0];
    if (groupSize <= 9) return kCombos[1];
    return kCombos[2];
}

void QKSound::tell(const char* what, const char* file) const {
    if (listener_) listener_(what, file);
}

void QKSound::preload() {
    KiteAudio::SimpleAudioEngine* engine = audio();
    if (!engine) return;
    engine->preloadBackgroundMusic(kMusic);
    for (const char* effect :
         {kReadyGo, kPop, kCombos[0], kCombos[1], kCombos[2], kPropSelect, kProps[0], kProps[1], kProps[2], kNextGame})
        engine->preloadEffect(effect);
}

void QKSound::playBackgroundMusic() {
    if (!QKSingleton::getInstance()->getMusicOnOff()) return;
    tell("music", kMusic);
    if (KiteAudio::SimpleAudioEngine* engine = audio()) engine->playBackgroundMusic(kMusic, true);
}

void QKSound::stopBackgroundMusic() {
    tell("stop music", "");
    if (KiteAudio::SimpleAudioEngine* engine = audio()) engine->stopBackgroundMusic();
}

void QKSound::stopAll() {
    tell("stop all", "");
    KiteAudio::SimpleAudioEngine* engine = audio();
    if (!engine) return;
    engine->stopBackgroundMusic();
    engine->stopAllEffects();
}

void QKSound::playEffect(const char* file) {
    if (!soundOn()) return;
    tell("effect", file);
    if (KiteAudio::SimpleAudioEngine* engine = audio()) engine->playEffect(file, false, 1.0f, 0.0f, 1.0f);
}

void QKSound::playReadyGo() { playEffect(kReadyGo); }
void QKSound::playPop() { playEffect(kPop); }
void QKSound::playPropSelect() { playEffect(kPropSelect); }
void QKSound::playNextGame() { playEffect(kNextGame); }

void QKSound::playCombo(int groupSize) {
    if (const char* effect = comboEffectFor(groupSize)) playEffect(effect);
}

void QKSound::playProp(int kind) {
    if (kind >= 0 && kind < 3) playEffect(kProps[kind]);
}
