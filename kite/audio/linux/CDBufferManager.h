// Effect files mapped to the sound engine's buffer indices; freed indices are reused.
#pragma once
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "kite/foundation/Ref.h"

namespace kite {
namespace audio {

class CDSoundEngine;

class CDBufferManager : public Ref {
public:
    static CDBufferManager* create(CDSoundEngine* engine);
    bool init(CDSoundEngine* engine) { return initWithEngine(engine); }
    bool initWithEngine(CDSoundEngine* engine);
    ~CDBufferManager() override;

    // The file's buffer index; with create, the file is loaded into a new one.
    // -1 when it is not loaded (or could not be). A file that could not be loaded is not tried
    // again (its one line is said) until it is released.
    int bufferForFile(const std::string& filePath, bool create);
    void releaseBufferForFile(const std::string& filePath);

private:
    std::unordered_map<std::string, int> loadedBuffers_;
    std::unordered_set<std::string> failedFiles_;
    std::vector<int> freedBuffers_;
    CDSoundEngine* soundEngine_ = nullptr;  // retained
    int nextBufferId_ = 0;
};

}  // namespace audio
}  // namespace kite
