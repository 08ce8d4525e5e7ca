// Sound files as the audio engine decodes them: the game's own WAV reader for ".wav" (and files
// without an extension), libsndfile for every other name.
#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"
#include "platform/SoundFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& folder = fuzz::PrivateUserFolders::once().root();
    for (const char* name : {"/sound.wav", "/sound.mp3"}) {
        const std::string path = folder + name;
        if (fuzz::writeFile(path, data, size)) platform::decodeSoundFile(path);
    }
    return 0;
}
