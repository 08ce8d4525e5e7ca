#include "kite/audio/linux/CDBufferManager.h"

#include "kite/audio/linux/CDSoundEngine.h"
#include "kite/foundation/Create.h"

namespace kite {
namespace audio {

CDBufferManager* CDBufferManager::create(CDSoundEngine* engine) { return createAutoreleased<CDBufferManager>(engine); }

bool CDBufferManager::initWithEngine(CDSoundEngine* engine) {
    if (!engine) return false;
    assignRetained(soundEngine_, engine);
    loadedBuffers_.reserve(64);
    return true;
}

CDBufferManager::~CDBufferManager() { releaseAndClear(soundEngine_); }

int CDBufferManager::bufferForFile(const std::string& filePath, bool create) {
    const auto found = loadedBuffers_.find(filePath);
    if (found != loadedBuffers_.end()) return found->second;
    if (!create || failedFiles_.count(filePath)) return -1;
    int soundId = nextBufferId_;
    if (!freedBuffers_.empty()) {
        soundId = freedBuffers_.back();
        freedBuffers_.pop_back();
    } else {
        ++nextBufferId_;
    }
    if (!soundEngine_->loadBuffer(soundId, filePath)) {
        freedBuffers_.push_back(soundId);
        failedFiles_.insert(filePath);
        return -1;
    }
    loadedBuffers_[filePath] = soundId;
    return soundId;
}

void CDBufferManager::releaseBufferForFile(const std::string& filePath) {
    failedFiles_.erase(filePath);
    const int soundId = bufferForFile(filePath, false);
    if (soundId == -1) return;
    soundEngine_->unloadBuffer(soundId);
    loadedBuffers_.erase(filePath);
    freedBuffers_.push_back(soundId);
}

}  // namespace audio
}  // namespace kite
