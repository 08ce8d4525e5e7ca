#include "kite/scene/SpriteFrameCache.h"

#include <cmath>
#include <new>

#include "kite/foundation/BraceNotation.h"
#include "kite/foundation/FileUtils.h"
#include "kite/foundation/Log.h"
#include "kite/rendering/TextureCache.h"
#include "kite/scene/Director.h"
#include "kite/scene/SpriteFrame.h"
#include "platform/PrintableText.h"

namespace kite {

namespace {
SpriteFrameCache* sharedCache = nullptr;

ValueMap readSheet(const std::string& plist) {
    FileUtils* files = FileUtils::getInstance();
    if (!files) return ValueMap();
    const std::string path = files->fullPathForFilename(plist);
    return path.empty() ? ValueMap() : files->getValueMapFromFile(path);
}

const Value& valueOf(const ValueMap& map, const char* key) {
    auto it = map.find(key);
    return it == map.end() ? Value::Null : it->second;
}
}  // namespace

SpriteFrameCache* SpriteFrameCache::getInstance() {
    if (!sharedCache) {
        auto* cache = new (std::nothrow) SpriteFrameCache();
        if (!cache) return nullptr;
        cache->init();
        sharedCache = cache;
    }
    return sharedCache;
}

void SpriteFrameCache::destroyInstance() {
    if (!sharedCache) return;
    SpriteFrameCache* cache = sharedCache;
    sharedCache = nullptr;
    cache->release();
}

bool SpriteFrameCache::init() {
    frames_.reserve(20);
    aliases_.reserve(20);
    return true;
}

SpriteFrameCache::~SpriteFrameCache() { removeSpriteFrames(); }

void SpriteFrameCache::addSpriteFramesWithDictionary(const ValueMap& dictionary, Texture2D* texture) {
    const ValueMap& frames = valueOf(dictionary, "frames").asValueMap();
    int format = 0;
    auto metadata = dictionary.find("metadata");
    if (metadata != dictionary.end()) format = valueOf(metadata->second.asValueMap(), "format").asInt();
    if (format < 0 || format > 3) {
        log("SpriteFrameCache: sheet format %d is not supported; no frame added", format);
        return;
    }
    for (const auto& entry : frames) {
        const std::string& name = entry.first;
        if (frames_.count(name)) continue;
        const ValueMap& f = entry.second.asValueMap();
        Rect rect;
        Vec2 offset;
        Size untrimmed;
        bool rotated = false;
        if (format == 0) {
            rect = Rect(valueOf(f, "x").asFloat(), valueOf(f, "y").asFloat(), valueOf(f, "width").asFloat(),
                        valueOf(f, "height").asFloat());
            offset = Vec2(valueOf(f, "offsetX").asFloat(), valueOf(f, "offsetY").asFloat());
            untrimmed = Size(static_cast<float>(std::abs(valueOf(f, "originalWidth").asInt())),
                             static_cast<float>(std::abs(valueOf(f, "originalHeight").asInt())));
        } else if (format == 1 || format == 2) {
            rect = RectFromString(valueOf(f, "frame").asString());
            rotated = format == 2 && valueOf(f, "rotated").asBool();
            offset = PointFromString(valueOf(f, "offset").asString());
            untrimmed = SizeFromString(valueOf(f, "sourceSize").asString());
        } else {
            Size size = SizeFromString(valueOf(f, "spriteSize").asString());
            offset = PointFromString(valueOf(f, "spriteOffset").asString());
            untrimmed = SizeFromString(valueOf(f, "spriteSourceSize").asString());
            Rect textureRect = RectFromString(valueOf(f, "textureRect").asString());
            rect = Rect(textureRect.origin, size);
            rotated = valueOf(f, "textureRotated").asBool();
            for (const Value& alias : valueOf(f, "aliases").asValueVector()) {
                aliases_[alias.asString()] = Value(name);
            }
        }
        SpriteFrame* frame = SpriteFrame::createWithTexture(texture, rect, rotated, offset, untrimmed);
        if (!frame) continue;
        frame->retain();
        frames_[name] = frame;
    }
}

void SpriteFrameCache::addSpriteFramesWithFile(const std::string& plist, Texture2D* texture) {
    if (loadedFileNames_.count(plist)) return;
    ValueMap dictionary = readSheet(plist);
    if (valueOf(dictionary, "frames").getType() != Value::Type::MAP) {
        log("SpriteFrameCache: cannot read the sprite sheet %s", platform::printableText(plist).c_str());
        return;
    }
    addSpriteFramesWithDictionary(dictionary, texture);
    loadedFileNames_.insert(plist);
}

void SpriteFrameCache::addSpriteFramesWithFile(const std::string& plist, const std::string& textureFileName) {
    Texture2D* texture = Director::getInstance()->getTextureCache()->addImage(textureFileName);
    if (!texture) {
        log("SpriteFrameCache: cannot load the texture %s of the sprite sheet %s",
            platform::printableText(textureFileName).c_str(), platform::printableText(plist).c_str());
        return;
    }
    addSpriteFramesWithFile(plist, texture);
}

bool SpriteFrameCache::isSpriteFramesWithFileLoaded(const std::string& plist) const {
    return loadedFileNames_.count(plist) != 0;
}

void SpriteFrameCache::addSpriteFrame(SpriteFrame* frame, const std::string& name) {
    if (!frame) return;
    frame->retain();
    auto it = frames_.find(name);
    if (it != frames_.end()) {
        it->second->release();
        it->second = frame;
    } else {
        frames_[name] = frame;
    }
}

SpriteFrame* SpriteFrameCache::getSpriteFrameByName(const std::string& name) const {
    auto it = frames_.find(name);
    if (it != frames_.end()) return it->second;
    // Looking an unknown name up leaves the alias table as it was.
    auto alias = aliases_.find(name);
    if (alias == aliases_.end()) return nullptr;
    const std::string target = alias->second.asString();
    if (target.empty()) return nullptr;
    it = frames_.find(target);
    return it == frames_.end() ? nullptr : it->second;
}

void SpriteFrameCache::removeSpriteFramesFromFile(const std::string& plist) {
    ValueMap dictionary = readSheet(plist);
    if (dictionary.empty()) return;
    for (const auto& entry : valueOf(dictionary, "frames").asValueMap()) removeSpriteFrameByName(entry.first);
    loadedFileNames_.erase(plist);
}

bool SpriteFrameCache::removeSpriteFrameByName(const std::string& name) {
    auto it = frames_.find(name);
    if (it == frames_.end()) return false;
    SpriteFrame* frame = it->second;
    frames_.erase(it);
    frame->release();
    return true;
}

void SpriteFrameCache::removeSpriteFrames() {
    auto frames = std::move(frames_);
    frames_.clear();
    for (auto& entry : frames) entry.second->release();
    aliases_.clear();
    loadedFileNames_.clear();
}

}  // namespace kite
