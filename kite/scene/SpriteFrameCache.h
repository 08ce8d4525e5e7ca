// The process-wide store of named sprite frames, filled from sprite-sheet property lists (formats 0 to 3).
#pragma once
#include <set>
#include <string>
#include <unordered_map>

#include "kite/foundation/Ref.h"
#include "kite/foundation/Value.h"

namespace kite {

class SpriteFrame;
class Texture2D;

class SpriteFrameCache : public Ref {
public:
    static SpriteFrameCache* getInstance();
    static void destroyInstance();

    // Adds the frames of a sheet whose frames all lie in the given texture. A sheet already loaded
    // adds nothing; a sheet that cannot be read (or has no frames) is logged and not recorded, so
    // a later call tries again.
    void addSpriteFramesWithFile(const std::string& plist, Texture2D* texture);
    // The texture is loaded from the file first; nothing happens when it cannot be.
    void addSpriteFramesWithFile(const std::string& plist, const std::string& textureFileName);
    // Adds the frames of an already-read sheet dictionary.
    void addSpriteFramesWithDictionary(const ValueMap& dictionary, Texture2D* texture);
    // Replaces any frame of that name.
    void addSpriteFrame(SpriteFrame* frame, const std::string& name);
    bool isSpriteFramesWithFileLoaded(const std::string& plist) const;

    // The frame of that name, else of the name it aliases; null when neither is known.
    SpriteFrame* getSpriteFrameByName(const std::string& name) const;

    // Removes the frames named in the sheet (not their aliases) and forgets that it was loaded.
    void removeSpriteFramesFromFile(const std::string& plist);
    bool removeSpriteFrameByName(const std::string& name);
    void removeSpriteFrames();

    ~SpriteFrameCache() override;
    SpriteFrameCache() = default;
    bool init();

private:
    std::unordered_map<std::string, SpriteFrame*> frames_;  // one reference each
    ValueMap aliases_;                                      // alias -> frame name
    std::set<std::string> loadedFileNames_;
};

}  // namespace kite
